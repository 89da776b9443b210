#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "text/codepage.h"

namespace korva::dat {

// What in a translation would break the program that shows it, against the
// source text it stands for:
// - printf-style placeholders (%s, %d, %-10.3f, %I64u, %*d; %% is a literal
//   percent sign) that differ in number, order or type: the program passes
//   the source's arguments, and a %s where it passes a number crashes it;
// - FormatMessage-style inserts (%1, %2!d!) that differ as a set, since a
//   translation may reorder them but must take each the program passes;
// - a different number of menu accelerators (&x; && is a literal &);
// - a shortcut part after a tab in one text and not in the other.
// Each problem comes as one sentence. Texts are bytes of either code page:
// every character looked at is ASCII.
std::vector<std::string> CompareFormats(std::string_view source, std::string_view translation);

// Whether two texts take the same arguments: the same printf placeholders
// in the same order and types, and the same FormatMessage inserts.
bool SamePlaceholders(std::string_view a, std::string_view b);

// Whether the text is a printf format as gettext's c-format flag means it:
// it holds printf placeholders (%% among them) and no FormatMessage insert
// that printf cannot read (%1 followed by a blank, %1!d!) or line break (%n).
bool IsPrintfFormat(std::string_view text);

// Where a text's placeholders stand as the checks above read them: each
// printf conversion, FormatMessage insert (with its !format!) and "%%", as
// byte offsets in the order they begin. A '%' that begins none is in none.
struct TextSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};
std::vector<TextSpan> PlaceholderSpans(std::string_view text);

// The most UTF-16 code units a text korva writes can have: a string table
// gives each string's length in one 16-bit word, and korva fails the whole
// run on a longer translation rather than cut it.
inline constexpr std::size_t kMaxTextUnits = 65535;

// Why korva cannot write the text (of a data file in `codePage`, as its
// lines hold it), measured as korva measures it: the UTF-16 code units of
// the text converted, a character beyond U+FFFF taking two. Empty when it
// can.
std::string TooLongForKorva(std::string_view text, CodePage codePage);

} // namespace korva::dat
