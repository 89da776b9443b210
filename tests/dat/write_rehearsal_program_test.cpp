// A program whose resources korva cannot write back: check finds it before
// korva runs, by running korva's write as far as the replacement of the
// file, and says what korva would; korva names the resource.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dat_support.h"
#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "support/workspace.h"

namespace korva::dat::test {
namespace {

using e2e::Builder;
using korva::test::ProcessResult;
using korva::test::Workspace;

std::string Menu(const std::string& item) {
    return "LANGUAGE 0, 0\n1 MENU\nBEGIN\n  MENUITEM \"" + item + "\", 100\nEND\n";
}

struct Layout {
    const char* what;
    std::string secondScript; // linked beside the first
    int exitCode;             // of check and of korva alike
    std::string why;          // korva's reason, empty when it writes
};

// Two resource scripts that hold the same menu, as two .rc files of one
// project may: GNU ld warns of a duplicate leaf and links both copies, and
// the program runs. Nothing korva translates is concerned, so only its
// write finds them, after every counter.
TEST(DatCheck, RunsKorvasWriteAndFailsWhereKorvaWould) {
    const std::string duplicate = "laying out resources: resource directory lists type #4 "
                                  "(menu), name #1, language 0x0000 twice";
    const Layout layouts[] = {
        {"one menu", "", 0, ""},
        {"the same menu in both scripts", Menu("Other"), 2, duplicate},
    };
    for (const Layout& layout : layouts) {
        Workspace ws;
        const e2e::Installed korva(ws);
        const std::string dir = ws.path().string();
        e2e::ProgramSources sources{
            StringTableScript({{1, u"Open"}, {2, u"Close"}}, Menu("Mine")), {}, 0};
        sources.secondRcScript = layout.secondScript;
        const std::string program = e2e::BuildProgram(Builder::MingwX64, sources);
        const std::string app = ws.Copy(program, "app.exe");
        const ProcessResult extract =
            RunDat({"extract", "ENGLISH", "(ENGLISH,GERMAN)", "app.exe", "-o", "x.dat"}, dir);
        ASSERT_EQ(extract.exitCode, 0) << extract.output;
        korva.WriteDataFile(Fill(ReadText(dir + "/x.dat"), "ENGLISH", {{"GERMAN", "de "}}));
        const auto listing = ws.Listing();

        const ProcessResult check = RunDat({"check", "KORVA.DAT", "app.exe"}, dir);
        EXPECT_EQ(check.exitCode, layout.exitCode) << layout.what << "\n" << check.output;
        EXPECT_EQ(ws.Listing(), listing) << layout.what << ": check wrote a file";
        EXPECT_EQ(ReadText(app), ReadText(program)) << layout.what;
        const ProcessResult run = korva.Run({"ENGLISH", "(ENGLISH,GERMAN)", app});
        EXPECT_EQ(run.exitCode, layout.exitCode) << layout.what << "\n" << run.output;
        EXPECT_EQ(CheckCounters(check), KorvaCounters(run)) << layout.what << "\n"
                                                            << check.output << run.output;
        if (layout.why.empty()) {
            EXPECT_EQ(check.output.find(": error:"), std::string::npos) << check.output;
            continue;
        }
        EXPECT_NE(run.output.find("Error writing to file " + app + "\r\n" + layout.why + "\r\n"),
                  std::string::npos)
            << run.output;
        EXPECT_EQ(ReadText(app), ReadText(program)) << layout.what << ": korva wrote it";
        for (const std::string& line :
             {"app.exe: error: " + layout.why + "; korva cannot write the program",
              "  korva would then stop with: Error writing to file app.exe: " + layout.why +
                  "; exit code 2\n",
              std::string("korva-dat check: KORVA.DAT: 1 error, incomplete\n")}) {
            EXPECT_NE(check.output.find(line), std::string::npos) << line << "\n" << check.output;
        }
    }
}

} // namespace
} // namespace korva::dat::test
