#include "text/codepage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace korva {
namespace {

TEST(CodePage, EveryByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const Text original(1, static_cast<char>(b));
        const std::u16string wide = AnsiToUtf16(original, CodePage::Windows1252);
        ASSERT_EQ(wide.size(), 1u);
        EXPECT_EQ(Utf16ToAnsi(wide, CodePage::Windows1252), original) << "byte " << b;
    }
}

TEST(CodePage, KnownMappings) {
    EXPECT_EQ(AnsiToUtf16Unit(0x80), u'\u20AC');
    EXPECT_EQ(AnsiToUtf16Unit(0x9F), u'\u0178');
    EXPECT_EQ(AnsiToUtf16Unit(0xD6), u'\u00D6');
    for (const unsigned unassigned : {0x81U, 0x8DU, 0x8FU, 0x90U, 0x9DU}) {
        EXPECT_EQ(AnsiToUtf16Unit(static_cast<unsigned char>(unassigned)), unassigned);
    }
}

TEST(CodePage, UnmappableCodePointsBecomeOneQuestionMarkEach) {
    struct Case {
        std::u16string input;
        Text expected;
    };
    const std::vector<Case> cases = {
        {u"\u0100", "?"},         // Latin Extended-A, not in 1252
        {u"\u0080", "?"},         // C1 control whose byte 1252 gives to the euro
        {u"a\U0001F600b", "a?b"}, // a surrogate pair is one code point
        {std::u16string{u'x', char16_t(0xD800)}, "x?"},             // lone high at the end
        {std::u16string{char16_t(0xDC00), char16_t(0xD800)}, "??"}, // low before high: two lone
        {std::u16string{u'A', u'\0', u'B'}, Text("A\0B", 3)},       // NUL is kept in place
        {u"\u20AC\u0152", "\x80\x8C"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16ToAnsi(c.input, CodePage::Windows1252), c.expected);
    }
}

TEST(CodePage, LittleEndianBytesBothWays) {
    std::vector<std::uint8_t> bytes(6);
    PutAnsiAsUtf16Le(Text("O\xD6\x80", 3), bytes.data());
    const std::vector<std::uint8_t> expected = {0x4F, 0x00, 0xD6, 0x00, 0xAC, 0x20};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(Utf16LeToAnsi(bytes, CodePage::Windows1252), Text("O\xD6\x80", 3));
    EXPECT_EQ(Utf16LeToAnsi({}, CodePage::Windows1252), Text());
}

// The table behind the bulk conversion must agree with the one-unit mapping
// on every byte, the high row included.
TEST(CodePage, BulkConversionMatchesUnitConversionOnEveryByte) {
    Text all;
    for (int c = 0; c < 256; ++c) {
        all.push_back(static_cast<char>(c));
    }
    std::vector<std::uint8_t> bytes(2 * all.size() + 1, 0xEE);
    std::uint8_t* end = PutAnsiAsUtf16Le(all, bytes.data());
    ASSERT_EQ(end, bytes.data() + 2 * all.size());
    EXPECT_EQ(bytes.back(), 0xEE); // nothing written past the end
    for (std::size_t c = 0; c < 256; ++c) {
        const char16_t unit = AnsiToUtf16Unit(static_cast<unsigned char>(c));
        EXPECT_EQ(bytes[2 * c], unit & 0xFF) << c;
        EXPECT_EQ(bytes[2 * c + 1], unit >> 8) << c;
    }
}

// Texts are widened in steps of several bytes when none of them needs the
// table; one high-row byte anywhere in a step, and any length of tail, must
// still come out unit by unit.
TEST(CodePage, BulkConversionHandlesEveryPlaceOfAHighRowByte) {
    for (std::size_t length = 1; length <= 40; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            Text text(length, '\xE9');
            text[at] = '\x9C';
            std::vector<std::uint8_t> bytes(2 * length + 1, 0xEE);
            ASSERT_EQ(PutAnsiAsUtf16Le(text, bytes.data()), bytes.data() + 2 * length);
            EXPECT_EQ(bytes.back(), 0xEE);
            for (std::size_t i = 0; i < length; ++i) {
                const char16_t unit = i == at ? char16_t{0x0153} : char16_t{0x00E9};
                ASSERT_EQ(bytes[2 * i] | (bytes[2 * i + 1] << 8), unit) << length << " " << at;
            }
        }
    }
}

} // namespace
} // namespace korva
