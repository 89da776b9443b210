// Who gets which language of a translated program under Wine: the user of
// each of the 43 language keys, with and without --fallback. A destination's
// users get their own copy either way; without the option every other user
// gets what the loader takes last, the copy with the lowest id, and with it
// the fallback destination's copy, written once more under 0x0409. The same
// holds for the other resources that --resources translates.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
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

// A user of each key: the key's primary language id and a Unix locale that
// Wine 8 reads as a locale of that language (Serbian needs its script:
// Wine knows no sr-RS).
struct User {
    const char* key;
    std::uint32_t language;
    const char* locale;
};
const std::array<User, 43> kUsers{{
    {"AFRIKAANS", 0x36, "af_ZA.UTF-8"},     {"ALBANIAN", 0x1C, "sq_AL.UTF-8"},
    {"ARABIC", 0x01, "ar_SA.UTF-8"},        {"BASQUE", 0x2D, "eu_ES.UTF-8"},
    {"BELARUSIAN", 0x23, "be_BY.UTF-8"},    {"BULGARIAN", 0x02, "bg_BG.UTF-8"},
    {"CATALAN", 0x03, "ca_ES.UTF-8"},       {"CHINESE", 0x04, "zh_CN.UTF-8"},
    {"CROATIAN", 0x1A, "hr_HR.UTF-8"},      {"CZECH", 0x05, "cs_CZ.UTF-8"},
    {"DANISH", 0x06, "da_DK.UTF-8"},        {"DUTCH", 0x13, "nl_NL.UTF-8"},
    {"ENGLISH", 0x09, "en_US.UTF-8"},       {"ESTONIAN", 0x25, "et_EE.UTF-8"},
    {"FAEROESE", 0x38, "fo_FO.UTF-8"},      {"FARSI", 0x29, "fa_IR.UTF-8"},
    {"FINNISH", 0x0B, "fi_FI.UTF-8"},       {"FRENCH", 0x0C, "fr_FR.UTF-8"},
    {"GERMAN", 0x07, "de_DE.UTF-8"},        {"GREEK", 0x08, "el_GR.UTF-8"},
    {"HEBREW", 0x0D, "he_IL.UTF-8"},        {"HUNGARIAN", 0x0E, "hu_HU.UTF-8"},
    {"ICELANDIC", 0x0F, "is_IS.UTF-8"},     {"INDONESIAN", 0x21, "id_ID.UTF-8"},
    {"ITALIAN", 0x10, "it_IT.UTF-8"},       {"JAPANESE", 0x11, "ja_JP.UTF-8"},
    {"KOREAN", 0x12, "ko_KR.UTF-8"},        {"LATVIAN", 0x26, "lv_LV.UTF-8"},
    {"LITHUANIAN", 0x27, "lt_LT.UTF-8"},    {"NORWEGIAN", 0x14, "nb_NO.UTF-8"},
    {"POLISH", 0x15, "pl_PL.UTF-8"},        {"PORTUGUESE", 0x16, "pt_PT.UTF-8"},
    {"ROMANIAN", 0x18, "ro_RO.UTF-8"},      {"RUSSIAN", 0x19, "ru_RU.UTF-8"},
    {"SERBIAN", 0x1A, "sr_RS.UTF-8@latin"}, {"SLOVAK", 0x1B, "sk_SK.UTF-8"},
    {"SLOVENIAN", 0x24, "sl_SI.UTF-8"},     {"SPANISH", 0x0A, "es_ES.UTF-8"},
    {"SWEDISH", 0x1D, "sv_SE.UTF-8"},       {"THAI", 0x1E, "th_TH.UTF-8"},
    {"TURKISH", 0x1F, "tr_TR.UTF-8"},       {"UKRAINIAN", 0x22, "uk_UA.UTF-8"},
    {"VIETNAMESE", 0x2A, "vi_VN.UTF-8"},
}};

const User& UserOf(const std::string& key) {
    const auto* const it =
        std::find_if(kUsers.begin(), kUsers.end(), [&key](const User& u) { return key == u.key; });
    if (it == kUsers.end()) {
        throw std::invalid_argument("no user of " + key);
    }
    return *it;
}

const std::vector<std::string> kDestinationKeys{"ENGLISH", "GERMAN", "FRENCH", "RUSSIAN",
                                                "JAPANESE"};

// Each text of the programs with the data file's texts for it. The program's
// own is in lower case, its ENGLISH entry is not: a user shown the neutral
// copy is told apart from one shown the English copy.
const std::map<std::u16string, std::map<std::string, std::u16string>>& Catalogue() {
    static const std::map<std::u16string, std::map<std::string, std::u16string>> texts = {
        {u"open",
         {{"ENGLISH", u"Open"},
          {"GERMAN", u"Öffnen"},
          {"FRENCH", u"Ouvrir"},
          {"RUSSIAN", u"Открыть"},
          {"JAPANESE", u"開く"}}},
        {u"ready",
         {{"ENGLISH", u"Ready"},
          {"GERMAN", u"Bereit"},
          {"FRENCH", u"Prêt"},
          {"RUSSIAN", u"Готово"},
          {"JAPANESE", u"準備完了"}}},
        {u"&file",
         {{"ENGLISH", u"&File"},
          {"GERMAN", u"&Datei"},
          {"FRENCH", u"&Fichier"},
          {"RUSSIAN", u"&Файл"},
          {"JAPANESE", u"ファイル(&F)"}}},
        {u"e&xit",
         {{"ENGLISH", u"E&xit"},
          {"GERMAN", u"&Beenden"},
          {"FRENCH", u"&Quitter"},
          {"RUSSIAN", u"В&ыход"},
          {"JAPANESE", u"終了(&X)"}}},
    };
    return texts;
}

// A text in `key`'s language; no key: as the program was built.
std::u16string TextIn(const std::u16string& program, const std::string& key) {
    return key.empty() ? program : Catalogue().at(program).at(key);
}

std::string DataFile() {
    std::vector<std::string> lines{"\xEF\xBB\xBF; The texts of the fallback programs"};
    for (const auto& [program, translations] : Catalogue()) {
        lines.emplace_back("(");
        for (const auto& [key, text] : translations) {
            lines.push_back(key + ",\"" + Utf8(text) + "\"");
        }
        lines.emplace_back(")");
    }
    return CrLfLines(lines);
}

struct Variant {
    const char* name;
    std::vector<std::string> destinations;
    std::string fallback; // empty: no --fallback
};

void PrintTo(const Variant& v, std::ostream* os) {
    *os << v.name;
}

const Variant kVariants[] = {
    {"FiveLanguages", kDestinationKeys, ""},
    {"FiveLanguagesFallbackEnglish", kDestinationKeys, "ENGLISH"},
    {"FourLanguagesFallbackRussian", {"GERMAN", "FRENCH", "RUSSIAN", "JAPANESE"}, "RUSSIAN"},
};

// The language a user of `language` gets: their own copy, else the
// fallback's, else the loader's last resort, the first copy of all, which
// is the one with the lowest id.
std::string ExpectedLanguage(const Variant& v, std::uint32_t language) {
    for (const std::string& key : v.destinations) {
        if (UserOf(key).language == language) {
            return key;
        }
    }
    if (!v.fallback.empty()) {
        return v.fallback;
    }
    return *std::min_element(v.destinations.begin(), v.destinations.end(),
                             [](const std::string& a, const std::string& b) {
                                 return UserOf(a).language < UserOf(b).language;
                             });
}

// The key whose texts `shown` is, by what `expected` gives for each key;
// "as built" for the program's own texts, else the output itself.
template <typename Expected>
std::string LanguageShown(const std::string& shown, const Expected& expected) {
    for (const std::string& key : kDestinationKeys) {
        if (shown == expected(key)) {
            return key;
        }
    }
    return shown == expected("") ? "as built" : "[" + shown + "]";
}

test::ProcessResult Translate(const Installed& korva, const Variant& v,
                              std::vector<std::string> options, const std::string& target) {
    if (!v.fallback.empty()) {
        options.push_back("--fallback=" + v.fallback);
    }
    std::string list = "(";
    for (const std::string& key : v.destinations) {
        list += (list.size() > 1 ? "," : "") + key;
    }
    options.insert(options.end(), {"ENGLISH", list + ")", target});
    return korva.Run(options);
}

// Two blocks, so that each block gets its own fallback copy.
const ProgramSources kStrings{
    "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n  1 \"open\"\n  17 \"ready\"\nEND\n", {}, 0};

// What show_strings prints for ids 1 and 17 in `key`'s language.
std::string StringsShown(const std::string& key) {
    std::string out;
    for (const auto& [id, program] : {std::pair{1, u"open"}, std::pair{17, u"ready"}}) {
        out += "string " + std::to_string(id) + ":";
        for (const char16_t unit : TextIn(program, key)) {
            out += " " + Hex(unit, 4);
        }
        out += "\n";
    }
    return out;
}

using Param = std::tuple<Variant, Builder>;

class FallbackProgram : public testing::TestWithParam<Param> {
protected:
    void SetUp() override {
        original_ = BuildProgram(builder(), kStrings);
        target_ = ws_.Copy(original_, "app.exe");
        korva_.WriteDataFile(DataFile());
    }

    static const Variant& variant() { return std::get<0>(GetParam()); }
    static Builder builder() { return std::get<1>(GetParam()); }

    // Every key's user for one builder; for the other, the destinations'
    // users and a few others, which is enough to tell the program apart.
    static std::vector<User> Users() {
        if (builder() == Builder::MingwX64) {
            return {kUsers.begin(), kUsers.end()};
        }
        std::vector<User> users;
        for (const char* key :
             {"ENGLISH", "GERMAN", "FRENCH", "RUSSIAN", "JAPANESE", "SPANISH", "ITALIAN",
              "PORTUGUESE", "CHINESE", "KOREAN", "SERBIAN", "ARABIC"}) {
            users.push_back(UserOf(key));
        }
        return users;
    }

    test::Workspace ws_;
    Installed korva_{ws_};
    std::string original_;
    std::string target_;
};

// The fallback's blocks are written once more under 0x0409, byte for byte;
// the destinations' copies and the console output are those of a run
// without the option.
TEST_P(FallbackProgram, WritesTheFallbackCopiesBesideTheDestinations) {
    const Variant& v = variant();
    const test::ProcessResult run = Translate(korva_, v, {}, target_);
    // Per destination other than the neutral language, 2 texts and the gaps
    // before them, at ids 0 and 16.
    const auto others = static_cast<std::size_t>(
        std::count_if(v.destinations.begin(), v.destinations.end(),
                      [](const std::string& key) { return key != "ENGLISH"; }));
    const std::string found = std::to_string(4 * others);
    EXPECT_EQ(run.output,
              Output({"Translating block #1", "Translating block #2",
                      "Translations found          : " + found, "Source strings missing      : 0",
                      "Translation strings missing : 0", "Finished"}));
    ASSERT_EQ(run.exitCode, 0) << run.output;

    const std::string plain = ws_.Copy(original_, "plain.exe");
    const Variant without{"", v.destinations, ""};
    const test::ProcessResult plainRun = Translate(korva_, without, {}, plain);
    ASSERT_EQ(plainRun.exitCode, 0) << plainRun.output;
    EXPECT_EQ(run.output, plainRun.output);

    StringTables tables = StringTablesOf(Leaves(target_));
    std::set<std::pair<std::uint32_t, std::uint32_t>> expected;
    std::set<std::pair<std::uint32_t, std::uint32_t>> written;
    for (const auto& [key, data] : tables) {
        written.insert(key);
    }
    for (const std::uint32_t block : {1U, 2U}) {
        for (const std::string& key : v.destinations) {
            expected.insert({block, UserOf(key).language});
        }
        if (!v.fallback.empty()) {
            expected.insert({block, 0x0409});
        }
        if (!v.fallback.empty() && written.contains({block, 0x0409})) {
            EXPECT_EQ(tables.at({block, 0x0409}), tables.at({block, UserOf(v.fallback).language}))
                << "block " << block;
            tables.erase({block, 0x0409});
        }
    }
    EXPECT_EQ(written, expected);
    EXPECT_EQ(tables, StringTablesOf(Leaves(plain)));
}

// The text LoadStringW gives the user of every key, against the table the
// rule makes.
TEST_P(FallbackProgram, EachUserGetsTheirLanguageOrTheFallback) {
    const Variant& v = variant();
    const test::ProcessResult run = Translate(korva_, v, {}, target_);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::string table;
    for (const User& user : Users()) {
        const UserLocale locale(user.locale);
        const test::ProcessResult probe =
            test::RunUnderWine(KORVA_WINEPREFIX, target_, {"1", "11"});
        EXPECT_EQ(probe.exitCode, 0) << user.locale;
        const std::string shown = LanguageShown(probe.output, StringsShown);
        EXPECT_EQ(shown, ExpectedLanguage(v, user.language)) << user.locale;
        table += std::string(user.locale) + "=" + shown + " ";
    }
    // The table for the documentation: ctest --output-junit, or the test's
    // --gtest_output=xml.
    RecordProperty("shown", table);
}

INSTANTIATE_TEST_SUITE_P(Toolchains, FallbackProgram,
                         testing::Combine(testing::ValuesIn(kVariants),
                                          testing::Values(Builder::MingwX64, Builder::ClangX64)),
                         [](const auto& instance) {
                             return std::string(std::get<0>(instance.param).name) + "_" +
                                    BuilderName(std::get<1>(instance.param));
                         });

// A text as show_ui prints it.
std::string Quoted(const std::u16string& text) {
    std::string out = "\"";
    for (const char16_t unit : text) {
        out += unit >= 0x20 && unit < 0x7F && unit != '\\' && unit != '"'
                   ? std::string(1, static_cast<char>(unit))
                   : "\\u" + Hex(unit, 4);
    }
    return out + "\"";
}

const ProgramSources kUi{"LANGUAGE 0, 0\n"
                         "STRINGTABLE\nBEGIN\n  1 \"open\"\nEND\n"
                         "101 MENU\nBEGIN\n"
                         "  POPUP \"&file\"\n  BEGIN\n"
                         "    MENUITEM \"open\", 1001\n    MENUITEM \"e&xit\", 1002\n"
                         "  END\nEND\n",
                         {},
                         0,
                         KORVA_E2E_UI_PROGRAM_SOURCE};

// What show_ui prints for the menu and the string in `key`'s language.
std::string UiShown(const std::string& key) {
    return "menu 65\n popup " + Quoted(TextIn(u"&file", key)) + "\n  item 3e9 " +
           Quoted(TextIn(u"open", key)) + "\n  item 3ea " + Quoted(TextIn(u"e&xit", key)) +
           "\nstring 1 " + Quoted(TextIn(u"open", key)) + "\n";
}

// --fallback applies to every resource --resources translates: a Spanish
// user gets the fallback's menu, users of destinations their own.
TEST(FallbackUiProgram, MenusFollowTheStringTables) {
    const std::string original = BuildProgram(Builder::MingwX64, kUi);
    for (const Variant& v : kVariants) {
        const test::Workspace ws;
        const Installed korva(ws);
        korva.WriteDataFile(DataFile());
        const std::string target = ws.Copy(original, "app.exe");
        const test::ProcessResult run = Translate(korva, v, {"--resources=all"}, target);
        ASSERT_EQ(run.exitCode, 0) << v.name << run.output;
        for (const char* key : {"SPANISH", "GERMAN", "ENGLISH"}) {
            const User& user = UserOf(key);
            const UserLocale locale(user.locale);
            const test::ProcessResult probe =
                test::RunUnderWine(KORVA_WINEPREFIX, target, {"menu=65", "string=1"});
            EXPECT_EQ(probe.exitCode, 0);
            EXPECT_EQ(LanguageShown(probe.output, UiShown), ExpectedLanguage(v, user.language))
                << v.name << " " << user.locale;
        }
    }
}

// A fallback the loaders cannot honour is refused before anything is
// written.
TEST(FallbackRefused, ExitsWithoutWriting) {
    const Variant refused[] = {
        {"NotADestination", kDestinationKeys, "SPANISH"},
        {"EnglishTakenByGerman", kDestinationKeys, "GERMAN"},
        {"EnglishNotADestination", {"GERMAN", "FRENCH"}, "ENGLISH"},
    };
    const test::Workspace ws;
    const Installed korva(ws);
    korva.WriteDataFile(DataFile());
    const std::string original = BuildProgram(Builder::MingwX64, kStrings);
    const std::string target = ws.Copy(original, "app.exe");
    for (const Variant& v : refused) {
        const test::ProcessResult run = Translate(korva, v, {}, target);
        EXPECT_EQ(run.exitCode, 2) << v.name;
        EXPECT_NE(run.output.find("--fallback=" + v.fallback + ": "), std::string::npos)
            << v.name << run.output;
        EXPECT_EQ(test::ReadWholeFile(target), test::ReadWholeFile(original)) << v.name;
    }
}

} // namespace
} // namespace korva::e2e
