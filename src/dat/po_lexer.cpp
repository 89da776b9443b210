#include "dat/po_lexer.h"

#include <algorithm>

#include "text/text.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

// A read position in bytes from another tool. Peek and Take say when no
// byte is left and the position never passes the end, so nothing below
// indexes the bytes unchecked.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    std::optional<char> Peek() const {
        if (pos_ >= text_.size()) {
            return std::nullopt;
        }
        return text_[pos_];
    }

    std::optional<char> Take() {
        const std::optional<char> c = Peek();
        if (c) {
            ++pos_;
        }
        return c;
    }

    bool TakeIf(char wanted) {
        if (Peek() != wanted) {
            return false;
        }
        ++pos_;
        return true;
    }

    std::string_view Rest() const { return text_.substr(pos_); }

private:
    std::string_view text_;
    std::size_t pos_ = 0; // never past text_.size()
};

int OctalValue(char c) {
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// Every hexadecimal digit that follows belongs to the escape, as in C.
// gettext keeps the low byte of a value above 0xFF, which would quietly
// make "\x4142" a "B"; C refuses such an escape, and so does this, as it
// refuses the octal escapes past \377.
Result<char> ReadHexEscape(Cursor& in) {
    unsigned value = 0;
    std::size_t digits = 0;
    while (const std::optional<char> c = in.Peek()) {
        const int digit = HexDigitValue(*c);
        if (digit < 0) {
            break;
        }
        in.Take();
        // Held at 0x100 once past a byte, so a long run cannot overflow.
        value = std::min(value * 16 + static_cast<unsigned>(digit), 0x100U);
        ++digits;
    }
    if (digits == 0) {
        return MakeError("\\x without hexadecimal digits");
    }
    if (value > 0xFF) {
        return MakeError("a hexadecimal escape above \\xFF");
    }
    return static_cast<char>(value);
}

// One to three octal digits, the first already taken.
Result<char> ReadOctalEscape(char first, Cursor& in) {
    int value = OctalValue(first);
    if (value < 0) {
        return MakeError(std::string("unknown escape \\") + first);
    }
    for (int n = 1; n < 3; ++n) {
        const std::optional<char> c = in.Peek();
        if (!c || OctalValue(*c) < 0) {
            break;
        }
        in.Take();
        value = value * 8 + OctalValue(*c);
    }
    if (value > 0xFF) {
        return MakeError("an octal escape above \\377");
    }
    return static_cast<char>(value);
}

// The byte an escape stands for, the cursor just past its backslash. These
// are the escapes gettext's reader knows; \' and \? are not among them.
Result<char> ReadEscape(Cursor& in) {
    const std::optional<char> e = in.Take();
    if (!e) {
        return MakeError("the string has no closing quote");
    }
    switch (*e) {
    case 'n':
        return '\n';
    case 't':
        return '\t';
    case 'r':
        return '\r';
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'v':
        return '\v';
    case '\\':
    case '"':
        return *e;
    case 'x':
        return ReadHexEscape(in);
    default:
        return ReadOctalEscape(*e, in);
    }
}

PoTokenKind CommentKind(std::string_view line) {
    const std::string_view mark = line.substr(0, 2);
    if (mark == "#.") {
        return PoTokenKind::ExtractedComment;
    }
    if (mark == "#:") {
        return PoTokenKind::Reference;
    }
    if (mark == "#,") {
        return PoTokenKind::Flags;
    }
    if (mark == "#|") {
        return PoTokenKind::Previous;
    }
    return PoTokenKind::TranslatorComment;
}

// The kind of a keyword, and the N of msgstr[N]; nothing for a word that
// is none.
std::optional<PoTokenKind> KeywordKind(std::string_view word, std::size_t& form) {
    if (word == "msgctxt") {
        return PoTokenKind::Msgctxt;
    }
    if (word == "msgid") {
        return PoTokenKind::Msgid;
    }
    if (word == "msgid_plural") {
        return PoTokenKind::MsgidPlural;
    }
    if (word == "msgstr") {
        return PoTokenKind::Msgstr;
    }
    constexpr std::string_view open = "msgstr[";
    if (!word.starts_with(open) || !word.ends_with(']') || word.size() == open.size() + 1) {
        return std::nullopt;
    }
    form = 0;
    for (const char c : word.substr(open.size(), word.size() - open.size() - 1)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        // Held below a bound no file reaches, so it cannot overflow; a form
        // that large is out of order anyway.
        form = std::min<std::size_t>(form * 10 + static_cast<std::size_t>(c - '0'), 1'000'000'000);
    }
    return PoTokenKind::MsgstrForm;
}

// The string of a quoted PO string, escapes resolved; the view begins at
// its opening quote and only blanks may follow the closing one.
Result<std::string> ReadPoString(std::string_view quoted) {
    Cursor in(quoted);
    if (!in.TakeIf('"')) {
        return MakeError("a quoted string was expected");
    }
    std::string out;
    for (;;) {
        const std::optional<char> c = in.Take();
        if (!c) {
            return MakeError("the string has no closing quote");
        }
        if (*c == '"') {
            break;
        }
        if (*c != '\\') {
            out += *c;
            continue;
        }
        KORVA_ASSIGN_OR_RETURN(const char escaped, ReadEscape(in));
        out += escaped;
    }
    if (!TrimBlanks(in.Rest()).empty()) {
        return MakeError("text after the closing quote");
    }
    return out;
}

// A keyword and its string.
Result<PoToken> LexKeywordLine(std::string_view line, PoToken token) {
    const std::size_t end = line.find_first_of(" \t\"");
    const std::string_view word = line.substr(0, end);
    const std::string_view rest =
        end == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(end));
    KORVA_ASSIGN_OR_RETURN(std::string text, ReadPoString(rest));
    const std::optional<PoTokenKind> kind = KeywordKind(word, token.form);
    if (!kind) {
        return MakeError("unknown keyword '" + std::string(word) + "'");
    }
    token.kind = *kind;
    token.keyword = std::string(word);
    token.text = std::move(text);
    return token;
}

// The token of one line without its line end and outer blanks, or nothing.
Result<std::optional<PoToken>> LexLine(std::string_view line) {
    PoToken token;
    // gettext reads what follows "#~" as it reads any line, marked obsolete;
    // a loop, not recursion, however many marks a line repeats.
    while (line.starts_with("#~")) {
        token.obsolete = true;
        line = TrimBlanks(line.substr(2));
    }
    if (line.empty()) {
        return std::optional<PoToken>();
    }
    if (token.obsolete && line.starts_with('|')) { // "#~|": an obsolete message's previous msgid
        token.kind = PoTokenKind::Previous;
        token.text = std::string(line.substr(1));
        return std::optional<PoToken>(std::move(token));
    }
    if (line.starts_with('#')) {
        token.kind = CommentKind(line);
        token.text = std::string(line.substr(token.kind == PoTokenKind::TranslatorComment ? 1 : 2));
        return std::optional<PoToken>(std::move(token));
    }
    if (line.starts_with('"')) {
        KORVA_ASSIGN_OR_RETURN(token.text, ReadPoString(line));
        token.kind = PoTokenKind::String;
        return std::optional<PoToken>(std::move(token));
    }
    KORVA_ASSIGN_OR_RETURN(PoToken keyword, LexKeywordLine(line, std::move(token)));
    return std::optional<PoToken>(std::move(keyword));
}

} // namespace

PoLexer::PoLexer(std::string_view bytes) : rest_(bytes) {
    if (rest_.starts_with(kUtf8Mark)) {
        rest_.remove_prefix(kUtf8Mark.size());
    }
}

// Lines end in LF or CR LF; a lone CR is part of its line.
std::optional<std::string_view> PoLexer::NextLine() {
    if (rest_.empty()) {
        return std::nullopt;
    }
    const std::size_t lf = rest_.find('\n');
    std::string_view line = rest_.substr(0, lf);
    rest_.remove_prefix(lf == std::string_view::npos ? rest_.size() : lf + 1);
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    ++line_;
    return TrimBlanks(line);
}

Result<PoToken> PoLexer::Next() {
    while (const std::optional<std::string_view> line = NextLine()) {
        KORVA_ASSIGN_OR_RETURN(std::optional<PoToken> found, LexLine(*line));
        if (found) {
            found->line = line_;
            return std::move(*found);
        }
    }
    PoToken end;
    end.line = line_;
    return end;
}

} // namespace korva::dat
