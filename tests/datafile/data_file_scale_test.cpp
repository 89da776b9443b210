#include <gtest/gtest.h>

#include <string>

#include "common/console.h"
#include "datafile/data_loader.h"
#include "datafile/trans_dict.h"
#include "datafile_support.h"
#include "text/compare.h"

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
    const std::string english = LongText(kMillion, 'a');
    const std::string german = LongText(kMillion, 'A');
    // An escape cut in two by the end of the loader's first read block.
    const std::size_t germanStart =
        std::string("(\r\nENGLISH,\"").size() + kMillion + std::string("\"\r\nGERMAN,\"").size();
    const std::size_t cut = LineReader::kDefaultBlockSize - germanStart - 2;
    std::string germanLine = german;
    germanLine.replace(cut, 4, "\\x41");
    std::string germanWant = german;
    germanWant.replace(cut, 4, "A");
    const std::string file =
        test::Lines({"(", "ENGLISH,\"" + english + "\"", "GERMAN,\"" + germanLine + "\"", ")", "(",
                     "ENGLISH,\"short\"", "GERMAN,\"kurz\"", ")"});
    ASSERT_EQ(file.substr(LineReader::kDefaultBlockSize - 2, 4), "\\x41");

    for (const std::size_t chunk : {std::size_t{1} << 20, std::size_t{65521}, file.size()}) {
        Result<DataLoadOutcome> loaded = test::LoadText(
            file, test::Selection("ENGLISH", {"GERMAN"}), CodePage::Windows1252, chunk);
        ASSERT_TRUE(loaded.ok() && loaded->Loaded()) << chunk;
        const TransDictionary& dict = loaded->dict;
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
}

// The same line with a syntax error at its very end is reported in its own
// line number, not lost in the block arithmetic.
TEST(DataFileScale, AnErrorAtTheEndOfAMillionCharacterLineNamesThatLine) {
    const std::string file = test::Lines({"(", "ENGLISH,\"" + LongText(kMillion, 'a') + "\"",
                                          "GERMAN,\"" + LongText(kMillion, 'A') + "\\x4G\"", ")"});
    const Result<DataLoadOutcome> loaded =
        test::LoadText(file, test::Selection("ENGLISH", {"GERMAN"}));
    ASSERT_TRUE(loaded.ok());
    EXPECT_FALSE(loaded->Loaded());
    ASSERT_TRUE(loaded->syntaxError.has_value());
    EXPECT_EQ(loaded->syntaxError->line, 3u);
    EXPECT_EQ(loaded->syntaxError->message, "Syntax error in K.DAT/Line=3");
}

} // namespace
} // namespace korva

namespace korva {
namespace {

// Where a search by CompareText alone puts a text: the reference for the
// dictionary's faster search.
bool ReferenceFind(const TransDictionary& dict, std::string_view text, std::size_t& index) {
    index = 0;
    while (index < dict.Count() && CompareText(dict.Text(index), text, dict.codePage()) < 0) {
        ++index;
    }
    return index < dict.Count() && CompareText(dict.Text(index), text, dict.codePage()) == 0;
}

// Texts alike in their first eight folded bytes, shorter than eight, or
// holding NUL characters are where a search by leading bytes could go
// wrong; the result must be CompareText's, found or not.
TEST(DataFileScale, SearchAgreesWithTheComparisonOnTextsAlikeInTheirFirstBytes) {
    const std::vector<std::string> neutral = {"Settings",
                                              "SETTINGS for all",
                                              "settings for one",
                                              "Settings\\x00",
                                              "Setting",
                                              "A",
                                              "AB",
                                              "AB\\x00",
                                              "AB\\x00\\x00",
                                              "ab\\x01",
                                              "\\xE9t\\xE9",
                                              "\\xC9T\\xC9 long text",
                                              "\\xFF",
                                              "\\x9F\\x9F",
                                              "Zz",
                                              "12345678",
                                              "123456789",
                                              "1234567"};
    std::vector<std::string> lines;
    for (const std::string& text : neutral) {
        lines.insert(lines.end(), {"(", "ENGLISH,\"" + text + "\"", "GERMAN,\"x\"", ")"});
    }
    Result<DataLoadOutcome> loaded =
        test::LoadText(test::Lines(lines), test::Selection("ENGLISH", {"GERMAN"}));
    ASSERT_TRUE(loaded.ok() && loaded->Loaded());
    const TransDictionary& dict = loaded->dict;
    const std::vector<std::string> queries = {"settings",
                                              "SETTINGS FOR ALL",
                                              "Settings for",
                                              "Settings for al",
                                              "Settings for zzz",
                                              std::string("Settings\0", 9),
                                              "Setting",
                                              "Settin",
                                              "",
                                              "a",
                                              "ab",
                                              std::string("AB\0", 3),
                                              std::string("AB\0\0\0", 5),
                                              std::string("ab\x01", 3),
                                              "\xC9t\xE9",
                                              "\xE9T\xC9 LONG TEXT",
                                              "\xFF",
                                              "\xFF\xFF",
                                              "\x9F",
                                              "zZ",
                                              "zzz",
                                              "12345678",
                                              "123456789",
                                              "1234567",
                                              "1234568",
                                              "0"};
    for (const std::string& query : queries) {
        std::size_t index = 99;
        std::size_t want = 0;
        const bool found = dict.Find(query, index);
        EXPECT_EQ(found, ReferenceFind(dict, query, want)) << query;
        EXPECT_EQ(index, want) << query;
    }
}

} // namespace
} // namespace korva
