#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace korva::dat {

// The tokens of a PO file, one per line: gettext's writers put a keyword
// and its string on one line and each continued string on a line of its
// own, and so does every tool we have seen, so a line is the unit here.
enum class PoTokenKind {
    TranslatorComment, // "# ...", and any '#' line of no other kind
    ExtractedComment,  // "#."
    Reference,         // "#:"
    Flags,             // "#,"
    Previous,          // "#|": the msgid a translation was made for
    Msgctxt,
    Msgid,
    MsgidPlural,
    Msgstr,
    MsgstrForm, // msgstr[N]
    String,     // a string alone, continuing the one before it
    End,        // after the last line, and again on every later call
};

struct PoToken {
    PoTokenKind kind = PoTokenKind::End;
    std::size_t line = 0;  // counting from 1; End has the number of lines
    bool obsolete = false; // the line began with "#~"
    std::string keyword;   // as written ("msgstr[1]"), for messages
    std::size_t form = 0;  // the N of msgstr[N]
    // The string, escapes resolved, or the comment after its two-character
    // mark (after the '#' for a translator's comment), blanks kept.
    std::string text;
    bool IsComment() const { return kind <= PoTokenKind::Previous; }
};

// Cuts a PO file's bytes into tokens. Every look at a byte goes through a
// cursor that says when there is none, so no position runs past the end
// however the file is cut.
class PoLexer {
public:
    // A UTF-8 byte-order mark at the start is passed over.
    explicit PoLexer(std::string_view bytes);

    // The next token; blank lines and an empty "#~" give none. A failure's
    // message names no file or line: Line() has it.
    Result<PoToken> Next();

    // The line of the last token, or of the failure.
    std::size_t Line() const { return line_; }

private:
    std::optional<std::string_view> NextLine();

    std::string_view rest_;
    std::size_t line_ = 0;
};

} // namespace korva::dat
