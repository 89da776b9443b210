#include "datafile/text_filter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/code_page.h"
#include "text/compare.h"

namespace korva {
namespace {

using namespace std::string_literals;

std::string Folded(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        c = static_cast<char>(FoldUpper(static_cast<unsigned char>(c)));
    }
    return out;
}

// Texts are hashed eight bytes at a time; lengths around those steps, every
// byte of the code page and its fold must all be found in any case.
TEST(FoldedTextFilter, FindsEveryTextAddedWhateverItsCase) {
    std::string everyByte;
    for (int c = 255; c >= 0; --c) {
        everyByte.push_back(static_cast<char>(c));
    }
    std::vector<std::string> texts = {"", "\0"s, everyByte, "Open", "\xE9t\xE9 \x9A\xFF"};
    for (std::size_t n = 1; n <= 17; ++n) {
        texts.push_back(std::string(n, 'a'));
    }
    FoldedTextFilter filter(texts.size(), CodePage::Windows1252);
    for (const std::string& text : texts) {
        filter.Add(text);
    }
    for (const std::string& text : texts) {
        EXPECT_TRUE(filter.MayContain(text)) << text;
        EXPECT_TRUE(filter.MayContain(Folded(text))) << text;
    }
    EXPECT_TRUE(filter.MayContain("OPEN"));
    EXPECT_TRUE(filter.MayContain("\xC9T\xC9 \x8A\x9F"));
}

// Most other texts are turned away, near misses included: one byte
// changed in bits case folding leaves alone, one byte more or less.
TEST(FoldedTextFilter, TurnsAwayNearlyEveryOtherText) {
    const std::size_t count = 1000;
    FoldedTextFilter filter(count, CodePage::Windows1252);
    for (std::size_t i = 0; i < count; ++i) {
        filter.Add("Open file " + std::to_string(i));
    }
    std::size_t passed = 0;
    std::size_t asked = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        for (const std::string& other :
             {"Open file " + n + " ", "Open fil " + n, "Opem file " + n, "Open file\0" + n,
              "Open file " + std::to_string(i + count)}) {
            passed += filter.MayContain(other) ? 1U : 0U;
            ++asked;
        }
    }
    EXPECT_LT(passed, asked / 100) << passed << " of " << asked;
}

// Sizing is only a matter of how many others pass: texts beyond the number
// expected are still all found.
TEST(FoldedTextFilter, FindsAllOfMoreTextsThanExpected) {
    FoldedTextFilter filter(2, CodePage::Windows1252);
    std::vector<std::string> texts;
    for (int i = 0; i < 500; ++i) {
        texts.push_back("t" + std::to_string(i));
        filter.Add(texts.back());
    }
    for (const std::string& text : texts) {
        EXPECT_TRUE(filter.MayContain(text)) << text;
    }
}

} // namespace
} // namespace korva

namespace korva {
namespace {

// Under UTF-8 every text equal under CompareText passes, however its
// folding changes its bytes and wherever the eight-byte steps fall.
TEST(FoldedTextFilter, Utf8FindsEveryTextEqualToOneAdded) {
    std::mt19937 random(17);
    std::vector<std::string> added = test::RandomPieceTexts(random, 300, 12, "Open ");
    added.emplace_back("Open ks");
    FoldedTextFilter filter(added.size(), CodePage::Utf8);
    for (const std::string& text : added) {
        filter.Add(text);
    }
    std::size_t equal = 0;
    for (const std::string& other : test::RandomPieceTexts(random, 20000, 3)) {
        for (const std::string& text : added) {
            if (CompareText(text, other, CodePage::Utf8) == 0) {
                ++equal;
                ASSERT_TRUE(filter.MayContain(other)) << text << " / " << other;
            }
        }
    }
    EXPECT_GT(equal, 100u); // the check above was put to the test
    EXPECT_TRUE(filter.MayContain("OPEN \xE2\x84\xAA\xC5\xBF")); // Kelvin sign, long s
}

} // namespace
} // namespace korva
