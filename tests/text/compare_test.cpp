#include "text/compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/code_page.h"

namespace korva {
namespace {

TEST(CompareText, CasePairsOf1252FoldTogether) {
    std::vector<std::pair<unsigned char, unsigned char>> pairs = {
        {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    for (unsigned c = 'a'; c <= 'z'; ++c) {
        pairs.emplace_back(c, c - 0x20);
    }
    for (unsigned c = 0xE0; c <= 0xFE; ++c) {
        if (c != 0xF7) {
            pairs.emplace_back(c, c - 0x20);
        }
    }
    for (const auto& [lower, upper] : pairs) {
        EXPECT_EQ(CompareText(std::string(1, char(lower)), std::string(1, char(upper))), 0)
            << int(lower);
    }
    // Look-alikes that are not case pairs stay apart.
    EXPECT_NE(CompareText("\xF7", "\xD7"), 0); // division and multiplication signs
    EXPECT_NE(CompareText("\xDF", "\xFF"), 0); // sharp s has no upper case here
}

TEST(CompareText, OrdersByFoldedUnsignedBytesWithPrefixFirst) {
    EXPECT_LT(CompareText("ab", "abc"), 0);
    EXPECT_GT(CompareText("abc", "AB"), 0);
    EXPECT_LT(CompareText("", "a"), 0);
    EXPECT_EQ(CompareText("", ""), 0);
    EXPECT_LT(CompareText("a", "_"), 0); // 'a' folds to 0x41, below 0x5F
    EXPECT_LT(CompareText("z", "\x80"), 0);
    EXPECT_LT(CompareText(std::string("a\0b", 3), std::string("a\0c", 3)), 0);
    EXPECT_EQ(CompareText(std::string("x\0", 2), std::string("X\0", 2)), 0);
    EXPECT_NE(CompareText(std::string("x\0", 2), "x"), 0);
}

TEST(CompareText, IsATotalOrderOnRandomTexts) {
    std::mt19937 rng(7);
    const std::string alphabet("aAbB\xE9\xC9\x9A\x8A\0_z", 11);
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i) {
        std::string t;
        for (std::size_t n = rng() % 4; n > 0; --n) {
            t.push_back(alphabet[rng() % alphabet.size()]);
        }
        texts.push_back(t);
    }
    for (const auto& a : texts) {
        for (const auto& b : texts) {
            ASSERT_EQ(CompareText(a, b), -CompareText(b, a));
        }
    }
    std::sort(texts.begin(), texts.end(),
              [](const auto& a, const auto& b) { return CompareText(a, b) < 0; });
    for (std::size_t i = 1; i < texts.size(); ++i) {
        ASSERT_LE(CompareText(texts[i - 1], texts[i]), 0);
        for (std::size_t j = i + 1; j < texts.size(); j += 37) {
            ASSERT_LE(CompareText(texts[i], texts[j]), 0); // transitive
        }
    }
}

} // namespace
} // namespace korva

namespace korva {
namespace {

// Under UTF-8: equal exactly where the simple case foldings agree, ordered
// by folded code point, lengths of the bytes not mattering.
TEST(CompareText, Utf8FoldsEachCodePointByUnicodeSimpleCaseFolding) {
    const test::Utf8Run utf8;
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"\xD0\x9E\xD0\xA2\xD0\x9A\xD0\xA0\xD0\xAB\xD0\xA2\xD0\xAC",     // ОТКРЫТЬ
         "\xD0\xBE\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82\xD1\x8C", 0}, // открыть
        {"\xCE\xA3", "\xCF\x83", 0},                                     // Σ σ
        {"\xCF\x82", "\xCF\x83", 0},                                     // ς σ
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", 0},                     // Deseret
        {"\xE2\x84\xAA", "k", 0},                                        // Kelvin sign
        {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", 0},                   // Été été
        {"\xD0\xB5", "e", 1},                 // Cyrillic ie is not Latin e
        {"\xD1\x91", "\xD0\xB5", 1},          // ё is not е
        {"\xC3\x9F", "ss", 1},                // sharp s folds to two letters only fully
        {"\xC4\xB0", "i", 1},                 // dotted capital I folds only in Turkic
        {"_", "A", -1},                       // folded to lower case: 0x5F before 0x61
        {"ab", "ABC", -1},                    // a proper prefix is less
        {"\xED\xA0\x80", "\xEE\x80\x80", -1}, // a lone surrogate in code point order
        {"\xEF\xBF\xBF", "\xF0\x90\x80\x80", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareText(c.a, c.b), c.expected) << c.a << " / " << c.b;
        EXPECT_EQ(CompareText(c.b, c.a), -c.expected) << c.b << " / " << c.a;
    }
    // The 1252 comparison of key names is not affected.
    EXPECT_NE(Compare1252Text("\xE2\x84\xAA", "K"), 0);
}

// Sorted by CompareText, texts have windows in the same order at every
// depth where they agree before it, and equal texts have equal windows:
// what the dictionary's keys and its sort rely on.
TEST(CompareText, Utf8IsATotalOrderThatItsWindowsFollow) {
    const test::Utf8Run utf8;
    std::mt19937 random(5);
    std::vector<std::string> texts = test::RandomPieceTexts(random, 400, 6, "pre");
    std::sort(texts.begin(), texts.end(),
              [](const auto& a, const auto& b) { return CompareText(a, b) < 0; });
    for (std::size_t i = 1; i < texts.size(); ++i) {
        const std::string& a = texts[i - 1];
        const std::string& b = texts[i];
        ASSERT_LE(CompareText(a, b), 0) << a << " / " << b;
        ASSERT_EQ(CompareText(a, b), -CompareText(b, a));
        for (std::size_t depth = 0; depth <= 16; depth += 8) {
            std::uint32_t restA = 0;
            std::uint32_t restB = 0;
            const std::uint64_t wa = FoldedWindow(a, depth, restA, CodePage::Utf8);
            const std::uint64_t wb = FoldedWindow(b, depth, restB, CodePage::Utf8);
            ASSERT_TRUE(wa < wb || (wa == wb && restA <= restB)) << a << " / " << b;
            if (wa != wb || restA != 8) {
                break;
            }
        }
        if (CompareText(a, b) == 0) {
            std::uint32_t rest = 0;
            std::uint32_t restB = 0;
            ASSERT_EQ(FoldedWindow(a, 0, rest, CodePage::Utf8),
                      FoldedWindow(b, 0, restB, CodePage::Utf8));
        }
    }
}

} // namespace
} // namespace korva
