#include "common/compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

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
