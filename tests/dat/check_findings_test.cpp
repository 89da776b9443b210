// What 'korva-dat check' finds in a data file without programs, on the
// document alone: the error lines it reports, how many texts korva would use
// and how many of them each language translates.
#include "dat/check_findings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datafile_support.h"
#include "langkeys/lang_const.h"

namespace korva::dat {
namespace {

LanguageChoice EnglishTo(const std::vector<std::string_view>& dests) {
    LanguageChoice c;
    c.neutral = FindLangKey("ENGLISH");
    for (const std::string_view d : dests) {
        c.dests.push_back(FindLangKey(d));
    }
    std::sort(c.dests.begin(), c.dests.end());
    return c;
}

struct CheckRow {
    const char* name;
    std::vector<std::string> lines;
    std::optional<LanguageChoice> choice;
    // Each error line begins with its place and holds its fragment.
    std::vector<std::pair<std::string, std::string>> errors;
    std::size_t texts;
    std::vector<std::int64_t> missing; // per translated language, in key order
    bool complete;
};

TEST(DatCheckFindings, FindsErrorsAndCountsTranslationsOfTheTextsKorvaUses) {
    const LanguageChoice french = EnglishTo({"ENGLISH", "FRENCH"});
    const LanguageChoice frenchGerman = EnglishTo({"ENGLISH", "FRENCH", "GERMAN"});
    const std::vector<CheckRow> rows = {
        {"all translated",
         {"(", "ENGLISH,\"Open\"", "FRENCH,\"Ouvrir\"", ")", "(", "ENGLISH,\"Save\"",
          "FRENCH,\"Enregistrer\"", ")"},
         french,
         {},
         2,
         {0},
         true},
        {"one language missing in one entry",
         {"(", "ENGLISH,\"Open\"", "FRENCH,\"Ouvrir\"", "GERMAN,\"Offnen\"", ")", "(",
          "ENGLISH,\"Save\"", "FRENCH,\"Enregistrer\"", ")"},
         frenchGerman,
         {},
         2,
         {0, 1},
         false},
        {"a translation left empty on purpose is there",
         {"(", "ENGLISH,\"%d files\"", "FRENCH,\"\"", ")"},
         french,
         {},
         1,
         {0},
         true},
        {"the first of two entries with one text is never used",
         {"(", "ENGLISH,\"Open\"", "FRENCH,\"Ouvrir\"", ")", "(", "ENGLISH,\"Open\"",
          "FRENCH,\"Ouvrir!\"", ")"},
         french,
         {{"K.DAT:1: error: ", "entry at line 5, which korva uses"}},
         1,
         {0},
         true},
        {"a placeholder of another type breaks the program",
         {"(", "ENGLISH,\"%d files\"", "FRENCH,\"%s fichiers\"", ")"},
         french,
         {{"K.DAT:3: error: FRENCH: ", "%"}},
         1,
         {0},
         true},
        {"syntax errors come first",
         {"(", "ENGLISH,\"%d files\"", "FRENCH,\"%s fichiers\"", ")", "GARBAGE"},
         french,
         {{"K.DAT:5: error: ", ""}, {"K.DAT:3: error: FRENCH: ", "%"}},
         1,
         {0},
         true},
        {"without languages only the syntax",
         {"(", "ENGLISH,\"Open\"", ")", "(", "ENGLISH,\"Open\"", ")", "GARBAGE"},
         std::nullopt,
         {{"K.DAT:7: error: ", ""}},
         0,
         {},
         true},
    };
    for (const CheckRow& row : rows) {
        const DataDocument doc = ParseDataDocument(test::Lines(row.lines), "K.DAT");
        const CheckFindings found = CheckDocument(doc, row.choice, {});
        std::vector<std::string> lines;
        for (std::size_t pos = 0; pos < found.errorLines.size();) {
            const std::size_t end = found.errorLines.find('\n', pos);
            lines.push_back(found.errorLines.substr(pos, end - pos));
            pos = end + 1;
        }
        EXPECT_EQ(found.errors, row.errors.size()) << row.name;
        ASSERT_EQ(lines.size(), row.errors.size()) << row.name << "\n" << found.errorLines;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_TRUE(lines[i].starts_with(row.errors[i].first)) << row.name << ": " << lines[i];
            EXPECT_NE(lines[i].find(row.errors[i].second), std::string::npos)
                << row.name << ": " << lines[i];
        }
        EXPECT_EQ(found.texts, row.texts) << row.name;
        std::vector<std::int64_t> missing;
        for (const Coverage::Language& lang : found.entryTranslations) {
            missing.push_back(lang.missing);
            EXPECT_EQ(lang.present + lang.missing, static_cast<std::int64_t>(row.texts))
                << row.name;
        }
        EXPECT_EQ(missing, row.missing) << row.name;
        EXPECT_EQ(found.Complete(), row.complete) << row.name;
        EXPECT_TRUE(found.programs.empty()) << row.name;
    }
}

} // namespace
} // namespace korva::dat
