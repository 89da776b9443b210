#include "datafile/text_filter.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/compare.h"

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
    TFoldedTextFilter filter(texts.size());
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

// What differs in any byte, or only in length, is told apart.
TEST(FoldedTextFilter, TellsOtherTextsApart) {
    TFoldedTextFilter filter(3);
    filter.Add("Open file");
    filter.Add("aaaaaaaa");
    filter.Add("");
    for (const std::string& other :
         {"Open fil"s, "Open file "s, "Open filf"s, "Opem file"s, "aaaaaaa"s, "aaaaaaaaa"s,
          "aaaaaaa\0"s, "\0"s, "Open file\0"s}) {
        EXPECT_FALSE(filter.MayContain(other)) << other;
    }
}

TEST(FoldedTextFilter, RefusesMoreTextsThanItsRoom) {
    TFoldedTextFilter filter(2);
    filter.Add("a");
    filter.Add("b");
    filter.Add("B"); // the same text again takes no room
    EXPECT_THROW(filter.Add("c"), std::length_error);
}

} // namespace
} // namespace korva
