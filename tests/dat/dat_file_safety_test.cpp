// korva-dat's writes are as safe as korva's: a data file it rewrites is
// held locked from its reading to its replacement and is not replaced when
// another program changed it meanwhile; a read-only one is left alone; a
// new file appears whole or not at all; names that a data file cannot hold
// are refused; a closed pipe does not kill it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <string>
#include <vector>

#include "dat_support.h"
#include "support/workspace.h"

namespace korva::dat::test {
namespace {

using e2e::Builder;
using korva::test::ShellQuote;
using korva::test::Workspace;

// A shell command line: the environment `prefix`, then korva-dat with `args`.
std::string DatCommand(const std::vector<std::string>& args, const std::string& prefix = {}) {
    std::string command = prefix + ShellQuote(KORVA_DAT_BIN);
    for (const std::string& arg : args) {
        command += ' ' + ShellQuote(arg);
    }
    return command;
}

ProcessResult Shell(const std::string& dir, const std::string& command) {
    return korva::test::RunProgram("sh",
                                   {"-c", "cd " + ShellQuote(dir) + " || exit 99; " + command});
}

// Loaded into korva-dat, the open shim stands in for another program at
// one moment of the run (see tests/e2e/open_shim.cpp).
std::string Shim(const std::string& what, const std::string& target) {
    return "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" + ShellQuote(KORVA_OPEN_SHIM) +
           " KORVA_SHIM=" + ShellQuote(what) + " KORVA_SHIM_TARGET=" + ShellQuote(target) + " ";
}

std::string Po(const std::string& language, const std::string& translation) {
    return "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
           "\"X-Korva-Neutral: ENGLISH\\n\"\n\"X-Korva-Language: " +
           language + "\\n\"\n\nmsgid \"Open\"\nmsgstr \"" + translation + "\"\n";
}

class DatFileSafety : public testing::Test {
protected:
    void SetUp() override {
        const std::string rc = "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n  1 \"Open\"\nEND\n";
        ws_.Copy(e2e::BuildProgram(Builder::MingwX64, {rc, {}, 0}), "app.exe");
        const ProcessResult extract =
            RunDat({"extract", "ENGLISH", "(FRENCH,GERMAN)", "app.exe", "-o", "KORVA.DAT"}, dir_);
        ASSERT_EQ(extract.exitCode, 0) << extract.output;
        WriteText(dir_ + "/de.po", Po("GERMAN", "Öffnen"));
        WriteText(dir_ + "/fr.po", Po("FRENCH", "Ouvrir"));
        data_ = ReadText(dir_ + "/KORVA.DAT");
    }

    Workspace ws_;
    const std::string dir_ = ws_.path().string();
    std::string data_;
};

// Two imports at once, the first slowed down while it reads: the second
// waits for the first and then reads its result, so both translations stay.
TEST_F(DatFileSafety, TwoWritersTakeTurns) {
    const std::string first =
        DatCommand({"import-po", "KORVA.DAT", "de.po"}, Shim("pause-at-data", dir_ + "/KORVA.DAT"));
    const ProcessResult both =
        Shell(dir_, "( " + first + " >first.txt 2>&1; echo $? >>first.txt ) & " + "sleep 0.3; " +
                        DatCommand({"import-po", "KORVA.DAT", "fr.po"}) + " 2>&1; wait");
    EXPECT_EQ(both.exitCode, 0) << both.output;
    const std::string first_output = ReadText(dir_ + "/first.txt");
    EXPECT_NE(first_output.find("1 imported"), std::string::npos) << first_output;
    const std::string data = ReadText(dir_ + "/KORVA.DAT");
    EXPECT_NE(data.find("\r\nGERMAN,\"Öffnen\"\r\n"), std::string::npos) << data;
    EXPECT_NE(data.find("\r\nFRENCH,\"Ouvrir\"\r\n"), std::string::npos) << data;
}

struct Refused {
    const char* name;
    std::vector<std::string> args;
    std::string shim; // KORVA_SHIM for the data file, or empty
    int exitCode;
    std::string message; // in the output
    std::set<std::string> files;
};

const std::set<std::string> kFiles{"KORVA.DAT", "app.exe", "de.po", "fr.po"};

// Each leaves the data file as it was (or as the other program made it)
// and adds no file.
TEST_F(DatFileSafety, WritesThatWouldLoseWorkAreRefused) {
    const std::vector<Refused> rows = {
        // An editor saved the file while korva-dat read it.
        {"ChangedWhileRead",
         {"import-po", "KORVA.DAT", "de.po"},
         "overwrite-at-data",
         2,
         "KORVA.DAT was changed by another program during the run",
         kFiles},
        {"ChangedWhileUpdated",
         {"update", "--resources=all", "KORVA.DAT", "app.exe"},
         "overwrite-at-data",
         2,
         "KORVA.DAT was changed by another program during the run",
         kFiles},
        // Killed while the new file is written: it never appears, even
        // empty.
        {"KilledBeforeANewFileIsWhole",
         {"export-po", "KORVA.DAT", "ENGLISH", "GERMAN", "-o", "de-new.po"},
         "signal-at-tmpfile:" + std::to_string(SIGKILL),
         128 + SIGKILL,
         "",
         kFiles},
        {"InterruptedBeforeANewFileIsWhole",
         {"extract", "ENGLISH", "(GERMAN)", "app.exe", "-o", "new.dat"},
         "signal-at-named:" + std::to_string(SIGTERM),
         2,
         "",
         kFiles},
    };
    for (const Refused& row : rows) {
        SCOPED_TRACE(row.name);
        WriteText(dir_ + "/KORVA.DAT", data_);
        const ProcessResult run =
            Shell(dir_, DatCommand(row.args, Shim(row.shim, dir_ + "/KORVA.DAT")) + " 2>&1");
        EXPECT_EQ(run.exitCode, row.exitCode) << run.output;
        EXPECT_NE(run.output.find(row.message), std::string::npos) << run.output;
        EXPECT_EQ(ws_.Listing(), row.files);
        const std::string after = ReadText(dir_ + "/KORVA.DAT");
        EXPECT_TRUE(after == data_ || after.substr(0x40, 4) == "KORV") << after;
    }
}

// Made read-only by its owner, in a directory that stays writable.
TEST_F(DatFileSafety, AReadOnlyDataFileIsLeftAlone) {
    // Root may write to any file: the files go to another user, who runs it.
    std::string asOwner;
    if (::geteuid() == 0) {
        ASSERT_EQ(Shell(dir_, "chown -R 65534:65534 .").exitCode, 0);
        asOwner = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    ASSERT_EQ(Shell(dir_, "chmod 0444 KORVA.DAT").exitCode, 0);
    WriteText(dir_ + "/de2.po", Po("GERMAN", "Auf"));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"import-po", "KORVA.DAT", "de2.po"},
          std::vector<std::string>{"update", "--resources=all", "KORVA.DAT", "app.exe"}}) {
        const ProcessResult run = Shell(dir_, DatCommand(args, asOwner) + " 2>&1");
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_NE(run.output.find("cannot open KORVA.DAT for writing"), std::string::npos)
            << run.output;
        EXPECT_EQ(ReadText(dir_ + "/KORVA.DAT"), data_);
    }
}

// A name with a line break would end a comment of the data file and start a
// line korva reads; a Ctrl-Z would end the file for korva.
TEST_F(DatFileSafety, ProgramNamesADataFileCannotHoldAreRefused) {
    for (const std::string name : {"a\nb.exe", "a\rb.exe",
                                   "a\x1A"
                                   "b.exe"}) {
        ws_.Copy(dir_ + "/app.exe", name);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"extract", "ENGLISH", "(GERMAN)", name, "-o", "new.dat"},
              std::vector<std::string>{"update", "KORVA.DAT", name}}) {
            const ProcessResult run = RunDat(args, dir_);
            EXPECT_EQ(run.exitCode, 2) << run.output;
            EXPECT_NE(run.output.find("holds a line break or Ctrl-Z"), std::string::npos)
                << run.output;
        }
        EXPECT_EQ(ReadText(dir_ + "/KORVA.DAT"), data_);
        EXPECT_FALSE(ws_.Listing().contains("new.dat"));
    }
}

// Piped into a program that has stopped reading, korva-dat is not killed
// by SIGPIPE: it says it could not write and exits with 2. It is slowed
// down while it reads the data file, so the reader is gone by then.
TEST_F(DatFileSafety, AClosedPipeEndsTheRunWithAReason) {
    const std::string dat = DatCommand({"export-po", "KORVA.DAT", "ENGLISH", "GERMAN"},
                                       Shim("pause-at-data", dir_ + "/KORVA.DAT"));
    const ProcessResult run = korva::test::RunProgram(
        "bash", {"-c", "cd " + ShellQuote(dir_) + " && " + dat +
                           " 2>err.txt | true; echo status=${PIPESTATUS[0]}"});
    EXPECT_EQ(run.output, "status=2\n");
    EXPECT_NE(ReadText(dir_ + "/err.txt").find("cannot write to standard output"),
              std::string::npos);
}

} // namespace
} // namespace korva::dat::test
