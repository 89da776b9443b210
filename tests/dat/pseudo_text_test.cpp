// Pseudo-translations: what a program or Windows reads in a text stays, the
// rest is accented, bracketed and longer; the placeholder checks korva-dat
// check runs find nothing wrong.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "dat/format_checks.h"
#include "dat/pseudo_text.h"
#include "dat/ui_checks.h"
#include "text/codepage.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

std::vector<std::string> SpanTexts(std::string_view text) {
    std::vector<std::string> out;
    for (const TextSpan& span : PlaceholderSpans(text)) {
        out.emplace_back(text.substr(span.begin, span.end - span.begin));
    }
    return out;
}

TEST(PlaceholderSpans, CoverWhatTheChecksRead) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
        {"%d of %s", {"%d", "%s"}},
        {"%-5.2f%% %ls %I64u %*d %hhx", {"%-5.2f", "%%", "%ls", "%I64u", "%*d", "%hhx"}},
        {"%1 of %2!d!, %12!-8s!%n", {"%1", "%2!d!", "%12!-8s!", "%n"}},
        {"%1!unclosed", {"%1"}},
        {"100%", {}},
        {"50% off", {}}, // a blank after '%' is prose
        {"%%d", {"%%"}},
        {"%0 %r %.", {}},
        {"%1d", {"%1d"}}, // printf's width 1 and FormatMessage's %1 alike
    };
    for (const auto& [text, spans] : rows) {
        EXPECT_EQ(SpanTexts(text), spans) << text;
    }
}

std::size_t CodePoints(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < text.size(); ++n) {
        DecodeUtf8(text, pos);
    }
    return n;
}

std::size_t AsciiLetters(std::string_view text) {
    std::size_t n = 0;
    for (const char c : text) {
        n += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? 1 : 0;
    }
    return n;
}

// Each text, the ASCII letters its pseudo form keeps inside the brackets
// (those of placeholders and those an '&' marks), and what it keeps after
// them: line ends, and everything from the tab on.
struct PseudoRow {
    std::string text;
    std::size_t keptLetters;
    std::string after;
};

const std::vector<PseudoRow>& Rows() {
    static const std::vector<PseudoRow> rows = {
        {"Open", 0, ""},
        {"&Open...\tCtrl+O", 1, "\tCtrl+O"},
        {"E&xit", 1, ""},
        {"Save && E&xit\tAlt+F4", 1, "\tAlt+F4"},
        {"Save&", 0, "&"},
        {"&&", 0, ""},
        {"%d files of %s", 2, ""},
        {"%-5.2f%% %ls %I64u %*d", 6, ""},
        {"100%% done, 50% more", 0, ""},
        {"Total: 100%", 0, ""},
        {"%1 lines, %2!d! words", 1, ""},
        {"Copy %1 to %2%n", 0, "%n"},
        {"Error %1!s!%0", 1, "%0"},
        {"Ends %%n", 0, ""}, // a literal "%" and an n
        {"Line 1\r\nLine 2\r\n", 0, "\r\n"},
        {"Name: ", 0, " "},
        {"&%d items", 1, ""},                   // the '&' marks a placeholder, which stays whole
        {"%1!%d! of %2!-5s!\tFmt", 2, "\tFmt"}, // an insert's format holds a conversion
        {"\xE2\x86\x92 Caf\xC3\xA9 %1!s!\n", 1, "\n"},
        {"Smile \xF0\x9F\x98\x80 and \xED\xA0\x80 lone", 0, ""},
        {"Ctrl-Z \x1A bell \x07 DEL \x7F", 0, ""},
        {std::string("NUL\0inside", 10), 0, ""},
        {"\tCtrl+N", 0, "\tCtrl+N"},
        {" ", 0, " "},
    };
    return rows;
}

TEST(PseudoTranslate, KeepsWhatProgramsReadAndMarksTheRest) {
    for (const PseudoRow& row : Rows()) {
        const std::string& text = row.text;
        const std::string pseudo = PseudoTranslate(text, PseudoStyle::Accented);
        SCOPED_TRACE(text + " -> " + pseudo);
        EXPECT_EQ(CompareFormats(text, pseudo), std::vector<std::string>{});
        EXPECT_EQ(SpanTexts(pseudo), SpanTexts(text));
        EXPECT_EQ(AcceleratorLetter(pseudo), AcceleratorLetter(text));
        ASSERT_TRUE(pseudo.starts_with('['));
        const std::size_t close = pseudo.rfind(']', pseudo.size() - row.after.size());
        ASSERT_NE(close, std::string::npos);
        EXPECT_EQ(pseudo.substr(close + 1), row.after);
        EXPECT_EQ(AsciiLetters(pseudo.substr(1, close - 1)), row.keptLetters);
        // A third longer at least, besides the brackets.
        const std::size_t core = CodePoints(text) - CodePoints(row.after);
        EXPECT_GE(3 * (CodePoints(pseudo.substr(1, close - 1))), 4 * core);
        EXPECT_EQ(IsValidUtf8(pseudo), IsValidUtf8(text));
    }
}

// The forms themselves, which a data file made again must reproduce byte for
// byte.
TEST(PseudoTranslate, GivesTheseForms) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"&Open...\tCtrl+O", "[&O\xC3\xBE\xC3\xA9\xC3\xB1...\xC2\xB7\xC2\xB7\xC2\xB7]\tCtrl+O"},
        {"%d of %s", "[%d \xC3\xB6\xC6\x92 %s\xC2\xB7\xC2\xB7\xC2\xB7]"},
        {"Save&", "[\xC5\xA0\xC3\xA5\xE1\xB9\xBD\xC3\xA9\xC2\xB7\xC2\xB7]&"},
        {"AZaz", "[\xC3\x85\xC5\xBD\xC3\xA5\xC5\xBE\xC2\xB7\xC2\xB7]"},
        {"", "[\xC2\xB7]"},
    };
    for (const auto& [text, pseudo] : rows) {
        EXPECT_EQ(PseudoTranslate(text, PseudoStyle::Accented), pseudo) << text;
    }
}

// Mirrored: the same between a right-to-left override and its end, the
// part after them as it was.
TEST(PseudoTranslate, MirroredOverridesTheBracketedPart) {
    const std::string rlo = "\xE2\x80\xAE";
    const std::string pdf = "\xE2\x80\xAC";
    for (const PseudoRow& row : Rows()) {
        const std::string accented = PseudoTranslate(row.text, PseudoStyle::Accented);
        const std::size_t close = accented.size() - row.after.size();
        EXPECT_EQ(PseudoTranslate(row.text, PseudoStyle::Mirrored),
                  rlo + accented.substr(0, close) + pdf + row.after)
            << row.text;
    }
}

// korva writes at most 65535 UTF-16 code units a text: the padding gives
// way first, then the brackets.
TEST(PseudoTranslate, NeverLongerThanKorvaCanWrite) {
    struct Row {
        std::size_t length;
        PseudoStyle style;
        std::size_t units; // of the pseudo form
        bool bracketed;
    };
    const std::vector<Row> rows = {
        {60000, PseudoStyle::Accented, kMaxTextUnits, true},
        {65533, PseudoStyle::Accented, kMaxTextUnits, true},
        {65533, PseudoStyle::Mirrored, 65533, false},
        {65534, PseudoStyle::Accented, 65534, false},
        {kMaxTextUnits, PseudoStyle::Accented, kMaxTextUnits, false},
        {3000, PseudoStyle::Mirrored, 3000 + 4 + 1000, true},
    };
    for (const Row& row : rows) {
        const std::string text(row.length, 'x');
        const std::string pseudo = PseudoTranslate(text, row.style);
        EXPECT_EQ(AnsiUtf16Length(pseudo, CodePage::Utf8), row.units) << row.length;
        EXPECT_EQ(pseudo.find('[') != std::string::npos, row.bracketed) << row.length;
        EXPECT_EQ(AsciiLetters(pseudo), 0u);
    }
}

} // namespace
} // namespace korva::dat
