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

// A translation line of `count` times `piece`.
std::string Repeated(std::string_view lang, std::string_view piece, std::size_t count,
                     std::string_view tail = "") {
    std::string line = std::string(lang) + ",\"";
    for (std::size_t i = 0; i < count; ++i) {
        line += piece;
    }
    return line + std::string(tail) + "\"";
}

TEST(DatCheckFindings, FindsErrorsAndCountsTranslationsOfTheTextsKorvaUses) {
    const LanguageChoice french = EnglishTo({"ENGLISH", "FRENCH"});
    const LanguageChoice frenchGerman = EnglishTo({"ENGLISH", "FRENCH", "GERMAN"});
    const std::string bom = "\xEF\xBB\xBF";
    const std::string emoji = "\xF0\x9F\x98\x80"; // two UTF-16 code units
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
        // Korva counts a text's UTF-16 code units: a character beyond
        // U+FFFF is two, a 1252 byte one, and 65535 is as long as it writes.
        {"UTF-8: 65535 code units in 131069 bytes",
         {bom + "(", "ENGLISH,\"Open\"", Repeated("FRENCH", emoji, 32767, "a"), ")"},
         french,
         {},
         1,
         {0},
         true},
        {"UTF-8: 65536 code units are too long for korva",
         {bom + "(", "ENGLISH,\"Open\"", Repeated("FRENCH", emoji, 32768), ")"},
         french,
         {{"K.DAT:3: error: FRENCH: the translation is 65536 UTF-16 code units long; korva can "
           "write at most 65535",
           ""}},
         1,
         {0},
         true},
        {"UTF-8: two-byte characters count once",
         {bom + "(", "ENGLISH,\"Open\"", Repeated("FRENCH", "\xC3\xA9", 65535), ")"},
         french,
         {},
         1,
         {0},
         true},
        {"1252: 65535 bytes are 65535 code units",
         {"(", "ENGLISH,\"Open\"", Repeated("FRENCH", "\xE9", 65535), ")"},
         french,
         {},
         1,
         {0},
         true},
        {"1252: 65536 bytes are too long, in any language",
         {"(", "ENGLISH,\"Open\"", "FRENCH,\"x\"", Repeated("GERMAN", "\xE9", 65536), ")"},
         french,
         {{"K.DAT:4: error: GERMAN: the translation is 65536 UTF-16", ""}},
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
