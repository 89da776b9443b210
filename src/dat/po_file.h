#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace korva::dat {

// One message of a gettext PO file.
struct PoMessage {
    std::size_t line = 0;                       // of its msgid, counting from 1
    std::vector<std::string> extractedComments; // #. lines, without the "#. "
    std::vector<std::string> references;        // #: tokens
    std::vector<std::string> flags;             // #, items
    std::optional<std::string> context;         // msgctxt
    std::string msgid;
    std::optional<std::string> msgidPlural;
    std::vector<std::string> msgstr; // one, or one per plural form

    bool Fuzzy() const;
    bool IsHeader() const { return msgid.empty() && !context; }
};

// The messages of a PO file, obsolete ones (#~) read by the same rules and
// left out. Continued and wrapped strings are joined and their escapes
// resolved as gettext resolves them; the texts must be UTF-8 (the charset
// the header gives is checked by the caller). A file that gettext's grammar
// refuses (a part out of order or twice, plural forms out of order, a
// message half obsolete) is refused as "<name>:<line>: why".
Result<std::vector<PoMessage>> ParsePo(std::string_view bytes, const std::string& name);
// The same, handing each message to `take` as soon as it is read, so that
// the messages of a large file are never all held at once. Those before a
// failure have been handed over.
using PoMessageSink = std::function<void(PoMessage&&)>;
Result<void> ReadPo(std::string_view bytes, const std::string& name, const PoMessageSink& take);

// A field of the header's msgstr ("Language: de\n..."), if given.
std::optional<std::string> HeaderField(const PoMessage& header, std::string_view field);

// Writes a message's keyword and string as gettext does: C escapes, and a
// string with line breaks inside it split after each, starting on an empty
// "".
std::string PoField(std::string_view keyword, std::string_view text);

// The text with each control character but the tab written as a C escape, for a
// comment line or a header field: a line break there would end the line,
// and a PO reader would take the rest for a keyword or a field of its own.
std::string OneLine(std::string_view text);

// A file name as a #: reference names it: a name with blanks goes between
// U+2068 and U+2069, as gettext writes it.
std::string PoReferenceFile(std::string_view file);

} // namespace korva::dat
