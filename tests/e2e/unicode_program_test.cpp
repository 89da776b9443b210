// Real programs whose string tables hold what Windows-1252 cannot: Cyrillic,
// Greek, CJK, Arabic, code points beyond the BMP and lone surrogates. A data
// file that starts with the UTF-8 byte order mark translates them losslessly
// and matches them under Unicode case folding; a 1252 data file must still
// hand back every text it cannot translate with its own code units, and
// never take a translation for a text that 1252 could not spell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "e2e/user_locale.h"
#include "support/fixtures.h"
#include "support/process.h"
#include "support/wine.h"
#include "support/workspace.h"

namespace korva::e2e {
namespace {

bool IsHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// A 1252 data file's text; the texts given to it are all Latin-1.
std::string Latin1(std::u16string_view text) {
    std::string out;
    for (const char16_t unit : text) {
        if (unit >= 0x100 || (unit >= 0x80 && unit < 0xA0)) {
            throw std::invalid_argument("not a Latin-1 text");
        }
        out += static_cast<char>(unit);
    }
    return out;
}

// A string of the resource script, which is UTF-8. windres takes UTF-8 only
// in narrow strings (in a wide one it widens each byte on its own), and only
// a wide string's escapes can give a lone surrogate; both compilers read
// \x in a wide string as at most four digits.
std::string RcLiteral(const std::u16string& text) {
    bool lone = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            lone = true;
        }
    }
    if (!lone) {
        return "\"" + Utf8(text) + "\"";
    }
    std::string out = "L\"";
    for (const char16_t unit : text) {
        out += unit >= 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit))
                                           : "\\x" + Hex(unit, 4);
    }
    return out + "\"";
}

using Translations = std::map<std::string, std::u16string>; // by language key

// One text of the program and the data-file entry that it should or should
// not find.
struct Row {
    std::uint32_t id;
    std::u16string program;
    std::u16string english; // the entry's ENGLISH text; empty: no entry of its own
    Translations translations;
    bool matches;
};

struct Destination {
    const char* key;
    std::uint32_t language;
    const char* locale; // the Unix locale of a user of that language
};

struct Scenario {
    const char* name;
    bool utf8; // the data file's encoding; else Windows-1252
    std::vector<Row> rows;
    std::vector<Destination> destinations;
    std::vector<std::u16string> output; // the lines after the banner
    int exitCode;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

const std::vector<Destination> kFiveScripts = {{"RUSSIAN", 0x19, "ru_RU.UTF-8"},
                                               {"GREEK", 0x08, "el_GR.UTF-8"},
                                               {"JAPANESE", 0x11, "ja_JP.UTF-8"},
                                               {"POLISH", 0x15, "pl_PL.UTF-8"},
                                               {"ARABIC", 0x01, "ar_SA.UTF-8"}};

Translations Everywhere(const std::u16string& text) {
    Translations out;
    for (const Destination& d : kFiveScripts) {
        out[d.key] = text;
    }
    return out;
}

const Row kSave{2,
                u"Save",
                u"Save",
                {{"RUSSIAN", u"Сохранить"},
                 {"GREEK", u"Αποθήκευση"},
                 {"JAPANESE", u"保存"},
                 {"POLISH", u"Zapisz"},
                 {"ARABIC", u"حفظ"}},
                true};

// Program texts against the one data-file text each should or should not
// be equal to under simple case folding. Block 2.
struct Fold {
    std::u16string program;
    std::u16string dataFile;
    bool matches;
};
const Fold kFolds[] = {
    {u"открыть", u"ОТКРЫТЬ", true},
    {u"σοφια", u"ΣΟΦΙΑ", true}, // σ and Σ
    {u"οδος", u"ΟΔΟΣ", true},   // final ς and Σ
    {u"λογοσ", u"λογος", true}, // σ and final ς
    // Deseret, beyond the BMP: U+10428 is the small letter of U+10400.
    {u"\U00010428\U00010429 x", u"\U00010400\U00010401 X", true},
    {u"\u212Aelvin", u"KELVIN", true},        // the Kelvin sign folds to k
    {u"Me\u017F\u017Fage", u"MESSAGE", true}, // long s folds to s
    {u"ｏｐｅｎ", u"ＯＰＥＮ", true},         // fullwidth forms have case
    {u"\u0435xit", u"EXIT", false},           // Cyrillic е, not Latin e
    {u"ёлка", u"ЕЛКА", false},                // ё is not е
    {u"\u0131tem", u"ITEM", false},           // dotless ı upper-cases to I but folds to itself
    {u"straße", u"STRASSE", false},           // ß is ss only under full folding
    // The same high surrogates as an entry, other low ones.
    {u"\U00010428\U0001042A x", u"\U00010400\U00010403 X", false},
    {u"ＯＫ", u"OK", false},
};

std::vector<Row> UnicodeRows() {
    // Block 1: a gap at 0, then texts translated into every script, the
    // smile beyond the BMP in the translations, then in the text itself.
    std::vector<Row> rows{
        {1,
         u"&Open",
         u"&Open",
         {{"RUSSIAN", u"&Открыть"},
          {"GREEK", u"&Άνοιγμα"},
          {"JAPANESE", u"開く(&O)"},
          {"POLISH", u"&Otwórz"},
          {"ARABIC", u"&فتح"}},
         true},
        kSave,
        {3,
         u"Smile",
         u"SMILE",
         {{"RUSSIAN", u"Улыбка \U0001F600"},
          {"GREEK", u"Χαμόγελο \U0001F600"},
          {"JAPANESE", u"笑顔 \U0001F600"},
          {"POLISH", u"Uśmiech \U0001F600"},
          {"ARABIC", u"ابتسامة \U0001F600"}},
         true},
        // Only Japanese: the other four keep the text as it is.
        {4, u"\U0001F600 Smile", u"\U0001F600 smile", {{"JAPANESE", u"\U0001F600 笑顔"}}, true},
    };
    std::uint32_t id = 16;
    for (const Fold& f : kFolds) {
        rows.push_back({id++, f.program, f.dataFile, Everywhere(u"✓ " + f.dataFile), f.matches});
    }
    // Block 3: texts without an entry, lone surrogates that no data file
    // can spell among them, next to a text that keeps the block translated.
    Row save = kSave;
    save.id = 32;
    rows.push_back(save);
    id = 33;
    for (const std::u16string& text : {
             std::u16string(u"A\xD800") + u"B", // \x would take the B as a fifth digit
             std::u16string(u"\xDC00 low"),
             std::u16string(u"end \xD83D"),
             std::u16string(u"\xDE00\xD83D"), // a pair the wrong way round
             std::u16string(u"\U00010400 Deseret"),
         }) {
        rows.push_back({id++, text, u"", {}, false});
    }
    return rows;
}

const Scenario kScenarios[] = {
    {"Utf8DataFile",
     true,
     UnicodeRows(),
     kFiveScripts,
     // Block 1: the gap and 4 texts in 5 languages, less the 4 the smile
     // has no translation for; block 2: 8 matches in 5; block 3: Save in 5.
     {u"Translating block #1", u"Translating block #2", u"Not Found: ENGLISH,\u0435xit",
      u"Not Found: ENGLISH,ёлка", u"Not Found: ENGLISH,\u0131tem", u"Not Found: ENGLISH,straße",
      u"Not Found: ENGLISH,\U00010428\U0001042A x", u"Not Found: ENGLISH,ＯＫ",
      u"Translating block #3", std::u16string(u"Not Found: ENGLISH,A\xD800") + u"B",
      u"Not Found: ENGLISH,\xDC00 low", u"Not Found: ENGLISH,end \xD83D",
      u"Not Found: ENGLISH,\xDE00\xD83D", u"Not Found: ENGLISH,\U00010400 Deseret",
      u"Translations found          : 66", u"Source strings missing      : 11",
      u"Translation strings missing : 4", u"Finished", u"Translation incomplete"},
     1},
    // 1252 cannot spell most of these texts; the console shows them with
    // '?', one per code point, but the file gets them back unchanged.
    {"Cp1252DataFile",
     false,
     {{0, u"Open", u"Open", {{"GERMAN", u"Öffnen"}}, true},
      {1, u"Открыть ✓", u"", {}, false},
      {2, u"Save → disk", u"", {}, false},
      {3, std::u16string(u"A\xD800") + u"B", u"", {}, false},
      {4, u"\U0001F600 Smile", u"", {}, false},
      // A real question mark finds its entry; a character that 1252 turns
      // into one must not.
      {16, u"? OK", u"? OK", {{"GERMAN", u"? Gut"}}, true},
      {17, u"✓ OK", u"", {}, false},
      {18, u"✗ OK", u"", {}, false}},
     {{"ENGLISH", 0x09, "en_US.UTF-8"}, {"GERMAN", 0x07, "de_DE.UTF-8"}},
     {u"Translating block #1", u"Not Found: ENGLISH,??????? ?", u"Not Found: ENGLISH,Save ? disk",
      u"Not Found: ENGLISH,A?B", u"Not Found: ENGLISH,? Smile", u"Translating block #2",
      u"Not Found: ENGLISH,? OK", u"Not Found: ENGLISH,? OK", u"Translations found          : 2",
      u"Source strings missing      : 6", u"Translation strings missing : 0", u"Finished",
      u"Translation incomplete"},
     1},
};

ProgramSources Sources(const Scenario& s) {
    std::string rc = "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n";
    for (const Row& row : s.rows) {
        rc += "  " + std::to_string(row.id) + " " + RcLiteral(row.program) + "\n";
    }
    return {rc + "END\n", {}, 65001};
}

// One entry per ENGLISH text. A UTF-8 file ends its lines each way it may;
// a 1252 one, as Windows writes it.
std::string DataFile(const Scenario& s) {
    std::vector<std::string> lines{"; Translations for texts beyond Windows-1252"};
    std::set<std::u16string> written;
    const auto text = [&s](const std::u16string& t) {
        return "\"" + (s.utf8 ? Utf8(t) : Latin1(t)) + "\"";
    };
    for (const Row& row : s.rows) {
        if (row.english.empty() || !written.insert(row.english).second) {
            continue;
        }
        lines.emplace_back("(");
        lines.push_back("ENGLISH," + text(row.english));
        for (const auto& [key, translation] : row.translations) {
            lines.push_back(key + "," + text(translation));
        }
        lines.emplace_back(")");
    }
    if (!s.utf8) {
        return CrLfLines(lines);
    }
    static const char* const ends[] = {"\r\n", "\n", "\r"};
    std::string out = "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i] + ends[i % 3];
    }
    return out;
}

std::string DestinationList(const Scenario& s) {
    std::string out = "(";
    for (const Destination& d : s.destinations) {
        out += std::string(out.size() > 1 ? "," : "") + d.key;
    }
    return out + ")";
}

// Every string table the run must leave, (block, language) -> the texts of
// its slots up to the last one in use.
using Texts = std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::u16string>>;

Texts ExpectedTexts(const Scenario& s) {
    Texts out;
    for (const Row& row : s.rows) {
        for (const Destination& d : s.destinations) {
            std::u16string text = row.program;
            if (row.matches && std::string_view(d.key) == "ENGLISH") {
                text = row.english;
            } else if (const auto it = row.translations.find(d.key);
                       row.matches && it != row.translations.end()) {
                text = it->second;
            }
            auto& slots = out[{row.id / 16 + 1, d.language}];
            slots.resize(std::max<std::size_t>(slots.size(), row.id % 16 + 1));
            slots[row.id % 16] = text;
        }
    }
    return out;
}

// A string-table resource read slot by slot, trailing empty slots dropped.
std::vector<std::u16string> SlotTexts(const Bytes& data) {
    std::vector<std::u16string> out;
    const auto word = [&data](std::size_t at) {
        return static_cast<char16_t>(data.at(at) | (data.at(at + 1) << 8));
    };
    for (std::size_t at = 0; at + 2 <= data.size();) {
        const std::size_t length = word(at);
        at += 2;
        std::u16string text;
        for (std::size_t i = 0; i < length; ++i, at += 2) {
            text += word(at);
        }
        out.push_back(text);
    }
    while (!out.empty() && out.back().empty()) {
        out.pop_back();
    }
    return out;
}

using Param = std::tuple<Scenario, Builder>;

class UnicodeProgram : public testing::TestWithParam<Param> {
protected:
    void SetUp() override {
        const Scenario& s = scenario();
        target_ = ws_.Copy(BuildProgram(std::get<1>(GetParam()), Sources(s)), "app.exe");
        korva_.WriteDataFile(DataFile(s));
        run_ = korva_.Run({"ENGLISH", DestinationList(s), target_});
    }

    static const Scenario& scenario() { return std::get<0>(GetParam()); }

    test::Workspace ws_;
    Installed korva_{ws_};
    std::string target_;
    test::ProcessResult run_;
};

TEST_P(UnicodeProgram, ReportsWhatItMissedAndWritesEachLanguagesCodeUnits) {
    const Scenario& s = scenario();
    std::vector<std::string> lines;
    for (const std::u16string& line : s.output) {
        lines.push_back(Utf8(line));
    }
    EXPECT_EQ(run_.output, Output(lines));
    EXPECT_EQ(run_.exitCode, s.exitCode);

    const StringTables tables = StringTablesOf(Leaves(target_));
    Texts texts;
    for (const auto& [key, data] : tables) {
        texts[key] = SlotTexts(data);
    }
    const Texts expected = ExpectedTexts(s);
    EXPECT_EQ(texts, expected);
    // The exact bytes too: the length words and the closing word.
    for (const auto& [key, slots] : expected) {
        const auto it = tables.find(key);
        EXPECT_TRUE(it != tables.end() && it->second == StringTableData(slots))
            << "block " << key.first << " language " << key.second;
    }
}

// What a user of each language gets from LoadStringW: all sixteen ids of
// each block, gaps and the ids past a short block's last text empty (the
// loader walks the length words without looking at the block's size), texts
// to the last code unit.
TEST_P(UnicodeProgram, LoadStringGivesEachUserTheirLanguagesTexts) {
    ASSERT_EQ(run_.exitCode, scenario().exitCode) << run_.output;
    const Texts texts = ExpectedTexts(scenario());
    for (const Destination& d : scenario().destinations) {
        std::vector<std::string> args{"lang=" + Hex(d.language, 4)};
        std::string expected;
        for (const auto& [key, slots] : texts) {
            if (key.second != d.language) {
                continue;
            }
            for (std::size_t slot = 0; slot < 16; ++slot) {
                const std::size_t id = (std::size_t{key.first} - 1) * 16 + slot;
                args.push_back(Hex(static_cast<std::uint32_t>(id), 4));
                expected += "string " + std::to_string(id) + ":";
                const std::u16string text = slot < slots.size() ? slots[slot] : u"";
                for (const char16_t unit : text) {
                    expected += " " + Hex(unit, 4);
                }
                expected += "\n";
            }
        }
        const UserLocale locale(d.locale);
        const test::ProcessResult run = test::RunUnderWine(KORVA_WINEPREFIX, target_, args);
        EXPECT_EQ(run.exitCode, 0) << d.key;
        EXPECT_EQ(run.output, expected) << d.key;
    }
}

INSTANTIATE_TEST_SUITE_P(Toolchains, UnicodeProgram,
                         testing::Combine(testing::ValuesIn(kScenarios),
                                          testing::Values(Builder::MingwX64, Builder::MingwX86,
                                                          Builder::ClangX64, Builder::ClangX86)),
                         [](const auto& instance) {
                             return std::string(std::get<0>(instance.param).name) + "_" +
                                    BuilderName(std::get<1>(instance.param));
                         });

} // namespace
} // namespace korva::e2e
