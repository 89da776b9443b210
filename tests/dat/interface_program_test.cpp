// korva-dat on real programs with a menu and a dialog, built by mingw-w64
// and by clang with llvm-rc and lld-link: where it says each text is used,
// the PO references and flags gettext keeps, the accelerators and widths
// check finds wrong, and check's count against korva's own run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dat_support.h"
#include "support/workspace.h"

namespace korva::dat::test {
namespace {

using e2e::Builder;
using korva::test::ProcessResult;
using korva::test::Workspace;

const std::string kScript = R"(LANGUAGE 0, 0
STRINGTABLE
BEGIN
  1 "%d files of %s"
END
101 MENU
BEGIN
  POPUP "&File"
  BEGIN
    MENUITEM "&Open\tCtrl+O", 1001
    MENUITEM "&Print", 1002
    MENUITEM SEPARATOR
    MENUITEM "E&xit", 1003
  END
  POPUP "&Edit"
  BEGIN
    MENUITEM "&Copy", 1004
  END
END
200 DIALOGEX 0, 0, 200, 100
CAPTION "Options"
FONT 8, "MS Shell Dlg"
BEGIN
  AUTOCHECKBOX "&Save automatically", 1001, 7, 7, 90, 10
  PUSHBUTTON "&Apply", 1002, 7, 30, 40, 14
  PUSHBUTTON "&Cancel", 1003, 50, 30, 40, 14
END
)";

class DatInterface : public testing::TestWithParam<Builder> {};

TEST_P(DatInterface, NamesChecksAndCountsMenusAndDialogsAsKorva) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string program = e2e::BuildProgram(GetParam(), {kScript, {}, 0});
    const std::string dir = ws.path().string();
    ws.Copy(program, "app.exe");

    const ProcessResult extract =
        RunDat({"extract", "--resources=Menus,dialogs", "--resources=strings", "ENGLISH",
                "(ENGLISH,GERMAN)", "app.exe", "-o", "KORVA.DAT"},
               dir);
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    EXPECT_NE(extract.output.find("11 texts (11 uses in 1 blocks and 2 other resources)"),
              std::string::npos)
        << extract.output;
    const std::string extracted = ReadText(dir + "/KORVA.DAT");
    for (const std::string& line : std::vector<std::string>{
             ";@ languages: --resources=strings,menus,dialogs ENGLISH (ENGLISH,GERMAN)\r\n",
             ";@ used in app.exe, menu #101, File\r\n(\r\nENGLISH,\"&File\"\r\n",
             ";@ used in app.exe, menu #101, File > Open\r\n(\r\nENGLISH,\"&Open\\tCtrl+O\"\r\n",
             ";@ used in app.exe, menu #101, Edit > Copy\r\n",
             ";@ used in app.exe, dialog #200, caption\r\n(\r\nENGLISH,\"Options\"\r\n",
             std::string(";@ used in app.exe, dialog #200, control 1001\r\n(\r\n") +
                 "ENGLISH,\"&Save automatically\"\r\n",
         }) {
        EXPECT_NE(extracted.find(line), std::string::npos) << line << "\n" << extracted;
    }

    // The references stay whole through gettext's own tools.
    const ProcessResult po =
        RunDat({"export-po", "KORVA.DAT", "ENGLISH", "GERMAN", "-o", "de.po"}, dir);
    ASSERT_EQ(po.exitCode, 0) << po.output;
    const std::string nbsp = "\xC2\xA0";
    const std::string merged =
        korva::test::RunOrThrow("cd " + korva::test::ShellQuote(dir) +
                                " && msgfmt --check -o /dev/null de.po && msgcat de.po");
    for (const std::string& piece : std::vector<std::string>{
             "#: app.exe:1\n#, c-format\nmsgid \"%d files of %s\"\n",
             "#: app.exe:menu" + nbsp + "#101," + nbsp + "File" + nbsp + ">" + nbsp + "Open\n",
             "#: app.exe:dialog" + nbsp + "#200," + nbsp + "control" + nbsp +
                 "1003\nmsgid "
                 "\"&Cancel\"\n",
         }) {
        EXPECT_NE(merged.find(piece), std::string::npos) << piece << "\n" << merged;
    }

    // A translator's slips: two items of the File popup take one letter,
    // and a check box's text takes the letter of a button and grows past
    // its box.
    std::string slips = Fill(extracted, "ENGLISH", {{"GERMAN", "de "}});
    const auto replace = [&](const std::string& from, const std::string& to) {
        const std::size_t at = slips.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        slips.replace(at, from.size(), to);
    };
    replace("GERMAN,\"de &Print\"", R"(GERMAN,"&\xD6ffentlich drucken")");
    replace(R"(GERMAN,"de &Open\tCtrl+O")", R"(GERMAN,"&\xF6ffnen\tStrg+O")");
    replace("GERMAN,\"de &Save automatically\"",
            "GERMAN,\"&Automatisch speichern, sobald es geht\"");
    korva.WriteDataFile(slips);
    const ProcessResult bad = RunDat({"check", "KORVA.DAT", "app.exe"}, dir);
    EXPECT_EQ(bad.exitCode, 2) << bad.output;
    for (const std::string piece : {
             ": error: GERMAN: app.exe, menu #101: the translations of \"File > Open\" (line ",
             ") and \"File > Print\" take the same accelerator &\xC3\x96, where their sources "
             "take &O and &P\n",
             ": error: GERMAN: app.exe, dialog #200: the translations of \"control 1001\" (line ",
             ") and \"control 1002\" take the same accelerator &A, where their sources take &S "
             "and &A\n",
             ": warning: GERMAN: app.exe, dialog #200, control 1001: the translation likely does "
             "not fit its control: an estimated ",
             "korva-dat check: KORVA.DAT: 2 errors, 1 warning, complete\n",
         }) {
        EXPECT_NE(bad.output.find(piece), std::string::npos) << piece << "\n" << bad.output;
    }

    // Translated with care, check counts what korva, given the command
    // check names, counts.
    korva.WriteDataFile(Fill(extracted, "ENGLISH", {{"GERMAN", "de "}}));
    const ProcessResult check = RunDat({"check", "KORVA.DAT", "app.exe"}, dir);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find("as 'korva --resources=strings,menus,dialogs ENGLISH "
                                "(ENGLISH,GERMAN) app.exe' would count it"),
              std::string::npos)
        << check.output;
    const std::string app = ws.Copy(program, "app.exe");
    const ProcessResult run =
        korva.Run({"--resources=strings,menus,dialogs", "ENGLISH", "(ENGLISH,GERMAN)", app});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(CheckCounters(check), KorvaCounters(run)) << check.output << run.output;

    // A data file of string tables grows the menu's and dialog's texts when
    // update is given --resources, and records it for the commands after.
    ws.Copy(program, "app.exe");
    ASSERT_EQ(RunDat({"extract", "ENGLISH", "(GERMAN)", "app.exe", "-o", "S.DAT"}, dir).exitCode,
              0);
    EXPECT_EQ(RunDat({"update", "--resources=menus,dialogs", "S.DAT", "app.exe"}, dir).output,
              "korva-dat update: S.DAT: kept 1 entries (1 marked unused, 1 of them newly), added "
              "10\nkorva-dat update: the languages line now reads --resources=menus,dialogs "
              "ENGLISH (GERMAN)\n");
    EXPECT_NE(RunDat({"update", "S.DAT", "app.exe"}, dir)
                  .output.find("S.DAT unchanged: kept 11 entries (1 marked unused, 0 of them "
                               "newly), added 0"),
              std::string::npos);
}

// Menus whose bytes are not a menu: check names each with the reader's
// reason, and extract refuses the program as korva would.
TEST(DatInterfaceCheck, NamesEveryResourceKorvaCannotRead) {
    Workspace ws;
    const std::string dir = ws.path().string();
    const std::string script = "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n  1 \"Hello\"\nEND\n"
                               "102 4\nBEGIN\n  0x0000, 0x0000, 0x0010\nEND\n"
                               "103 4\nBEGIN\n  0x0001\nEND\n"
                               // in German too: korva leaves it alone, unread
                               "LANGUAGE 7, 1\n105 4\nBEGIN\n  0x0001\nEND\n"
                               "LANGUAGE 0, 0\n105 4\nBEGIN\n  0x0001\nEND\n";
    ws.Copy(e2e::BuildProgram(Builder::ClangX64, {script, {}, 0}), "app.exe");
    WriteText(dir + "/K.DAT", "(\r\nENGLISH,\"Hello\"\r\nGERMAN,\"Hallo\"\r\n)\r\n");
    const ProcessResult check = RunDat(
        {"check", "--resources=strings,menus", "K.DAT", "ENGLISH", "(GERMAN)", "app.exe"}, dir);
    EXPECT_EQ(check.exitCode, 2) << check.output;
    const std::string untouched =
        "; korva cannot read it, so it fails the whole run (exit code 2) and leaves app.exe "
        "untouched\n";
    for (const std::string& piece : std::vector<std::string>{
             "app.exe: error: menu #102: ",
             "app.exe: error: menu #103: ",
             untouched,
             "  korva would stop with: app.exe: menu #102: ",
             "korva-dat check: K.DAT: 2 errors, incomplete\n",
         }) {
        EXPECT_NE(check.output.find(piece), std::string::npos) << piece << "\n" << check.output;
    }
    EXPECT_EQ(check.output.find("menu #105"), std::string::npos) << check.output;
    // Without --resources the menus are not korva's business.
    EXPECT_EQ(RunDat({"check", "K.DAT", "ENGLISH", "(GERMAN)", "app.exe"}, dir).exitCode, 0);
    const ProcessResult extract =
        RunDat({"extract", "--resources=menus", "ENGLISH", "(GERMAN)", "app.exe"}, dir);
    EXPECT_EQ(extract.exitCode, 2);
    EXPECT_TRUE(extract.output.starts_with("korva-dat extract: app.exe: menu #102: "))
        << extract.output;
}

INSTANTIATE_TEST_SUITE_P(Builders, DatInterface,
                         testing::Values(Builder::MingwX64, Builder::ClangX64),
                         [](const auto& instance) { return e2e::BuilderName(instance.param); });

} // namespace
} // namespace korva::dat::test
