#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/settings.h"
#include "langkeys/lang_const.h"
#include "strtables/string_tables.h"

namespace korva {
namespace {

struct Expected {
    bool ok;
    std::vector<int> dest = {}; // DestLangs up to DestLangCount, when checked
    int neutral = -2;           // -2: not checked
    std::string prog = "";
};

struct Case {
    std::vector<std::string> args;
    Expected expected;
};

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        ResetLangSelection();
    }
    void TearDown() override { SetUp(); }
};

void Check(const Case& c) {
    ResetSettings();
    ResetLangSelection();
    std::string joined;
    for (const auto& a : c.args) {
        joined += "[" + a + "]";
    }
    SCOPED_TRACE(joined);
    ASSERT_EQ(ParseCommandLine(c.args), c.expected.ok);
    if (!c.expected.ok) {
        return;
    }
    ASSERT_EQ(DestLangCount, static_cast<int>(c.expected.dest.size()));
    for (std::size_t i = 0; i < c.expected.dest.size(); ++i) {
        EXPECT_EQ(DestLangs[i], c.expected.dest[i]);
    }
    if (c.expected.neutral != -2) {
        EXPECT_EQ(NeutralLangIndex, c.expected.neutral);
    }
    EXPECT_EQ(ProgFileName, c.expected.prog);
}

TEST_F(CommandLine, PositionalArgumentsAndDestinationLists) {
    const std::vector<Case> cases = {
        {{"ENGLISH", "(ENGLISH,FRENCH,GERMAN)", "Project1.exe"},
         {true, {12, 17, 18}, 12, "Project1.exe"}},
        {{"english", "(german,English)", "a.dll"}, {true, {12, 18}, 12, "a.dll"}},
        {{"ENGLISH", "(ENGLISH)", "t.exe"}, {true, {12}, 12, "t.exe"}},
        {{"GERMAN", "(CROATIAN,SERBIAN)", "-x"}, {true, {8, 34}, 18, "-x"}},
        {{}, {false}},
        {{"ENGLISH"}, {false}},
        {{"ENGLISH", "(GERMAN)"}, {false}},
        {{"ENGLISH", "(GERMAN)", "a.exe", "extra"}, {false}},
        {{"KLINGON", "(GERMAN)", "a.exe"}, {false}},
        {{"ENGLISH", "GERMAN", "a.exe"}, {false}},
        {{"ENGLISH", "(GERMAN", "a.exe"}, {false}},
        {{"ENGLISH", "GERMAN)", "a.exe"}, {false}},
        {{"ENGLISH", "(", "a.exe"}, {false}},
        {{"ENGLISH", ")", "a.exe"}, {false}},
        {{"ENGLISH", "()", "a.exe"}, {false}},
        {{"ENGLISH", "(GERMAN,,FRENCH)", "a.exe"}, {false}},
        {{"ENGLISH", "(,GERMAN)", "a.exe"}, {false}},
        {{"ENGLISH", "(GERMAN,)", "a.exe"}, {false}},
        {{"ENGLISH", "(GERMAN, FRENCH)", "a.exe"}, {false}},
        {{"ENGLISH", "(GERMAN,", "FRENCH)", "a.exe"}, {false}},
        {{"ENGLISH", "(GERMAN,german)", "a.exe"}, {false}},
        {{"ENGLISH", "-Q", "(GERMAN)", "a.exe"}, {false}},
        {{"ENGLISH", "(GERMAN)", "-Q", "a.exe"}, {false}},
    };
    for (const Case& c : cases) {
        Check(c);
    }
}

TEST_F(CommandLine, OptionForms) {
    const std::vector<std::string> tail = {"ENGLISH", "(GERMAN)", "a.exe"};
    const auto with = [&](std::vector<std::string> options) {
        options.insert(options.end(), tail.begin(), tail.end());
        return options;
    };
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"-"}, {"-Qx"}, {"-AP"}, {"-PP"}, {"-D"}, {"-d"}, {"-Z"}, {"-1"}, {"--"}}) {
        ResetSettings();
        ResetLangSelection();
        EXPECT_FALSE(ParseCommandLine(with(bad))) << bad[0];
    }

    ASSERT_TRUE(ParseCommandLine(with({"-P", "-Q"})));
    EXPECT_TRUE(WritePlaceholders);
    EXPECT_TRUE(QuietMode);
    EXPECT_FALSE(AbortOnMissing);
    EXPECT_EQ(DataFileName, "KORVA.DAT");

    ResetSettings();
    ResetLangSelection();
    ASSERT_TRUE(ParseCommandLine(with({"-q", "-a", "-dfirst.dat", "-Dsub/My File.dat"})));
    EXPECT_TRUE(QuietMode);
    EXPECT_TRUE(AbortOnMissing);
    EXPECT_FALSE(WritePlaceholders);
    EXPECT_EQ(DataFileName, "sub/My File.dat"); // the last -D wins, unchanged
}

TEST_F(CommandLine, OrigNeutralLanguageValues) {
    struct OCase {
        std::vector<std::string> options;
        std::uint16_t expected;
    };
    const std::vector<OCase> cases = {
        {{"-O"}, 0},
        {{"-OGERMAN"}, 7},
        {{"-oenglish"}, 9},
        {{"-O1031"}, 0x0407},
        {{"-O$409"}, 0x0409},
        {{"-O0x409"}, 0x0409},
        {{"-O0X40a"}, 0x040A},
        {{"-Ox409"}, 0x0409},
        {{"-OX409"}, 0x0409},
        {{"-O+12"}, 12},
        {{"-O   12"}, 12},
        {{"-O65545"}, 9},             // low 16 bits
        {{"-O2147483647"}, 0xFFFF},   // largest accepted
        {{"-O7", "-O2147483648"}, 7}, // above the signed range: ignored
        {{"-O7", "-O-1"}, 7},
        {{"-O7", "-Onone"}, 7},
        {{"-O7", "-O"}, 7},
        {{"-O7", "-O12 "}, 7},  // a trailing blank is a stray character
        {{"-O7", "-O-$10"}, 7}, // no sign before a hexadecimal number
        {{"-O7", "-O0x"}, 7},
        {{"-O7", "-O$"}, 7},
        {{"-O7", "-O1f"}, 7},
        {{"-O7", "-O-0"}, 0},
        {{"-O7", "-O99999999999999999999"}, 7},
        {{"-Oen-US"}, 0x0409}, // a tag names the full id
        {{"-Ozh-TW"}, 0x0404},
        {{"-Osr_latn_rs"}, 0x241A},
        {{"-Oen"}, 0x0009},
        {{"-O7", "-Oen-US "}, 7}, // no trimming for tags either
        {{"-O7", "-Oes-ES_tradnl"}, 7},
    };
    for (const OCase& c : cases) {
        ResetSettings();
        ResetLangSelection();
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"ENGLISH", "(GERMAN)", "a.exe"});
        ASSERT_TRUE(ParseCommandLine(args)) << c.options.back();
        EXPECT_EQ(OrigNeutralLangId, c.expected) << c.options.back();
    }
}

TEST_F(CommandLine, ResourceListsAddUpAndBadOnesSayWhy) {
    struct ResCase {
        std::vector<std::string> options;
        std::string kinds;   // Words() of the set chosen; empty: refused
        std::string mistake; // the line said when refused
    };
    const std::vector<ResCase> cases = {
        {{}, "strings", ""},
        {{"--resources=strings"}, "strings", ""},
        {{"--resources=MENUS,Dialogs"}, "menus,dialogs", ""},
        {{"--resources=menus", "--resources=version"}, "menus,version", ""},
        {{"--resources=menus,menus"}, "menus", ""},
        {{"--resources=all,strings"}, "strings,menus,dialogs,version,messages", ""},
        {{"-Q", "--resources=messages", "-P"}, "messages", ""},
        {{"--resources="}, "", "--resources: the list of resource types is empty"},
        {{"--resources=menus,"}, "", "--resources: an empty word in the list"},
        {{"--resources=menu"}, "", "--resources: unknown resource type \"menu\""},
        {{"--resources"}, "", "--resources takes a list"},
        {{"--fallback=GERMAN"}, "strings", ""},
        {{"--fallback=german", "--resources=menus"}, "menus", ""},
        {{"--fallback=FRENCH"}, "", "--fallback=FRENCH: FRENCH is not one of the destinations"},
        {{"--fallback=DEUTSCH"}, "", "--fallback: \"DEUTSCH\" is not a language key or tag"},
        {{"--fallbacks=GERMAN"}, "", "unknown option --fallbacks (see korva --help)"},
    };
    for (const ResCase& c : cases) {
        ResetSettings();
        ResetLangSelection();
        ResetResBlocks();
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"ENGLISH", "(GERMAN)", "a.exe"});
        std::string mistake;
        const bool ok = ParseCommandLine(args, &mistake);
        SCOPED_TRACE(args.front());
        ASSERT_EQ(ok, !c.kinds.empty()) << mistake;
        if (ok) {
            EXPECT_EQ(ChosenResources.Words(), c.kinds);
            EXPECT_EQ(mistake, "");
        } else {
            EXPECT_EQ(mistake.rfind(c.mistake, 0), 0U) << mistake;
        }
    }
    // With ENGLISH among the destinations, the copy every other user gets is
    // also the US English users' copy: only ENGLISH may be the fallback.
    for (const auto& [key, ok] : {std::pair{"GERMAN", false}, std::pair{"ENGLISH", true}}) {
        ResetSettings();
        ResetLangSelection();
        std::string mistake;
        EXPECT_EQ(ParseCommandLine(
                      {"--fallback=" + std::string(key), "ENGLISH", "(ENGLISH,GERMAN)", "a.exe"},
                      &mistake),
                  ok)
            << key;
        EXPECT_EQ(mistake.find("ENGLISH is a destination") != std::string::npos, !ok) << mistake;
        EXPECT_EQ(FallbackLangIndex, FindLangKey(key));
    }
    ResetResBlocks();
}

TEST_F(CommandLine, DataAndOutputTakePathsOnce) {
    const std::vector<std::string> tail = {"ENGLISH", "(GERMAN)", "a.exe"};
    const auto parse = [&](std::vector<std::string> options, std::string& mistake) {
        ResetSettings();
        ResetLangSelection();
        mistake.clear();
        options.insert(options.end(), tail.begin(), tail.end());
        return ParseCommandLine(options, &mistake);
    };
    std::string mistake;
    ASSERT_TRUE(parse({"--data=../po/My Data.dat", "-q", "--output=out/a.exe"}, mistake));
    EXPECT_EQ(DataFileName, "../po/My Data.dat"); // unchanged, blanks and all
    EXPECT_TRUE(DataFileIsPath);
    EXPECT_EQ(OutputFileName, "out/a.exe");
    EXPECT_TRUE(QuietMode);
    EXPECT_EQ(ProgFileName, "a.exe");
    // An '=' in the value belongs to it.
    ASSERT_TRUE(parse({"--output=x=y.exe"}, mistake));
    EXPECT_EQ(OutputFileName, "x=y.exe");
    // -D keeps its meaning: a name in korva's directory.
    ASSERT_TRUE(parse({"-Dsub/x.dat"}, mistake));
    EXPECT_EQ(DataFileName, "sub/x.dat");
    EXPECT_FALSE(DataFileIsPath);
    EXPECT_EQ(OutputFileName, "");
    // Either order of -D and --data is refused, as is either given twice
    // (-D twice stays the last one's).
    for (const auto& options : std::vector<std::vector<std::string>>{{"-Da.dat", "--data=b.dat"},
                                                                     {"--data=b.dat", "-Da.dat"}}) {
        EXPECT_FALSE(parse(options, mistake)) << options[0];
        EXPECT_EQ(mistake, "-D and --data both name the data file: give one of them");
    }
    ASSERT_TRUE(parse({"-Da.dat", "-Db.dat"}, mistake));
    EXPECT_EQ(DataFileName, "b.dat");
}

// One line that names the argument and what is wrong, for each way a
// command line goes wrong; none for no arguments at all.
TEST_F(CommandLine, EachMistakeIsNamedInOneLine) {
    struct Mistake {
        std::vector<std::string> args;
        std::string line;
    };
    const std::vector<Mistake> cases = {
        {{}, ""},
        {{"-Q"}, "NeutralLang, DestLang and ProgFileName are missing"},
        {{"ENGLISH"}, "DestLang and ProgFileName are missing"},
        {{"ENGLISH", "(GERMAN)"}, "ProgFileName is missing"},
        {{"ENGLISH", "(GERMAN)", "a.exe", "b.exe"},
         "too many arguments: 'b.exe' follows ProgFileName a.exe"},
        {{"ENGLISH", "(GERMAN)", "-Q", "a.exe"},
         "too many arguments: 'a.exe' follows ProgFileName -Q (options come before NeutralLang)"},
        {{"KLINGON", "(GERMAN)", "a.exe"}, "NeutralLang: 'KLINGON' is not a language key or tag"},
        {{"(GERMAN)", "a.exe"}, "NeutralLang is missing before the destination list (GERMAN)"},
        // A blank after a comma, unquoted: the shell makes two arguments.
        {{"ENGLISH", "(GERMAN,", "FRENCH)", "a.exe"},
         "DestLang: the list is split into several arguments, '(GERMAN,' 'FRENCH)': it is one "
         "argument, without blanks (quote it in a script)"},
        // CMake makes separate arguments of parentheses in a command.
        {{"ENGLISH", "(", "GERMAN,FRENCH", ")", "a.exe"},
         "DestLang: the list is split into several arguments, '(' 'GERMAN,FRENCH' ')': it is one "
         "argument, without blanks (quote it in a script)"},
        {{"ENGLISH", "(GERMAN, FRENCH)", "a.exe"},
         "DestLang: '(GERMAN, FRENCH)' holds a blank; the list takes none"},
        {{"ENGLISH", "GERMAN,FRENCH", "a.exe"},
         "DestLang: 'GERMAN,FRENCH' is not in parentheses: write (GERMAN,FRENCH)"},
        {{"ENGLISH", "(GERMAN", "a.exe"},
         "DestLang: '(GERMAN' is no destination list: it is written (KEY,KEY,...), without "
         "blanks"},
        {{"ENGLISH", "(GERMAN,KLINGON)", "a.exe"},
         "DestLang: 'KLINGON' is not a language key or tag"},
        {{"ENGLISH", "(GERMAN,german)", "a.exe"},
         "DestLang: GERMAN is named twice in (GERMAN,german)"},
        {{"ENGLISH", "(GERMAN,,FRENCH)", "a.exe"}, "DestLang: an empty item in (GERMAN,,FRENCH)"},
        {{"ENGLISH", "()", "a.exe"}, "DestLang: an empty item in ()"},
        {{"ENGLISH", "-Q", "(GERMAN)", "a.exe"},
         "DestLang: -Q is an option, and options come before NeutralLang"},
        {{"-Z", "ENGLISH", "(GERMAN)", "a.exe"}, "unknown option -Z (see korva --help)"},
        {{"-", "ENGLISH", "(GERMAN)", "a.exe"}, "a lone - is no option"},
        {{"-Qx", "ENGLISH", "(GERMAN)", "a.exe"}, "-Qx: -Q takes no value"},
        {{"-d", "ENGLISH", "(GERMAN)", "a.exe"}, "-d takes a file name: -D<filename>"},
        {{"--data", "ENGLISH", "(GERMAN)", "a.exe"}, "--data takes a path: --data=PATH"},
        {{"--data=", "ENGLISH", "(GERMAN)", "a.exe"}, "--data takes a path: --data=PATH"},
        {{"--data=a", "--data=b", "ENGLISH", "(GERMAN)", "a.exe"},
         "--data is given twice: give one data file"},
        {{"--output", "ENGLISH", "(GERMAN)", "a.exe"}, "--output takes a path: --output=PATH"},
        {{"--output=a", "--output=b", "ENGLISH", "(GERMAN)", "a.exe"},
         "--output is given twice: give one output file"},
        {{"--outputs=a", "ENGLISH", "(GERMAN)", "a.exe"},
         "unknown option --outputs (see korva --help)"},
    };
    for (const Mistake& c : cases) {
        ResetSettings();
        ResetLangSelection();
        std::string mistake;
        EXPECT_FALSE(ParseCommandLine(c.args, &mistake));
        EXPECT_EQ(mistake, c.line) << (c.args.empty() ? "(none)" : c.args[0]);
    }
}

} // namespace
} // namespace korva
