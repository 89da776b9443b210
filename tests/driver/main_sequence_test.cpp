#include "driver/main_sequence.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/process.h"

namespace korva {
namespace {

const std::string kHead = "KORVA 1.0 - string table translator\r\n\r\n";

const std::string kUsage =
    "Syntax:  KORVA [Options] NeutralLang (DestLang[,DestLang[,...]]) ProgFileName\r\n"
    "\r\n"
    "Options: -Q Quiet mode\r\n"
    "         -A Abort if source or destination string missing\r\n"
    "         -P Write placeholders (\"###\") where translation not found\r\n"
    "         -D<filename> Specify data file to use instead of KORVA.DAT\r\n"
    "         -O<lang> Original neutral language to search instead of LANG_NEUTRAL\r\n"
    "\r\n"
    "Language Keys:       AFRIKAANS  ALBANIAN  ARABIC     BASQUE     BELARUSIAN\r\n"
    "BULGARIAN  CATALAN   CHINESE    CROATIAN  CZECH      DANISH     DUTCH\r\n"
    "ENGLISH    ESTONIAN  FAEROESE   FARSI     FINNISH    FRENCH     GERMAN\r\n"
    "GREEK      HEBREW    HUNGARIAN  ICELANDIC INDONESIAN ITALIAN    JAPANESE\r\n"
    "KOREAN     LATVIAN   LITHUANIAN NORWEGIAN POLISH     PORTUGUESE ROMANIAN\r\n"
    "RUSSIAN    SERBIAN   SLOVAK     SLOVENIAN SPANISH    SWEDISH    THAI\r\n"
    "TURKISH    UKRAINIAN VIETNAMESE\r\n"
    "\r\n"
    "NeutralLang specifies of which language neutral resource strings are.\r\n"
    "Normally this is equal to the language of the resource strings when you\r\n"
    "don't change them with this tool.\r\n"
    "\r\n"
    "DestLang is a list of all languages supposed to be written into the\r\n"
    "program file. Don't place blanks into that list.\r\n"
    "\r\n"
    "Example: KORVA -P -Q ENGLISH (ENGLISH,FRENCH,GERMAN) Project1.exe\r\n";

// The line that names the mistake comes between the banner and the usage
// text, which stays as it is; no arguments at all ask for the usage alone.
TEST(MainSequence, BadCommandLinesPrintTheUsageTextAndExit2) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, ""},
        {{"-Q"}, "NeutralLang, DestLang and ProgFileName are missing\r\n"},
        {{"-Q", "-P"}, "NeutralLang, DestLang and ProgFileName are missing\r\n"},
        {{"ENGLISH", "(GERMAN)"}, "ProgFileName is missing\r\n"},
        {{"X", "(GERMAN)", "a.exe"}, "NeutralLang: 'X' is not a language key or tag\r\n"},
        {{"--data=a.dat", "-Db.dat", "ENGLISH", "(GERMAN)", "a.exe"},
         "-D and --data both name the data file: give one of them\r\n"},
    };
    for (const auto& [args, mistake] : cases) {
        std::ostringstream out;
        EXPECT_EQ(RunKorva(args, out), 2);
        EXPECT_EQ(out.str(), kHead + mistake + kUsage);
    }
}

TEST(MainSequence, AWrongLongOptionIsNamedBeforeTheUsageTextAndHelpAnswers) {
    std::ostringstream out;
    EXPECT_EQ(RunKorva({"--resources=menus,icons", "ENGLISH", "(GERMAN)", "a.exe"}, out), 2);
    EXPECT_EQ(out.str(), kHead +
                             "--resources: unknown resource type \"icons\" (strings, menus, "
                             "dialogs, version, messages or all)\r\n" +
                             kUsage);
    std::ostringstream help;
    EXPECT_EQ(RunKorva({"-Q", "--help"}, help), 0);
    EXPECT_EQ(help.str().rfind(kHead + kUsage, 0), 0U);
    for (const char* option : {"--resources=LIST  ", "--data=PATH       ", "--output=PATH     "}) {
        EXPECT_NE(help.str().find("\r\n  " + std::string(option)), std::string::npos) << option;
    }
}

TEST(MainSequence, UsageGridListsTheKeysInColumns) {
    // Columns start at these offsets on the key lines; no line has a trailing blank.
    std::istringstream lines(kUsage);
    std::string line;
    int row = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        EXPECT_TRUE(line.empty() || line.back() != ' ') << line;
        if (++row < 9 || row > 15) {
            continue;
        }
        for (const std::size_t column : {11u, 21u, 32u, 42u, 53u, 64u}) {
            if (column < line.size() && (row != 9 || column > 21)) { // the label spans two
                EXPECT_NE(line[column], ' ') << line;
                EXPECT_EQ(line[column - 1], ' ') << line;
            }
        }
    }
    EXPECT_EQ(row, 24);
}

TEST(MainSequence, ValidCommandLineReachesTheReadStage) {
    std::ostringstream out;
    EXPECT_EQ(RunKorva({"-Q", "ENGLISH", "(GERMAN)", "no such file.dll"}, out), 2);
    EXPECT_EQ(out.str(), kHead + "Error reading resource strings from file no such file.dll\r\n");
}

TEST(KorvaBinary, ExitCodesAndOutputOfTheBuiltProgram) {
    const std::string korva = test::KorvaBinary();
    auto r = test::RunProgram(korva, {});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.output, kHead + kUsage);

    r = test::RunProgram(korva, {"-Q", "-A"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.output, kHead + "NeutralLang, DestLang and ProgFileName are missing\r\n" + kUsage);

    // The list split at a blank, as a shell splits it unquoted.
    r = test::RunProgram(korva, {"ENGLISH", "(GERMAN,", "FRENCH)", "a.exe"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.output, kHead +
                            "DestLang: the list is split into several arguments, '(GERMAN,' "
                            "'FRENCH)': it is one argument, without blanks (quote it in a "
                            "script)\r\n" +
                            kUsage);

    // Empty arguments are dropped, as the Windows run-time drops "".
    r = test::RunProgram(korva, {"", "ENGLISH", "", "(GERMAN)", "missing.dll", ""});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.output, kHead + "Error reading resource strings from file missing.dll\r\n");
}

} // namespace
} // namespace korva
