// Regional languages under Wine: destinations named by language tags, each
// written under its full id, the first region of a language also under the
// language's own id for the users of its other regions; and a program built
// the usual way, with its texts in US English, taken with -Oen-US.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "e2e/user_locale.h"
#include "support/process.h"
#include "support/wine.h"
#include "support/workspace.h"

namespace korva::e2e {
namespace {

// The program's "open" in each language of the data file; the program's own
// is lower case, so that a user shown it is told apart from one shown the
// English copy.
const std::map<std::string, std::u16string>& Texts() {
    static const std::map<std::string, std::u16string> texts = {
        {"ENGLISH", u"Open"},    {"GERMAN", u"Öffnen"}, {"zh-CN", u"打开"},
        {"zh-TW", u"開啟"},      {"pt-BR", u"Abrir"},   {"sr-Latn-RS", u"Otvori"},
        {"hr-HR", u"Otvaranje"},
    };
    return texts;
}

// One entry; the program's "open" finds it, letter case aside.
std::string DataFile() {
    std::vector<std::string> lines{"("};
    for (const auto& [language, text] : Texts()) {
        lines.push_back(language + ",\"" + Utf8(text) + "\"");
    }
    lines.emplace_back(")");
    return CrLfLines(lines);
}

struct Case {
    const char* name;
    const char* rc; // the program's string table
    std::vector<std::string> args;
    std::set<std::uint32_t> written;          // the language ids of block 1 afterwards
    std::map<std::string, std::string> shown; // user locale -> language shown
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

const char* const kNeutral = "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n  1 \"open\"\nEND\n";
// Neither resource compiler is told a language: both write US English.
const char* const kUsual = "STRINGTABLE\nBEGIN\n  1 \"open\"\nEND\n";

const std::vector<std::string> kRegions{"ENGLISH", "(GERMAN,zh-CN,zh-TW,pt-BR,sr-Latn-RS,hr-HR)"};

const Case kCases[] = {
    {"Regions",
     kNeutral,
     kRegions,
     {0x0007, 0x0804, 0x0004, 0x0404, 0x0416, 0x0016, 0x241A, 0x041A},
     {{"de_DE.UTF-8", "GERMAN"},
      {"zh_CN.UTF-8", "zh-CN"},
      {"zh_TW.UTF-8", "zh-TW"},
      {"zh_HK.UTF-8", "zh-CN"}, // the first Chinese region listed
      {"pt_BR.UTF-8", "pt-BR"},
      {"pt_PT.UTF-8", "pt-BR"},
      {"sr_RS.UTF-8@latin", "sr-Latn-RS"},
      {"hr_HR.UTF-8", "hr-HR"},
      // The loader's last resort, the lowest id: Chinese under 0x0004.
      {"es_ES.UTF-8", "zh-CN"},
      {"en_US.UTF-8", "zh-CN"}}},
    {"RegionsFallbackGerman",
     kNeutral,
     {"--fallback=GERMAN", kRegions[0], kRegions[1]},
     {0x0007, 0x0409, 0x0804, 0x0004, 0x0404, 0x0416, 0x0016, 0x241A, 0x041A},
     {{"de_DE.UTF-8", "GERMAN"},
      {"zh_HK.UTF-8", "zh-CN"},
      {"pt_PT.UTF-8", "pt-BR"},
      {"hr_HR.UTF-8", "hr-HR"},
      {"es_ES.UTF-8", "GERMAN"},
      {"en_US.UTF-8", "GERMAN"}}},
    {"BuiltTheUsualWay",
     kUsual,
     {"-Oen-US", "--fallback=ENGLISH", "ENGLISH", "(ENGLISH,GERMAN,pt-BR)"},
     {0x0009, 0x0409, 0x0007, 0x0416, 0x0016},
     {{"en_US.UTF-8", "ENGLISH"},
      {"en_GB.UTF-8", "ENGLISH"},
      {"de_DE.UTF-8", "GERMAN"},
      {"pt_PT.UTF-8", "pt-BR"},
      {"es_ES.UTF-8", "ENGLISH"},
      {"zh_TW.UTF-8", "ENGLISH"}}},
};

// The language whose text show_strings printed for string 1.
std::string LanguageShown(const std::string& output) {
    for (const auto& [language, text] : Texts()) {
        std::string expected = "string 1:";
        for (const char16_t unit : text) {
            expected += " " + Hex(unit, 4);
        }
        if (output == expected + "\n") {
            return language;
        }
    }
    return "[" + output + "]";
}

using Param = std::tuple<Case, Builder>;

class RegionalProgram : public testing::TestWithParam<Param> {};

TEST_P(RegionalProgram, EachUserGetsTheirRegionOrTheirLanguage) {
    const auto& [c, builder] = GetParam();
    const test::Workspace ws;
    const Installed korva(ws);
    korva.WriteDataFile("\xEF\xBB\xBF" + DataFile());
    const std::string target = ws.Copy(BuildProgram(builder, {c.rc, {}, 0}), "app.exe");
    std::vector<std::string> args = c.args;
    args.push_back(target);
    const test::ProcessResult run = korva.Run(args);
    ASSERT_EQ(run.exitCode, 0) << run.output;

    std::set<std::uint32_t> written;
    for (const auto& [key, data] : StringTablesOf(Leaves(target))) {
        EXPECT_EQ(key.first, 1U);
        written.insert(key.second);
    }
    EXPECT_EQ(written, c.written);

    for (const auto& [locale, language] : c.shown) {
        const UserLocale user(locale.c_str());
        const test::ProcessResult probe = test::RunUnderWine(KORVA_WINEPREFIX, target, {"1"});
        EXPECT_EQ(probe.exitCode, 0) << locale;
        EXPECT_EQ(LanguageShown(probe.output), language) << locale;
    }
}

INSTANTIATE_TEST_SUITE_P(Toolchains, RegionalProgram,
                         testing::Combine(testing::ValuesIn(kCases),
                                          testing::Values(Builder::MingwX64, Builder::ClangX64)),
                         [](const auto& instance) {
                             return std::string(std::get<0>(instance.param).name) + "_" +
                                    BuilderName(std::get<1>(instance.param));
                         });

} // namespace
} // namespace korva::e2e
