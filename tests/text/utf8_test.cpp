#include "text/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/code_page.h"
#include "text/codepage.h"

namespace korva {
namespace {

std::vector<std::uint8_t> Le(const std::u16string& units) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t u : units) {
        bytes.push_back(static_cast<std::uint8_t>(u));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return bytes;
}

// What a UTF-8 run makes of a program's string and back: every code unit
// survives, the UTF-8 is the one spelling it has, and the count of units
// the writer reserves is the count it writes.
TEST(Utf8, ProgramStringsComeBackUnitForUnit) {
    const test::Utf8Run utf8;
    struct Case {
        std::u16string units;
        std::string utf8;
    };
    const Case cases[] = {
        {u"", ""},
        {u"Open the file, please: 0123456789", "Open the file, please: 0123456789"},
        {u"\u041E\u0442\u043A\u0440\u044B\u0442\u044C \u2713",
         "\xD0\x9E\xD1\x82\xD0\xBA\xD1\x80"
         "\xD1\x8B\xD1\x82\xD1\x8C \xE2\x9C\x93"},
        {u"\u65E5\u672C\u8A9E", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        {u"a\U0001F600b", "a\xF0\x9F\x98\200b"},
        {std::u16string(u"x\0y", 3), std::string("x\0y", 3)},
        {u"\xD800", "\xED\xA0\x80"},                   // a lone high surrogate
        {{0xDC00, u'A'}, "\xED\xB0\200A"},             // a lone low surrogate
        {u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"}, // the wrong way round: two lone ones
        {u"abcdefgh\xD83D", "abcdefgh\xED\xA0\xBD"},   // a high surrogate at the end
        {u"\uFFFD\uFFFF", "\xEF\xBF\xBD\xEF\xBF\xBF"},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> bytes = Le(c.units);
        EXPECT_EQ(Utf16LeToAnsi(bytes, CodePage::Utf8), c.utf8);
        EXPECT_TRUE(IsValidUtf8(c.utf8)) << c.utf8;
        ASSERT_EQ(AnsiUtf16Length(c.utf8), c.units.size()) << c.utf8;
        std::vector<std::uint8_t> back(bytes.size());
        EXPECT_EQ(PutAnsiAsUtf16Le(c.utf8, back.data()), back.data() + back.size());
        EXPECT_EQ(back, bytes) << c.utf8;
    }
}

// Random strings of code units, surrogates of both kinds among them.
TEST(Utf8, RandomUnitsRoundTrip) {
    const test::Utf8Run utf8;
    std::mt19937 random(3);
    const char16_t pool[] = {u'a',   u'Z',   0x7F,   0x80,   0x7FF,  0x800,  0xD7FF, 0xD800,
                             0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFF, 0x0416, 0x3042};
    for (int round = 0; round < 2000; ++round) {
        std::u16string units;
        for (std::size_t n = random() % 24; n > 0; --n) {
            units.push_back(pool[random() % std::size(pool)]);
        }
        const std::vector<std::uint8_t> bytes = Le(units);
        const Text text = Utf16LeToAnsi(bytes, CodePage::Utf8);
        ASSERT_TRUE(IsValidUtf8(text));
        ASSERT_EQ(AnsiUtf16Length(text), units.size());
        std::vector<std::uint8_t> back(bytes.size());
        PutAnsiAsUtf16Le(text, back.data());
        ASSERT_EQ(back, bytes);
    }
}

// What a data file's line may not hold; each is refused where it starts,
// also after ASCII that is taken eight bytes at a time.
TEST(Utf8, IllFormedBytesAreInvalid) {
    const std::string bad[] = {
        "\x80",             // a continuation byte alone
        "\xC0\x80",         // overlong NUL
        "\xC1\xBF",         // overlong
        "\xE0\x80\x80",     // overlong three bytes
        "\xF0\x80\x80\x80", // overlong four bytes
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xF5\x80\x80\x80", // no such lead
        "\xFF",
        "\xC3", // cut short
        "\xE2\x9C",
        "\303A",                    // a lead without its continuation
        "\xED\xA0\xBD\xED\xB8\x80", // a pair spelt as two surrogates
    };
    for (const std::string& b : bad) {
        EXPECT_FALSE(IsValidUtf8(b));
        EXPECT_FALSE(IsValidUtf8("eight by" + b + "tes"));
    }
    for (const std::string good : {"\xED\xA0\x80", "\xED\xB0\x80\xED\xA0\x80", "\xF4\x8F\xBF\xBF",
                                   "\xED\x9F\xBF", "plain ASCII, longer than eight bytes"}) {
        EXPECT_TRUE(IsValidUtf8(good)) << good;
    }
}

// Whatever bytes reach the writer, it writes exactly as many units as it
// counted, so a run's reserved size always holds.
TEST(Utf8, ArbitraryBytesAreWrittenInTheUnitsCounted) {
    const test::Utf8Run utf8;
    std::mt19937 random(9);
    const unsigned char pool[] = {'a',  0x80, 0xBF, 0xC2, 0xC3, 0xDF, 0xE0, 0xE2, 0xED,
                                  0xA0, 0xB0, 0xF0, 0xF4, 0x90, 0x8F, 0xF5, 0xFF};
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        for (std::size_t n = random() % 20; n > 0; --n) {
            text.push_back(static_cast<char>(pool[random() % std::size(pool)]));
        }
        std::vector<std::uint8_t> units(2 * AnsiUtf16Length(text));
        ASSERT_EQ(PutAnsiAsUtf16Le(text, units.data()), units.data() + units.size());
    }
}

} // namespace
} // namespace korva
