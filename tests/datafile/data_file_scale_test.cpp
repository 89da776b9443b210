#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

#include "datafile/data_loader.h"
#include "driver/console.h"
#include "datafile/trans_dict.h"
#include "datafile_support.h"

namespace korva {
namespace {

constexpr std::size_t kMillion = 1000000;

// A text of `length` characters that is not one character repeated, so that
// a lost or doubled piece at a block boundary changes it.
std::string LongText(std::size_t length, char first) {
    std::string text(length, ' ');
    for (std::size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char>(first + static_cast<char>(i % 23));
    }
    return text;
}

// A line longer than the loader's read block spans several reads; the line
// must come out whole, whatever the size of each read.
TEST(DataFileScale, AnEntryOfAMillionCharactersOnOneLine) {
    test::SelectLanguages("ENGLISH", {"GERMAN"});
    const std::string english = LongText(kMillion, 'a');
    const std::string german = LongText(kMillion, 'A');
    // An escape cut in two by the end of the loader's first read block.
    const std::size_t germanStart = std::string("(\r\nENGLISH,\"").size() + kMillion +
                                    std::string("\"\r\nGERMAN,\"").size();
    const std::size_t cut = TLineReader::kDefaultBlockSize - germanStart - 2;
    std::string germanLine = german;
    germanLine.replace(cut, 4, "\\x41");
    std::string germanWant = german;
    germanWant.replace(cut, 4, "A");
    const std::string file = test::Lines({"(", "ENGLISH,\"" + english + "\"",
                                          "GERMAN,\"" + germanLine + "\"", ")", "(",
                                          "ENGLISH,\"short\"", "GERMAN,\"kurz\"", ")"});
    ASSERT_EQ(file.substr(TLineReader::kDefaultBlockSize - 2, 4), "\\x41");

    for (const std::size_t chunk : {std::size_t{1} << 20, std::size_t{65521}, file.size()}) {
        TTransDict dict;
        ASSERT_TRUE(LoadDataFrom(test::ReadFrom(file, chunk), "KORVA.DAT", dict)) << chunk;
        ASSERT_EQ(dict.Count(), 2u) << chunk;
        std::size_t index = 0;
        ASSERT_TRUE(dict.Find(english, index)) << chunk;
        EXPECT_EQ(dict.Text(index).size(), kMillion);
        const TTransStrs& entry = dict.Entry(index);
        EXPECT_TRUE(entry.Text(FindLangKey("ENGLISH")) == english) << chunk;
        EXPECT_EQ(entry.Text(FindLangKey("GERMAN")).size(), kMillion - 3) << chunk;
        EXPECT_TRUE(entry.Text(FindLangKey("GERMAN")) == germanWant) << chunk;
        ASSERT_TRUE(dict.Find("SHORT", index)) << chunk;
        EXPECT_EQ(dict.Entry(index).Text(FindLangKey("GERMAN")), "kurz");
    }
    ResetLangSelection();
}

// The same line with a syntax error at its very end is reported in its own
// line number, not lost in the block arithmetic.
TEST(DataFileScale, AnErrorAtTheEndOfAMillionCharacterLineNamesThatLine) {
    test::SelectLanguages("ENGLISH", {"GERMAN"});
    const std::string file =
        test::Lines({"(", "ENGLISH,\"" + LongText(kMillion, 'a') + "\"",
                     "GERMAN,\"" + LongText(kMillion, 'A') + "\\x4G\"", ")"});
    std::ostringstream out;
    SetConsole(out);
    TTransDict dict;
    EXPECT_FALSE(LoadDataFrom(test::ReadFrom(file), "KORVA.DAT", dict));
    SetConsole(std::cout);
    EXPECT_EQ(out.str(), "Syntax error in KORVA.DAT/Line=3\r\n");
    ResetLangSelection();
}

} // namespace
} // namespace korva
