#include "datafile/text_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "support/code_page.h"
#include "text/compare.h"

namespace korva {
namespace {

std::vector<std::uint32_t> ReferenceOrder(const std::vector<std::string>& texts,
                                          CodePage page = CodePage::Windows1252) {
    std::vector<std::uint32_t> order(texts.size());
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return CompareText(texts[a], texts[b], page) < 0;
    });
    return order;
}

// The order, checking on the way that the equality marks are right.
std::vector<std::uint32_t> Sorted(const std::vector<std::string>& texts,
                                  CodePage page = CodePage::Windows1252) {
    const std::vector<SortedText> sorted =
        SortTexts(std::vector<std::string_view>(texts.begin(), texts.end()), page);
    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const bool same =
            i > 0 && CompareText(texts[sorted[i - 1].index], texts[sorted[i].index], page) == 0;
        EXPECT_EQ(sorted[i].sameAsPrevious, same) << "at " << i;
        EXPECT_EQ(sorted[i].text, texts[sorted[i].index]);
        order.push_back(sorted[i].index);
    }
    return order;
}

// Texts over a small alphabet with letters in both cases, NUL and folding
// Latin-1 pairs, many sharing long beginnings, so that windows tie, texts end
// inside a window and equal texts come in groups.
std::vector<std::string> RandomTexts(std::mt19937& random, std::size_t count,
                                     std::size_t prefixLength) {
    const std::string alphabet = std::string("aAbB\xE9\xC9\x9A\x8A\xFF\x9F", 10) + '\0';
    const std::string prefix(prefixLength, 'p');
    std::uniform_int_distribution<std::size_t> length(0, 20);
    std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text = (i % 3 == 0) ? std::string() : prefix;
        for (std::size_t n = length(random); n > 0; --n) {
            text += alphabet[letter(random)];
        }
        texts.push_back(text);
    }
    return texts;
}

TEST(SortTexts, MatchesAStableSortByCompareText) {
    std::mt19937 random(7);
    for (const std::size_t count : {0U, 1U, 2U, 17U, 1000U, 20000U}) {
        for (const std::size_t prefix : {0U, 5U, 8U, 70U}) {
            const std::vector<std::string> texts = RandomTexts(random, count, prefix);
            EXPECT_EQ(Sorted(texts), ReferenceOrder(texts)) << count << " " << prefix;
        }
    }
}

TEST(SortTexts, EqualTextsKeepTheirOrderAndPrefixesComeFirst) {
    using namespace std::string_literals;
    const std::vector<std::string> texts = {"abcdefgh1", "ABCDEFGH", "abcdefgh", "abcdefgh\0"s,
                                            "ABCDEFGH1", "abcdefg",  "",         "abcdefgh1",
                                            "ABCDEFGI",  "\xFF",     "\x9F",     "abcdefgh"};
    EXPECT_EQ(Sorted(texts), (std::vector<std::uint32_t>{6, 5, 1, 2, 11, 3, 0, 4, 7, 8, 9, 10}));
}

TEST(CompareSameAsText, AgreesWithCompareText) {
    std::mt19937 random(11);
    const std::vector<std::string> texts = RandomTexts(random, 300, 12);
    for (const std::string& a : texts) {
        for (const std::string& b : texts) {
            ASSERT_EQ(CompareSameAsText(a, b, CodePage::Windows1252),
                      CompareText(a, b, CodePage::Windows1252))
                << a << " / " << b;
        }
    }
}

} // namespace
} // namespace korva

namespace korva {
namespace {

// Under UTF-8 the windows hold the folded form's bytes, which are not the
// text's own: sorting by them must still give CompareText's order, also
// where long beginnings send groups past the windows.
TEST(SortTexts, Utf8MatchesAStableSortByCompareText) {
    std::mt19937 random(13);
    for (const std::size_t count : {2U, 300U, 5000U}) {
        for (const std::string& prefix :
             std::vector<std::string>{"", "\xE2\x84\xAAprefix ", std::string(70, 'p')}) {
            const std::vector<std::string> texts = test::RandomPieceTexts(random, count, 8, prefix);
            EXPECT_EQ(Sorted(texts, CodePage::Utf8), ReferenceOrder(texts, CodePage::Utf8))
                << count << " " << prefix;
        }
    }
    const std::vector<std::string> texts = test::RandomPieceTexts(random, 250, 6, "same start");
    for (const std::string& a : texts) {
        for (const std::string& b : texts) {
            ASSERT_EQ(CompareSameAsText(a, b, CodePage::Utf8), CompareText(a, b, CodePage::Utf8))
                << a << " / " << b;
        }
    }
}

} // namespace
} // namespace korva
