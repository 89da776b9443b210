// What the built korva does to the file it rewrites beyond its content: it
// keeps what the file system knows of it, leaves alone a file another program
// changes during the run, leaves no temporary file behind when interrupted,
// takes turns with a second run, and carries on when its output is cut off.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "support/fixtures.h"
#include "support/process.h"
#include "support/workspace.h"

namespace korva::e2e {
namespace {

namespace fs = std::filesystem;

const char* const kScript = R"RC(
LANGUAGE 0, 0
STRINGTABLE
BEGIN
  1 "Open"
  2 "Save"
END
)RC";

const std::string kData =
    CrLfLines({"(", "ENGLISH,\"Open\"", "GERMAN,\"Oeffnen\"", "FRENCH,\"Ouvrir\"", ")", "(",
               "ENGLISH,\"Save\"", "GERMAN,\"Speichern\"", "FRENCH,\"Enregistrer\"", ")"});

std::string Program() {
    return BuildProgram(Builder::ClangX64, {kScript, {}});
}

// A shell command's standard output, for the system's own tools.
std::string Shell(const std::string& command) {
    return test::RunProgram("/bin/sh", {"-c", command + " 2>&1"}).output;
}

bool IsRoot() {
    return ::geteuid() == 0;
}

// korva with the open shim, which disturbs the run at one moment.
std::string ShimPrefix(const std::string& what, const std::string& target) {
    return "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" + test::ShellQuote(KORVA_OPEN_SHIM) +
           " KORVA_SHIM=" + test::ShellQuote(what) +
           " KORVA_SHIM_TARGET=" + test::ShellQuote(target) + " ";
}

class FileSafety : public testing::Test {
protected:
    void SetUp() override {
        korva_.WriteDataFile(kData);
        target_ = ws_.Copy(Program(), "app.exe");
    }

    std::set<std::string> Listing() const { return ws_.Listing(); }

    test::Workspace ws_;
    Installed korva_{ws_};
    std::string target_;
};

const std::set<std::string> kFiles{"KORVA.DAT", "app.exe", "korva"};

// Owner, group, mode, a POSIX ACL, extended attributes of every namespace
// (Samba's Windows ACL and DOS attributes among them) and a file flag, read
// back with the system's own tools.
TEST_F(FileSafety, TheNewFileKeepsWhatTheFileSystemKnowsOfTheOld) {
    if (!IsRoot()) {
        GTEST_SKIP() << "setting trusted and security attributes needs root";
    }
    const std::string q = test::ShellQuote(target_);
    const std::string set =
        "chown 65534:65534 " + q + " && chmod 640 " + q + " && setfacl -m u:daemon:rw-,g::r-x " +
        q + " && setfattr -n user.DOSATTRIB -v 0x20 " + q + " && setfattr -n trusted.t -v 1 " + q +
        " && setfattr -n security.NTACL -v 0x0102 " + q + " && chattr +d " + q + " && echo set";
    if (Shell(set).find("set") == std::string::npos) {
        GTEST_SKIP() << "this file system keeps no ACLs, attributes or flags: " << Shell(set);
    }
    const std::string look = "stat -c '%u:%g:%a' " + q + "; getfacl -cp " + q +
                             "; getfattr -d -m - -e hex " + q + " | sort; lsattr " + q;
    const std::string before = Shell(look);
    const std::string inode = Shell("stat -c %i " + q);

    const test::ProcessResult run = korva_.Run({"ENGLISH", "(GERMAN)", target_});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(Shell("stat -c %i " + q), inode) << "the file was not replaced";
    EXPECT_EQ(Shell(look), before);
    EXPECT_EQ(Listing(), kFiles);
}

// A member of the owning group may write the file but not give a new one to
// its owner: the run fails and says why rather than take the file over.
TEST_F(FileSafety, AFileItCannotGiveBackToItsOwnerIsLeftAlone) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root to make a file of another user";
    }
    fs::permissions(ws_.path(), fs::perms::all);
    const std::string q = test::ShellQuote(target_);
    Shell("chown 0:65534 " + q + " && chmod 664 " + q);
    const Bytes before = test::ReadWholeFile(target_);
    const test::ProcessResult run = korva_.Run(
        {"ENGLISH", "(GERMAN)", target_}, "setpriv --reuid=65534 --regid=65534 --clear-groups ");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("cannot give the new " + target_ +
                              " the owner and group of the old one: Operation not permitted"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(test::ReadWholeFile(target_), before);
    EXPECT_EQ(Shell("stat -c %u:%g " + q), "0:65534\n");
    EXPECT_EQ(Listing(), kFiles);
}

// Another program changes the target at one exact moment of the run.
struct Disturbance {
    const char* name;
    const char* shim;
    const char* line; // what korva says about it
};

const Disturbance kDisturbances[] = {
    // After it was locked, before it is read: what is there cannot be read.
    {"CutShortBeforeReading", "truncate-at-data", "Error reading resource strings from file"},
    // The same, but readable: the run finds the file changed since it was
    // locked when it would replace it.
    {"OverwrittenBeforeReading", "overwrite-at-data",
     "was changed by another program during the run"},
    // While its pieces are copied from the mapped file.
    {"CutShortWhileCopied", "truncate-at-replace",
     "was cut short by another program while it was read; it was left as it is"},
};

class ChangedTarget : public FileSafety, public testing::WithParamInterface<Disturbance> {};

TEST_P(ChangedTarget, IsNotReplaced) {
    const Disturbance& d = GetParam();
    const test::ProcessResult run =
        korva_.Run({"ENGLISH", "(GERMAN,FRENCH)", target_}, ShimPrefix(d.shim, target_));
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find(d.line), std::string::npos) << run.output;
    EXPECT_EQ(Listing(), kFiles);
    // What the other program made of the file stays.
    const Bytes after = test::ReadWholeFile(target_);
    EXPECT_TRUE(after.size() == 1000 ||
                std::string(after.begin() + 0x40, after.begin() + 0x44) == "KORV");
}

INSTANTIATE_TEST_SUITE_P(Runs, ChangedTarget, testing::ValuesIn(kDisturbances),
                         [](const auto& instance) { return std::string(instance.param.name); });

// Where the file system has no unnamed files, the temporary file has a
// name; an interruption then removes it and ends the run with exit code 2.
TEST_F(FileSafety, AnInterruptedRunLeavesNoTemporaryFile) {
    const Bytes before = test::ReadWholeFile(target_);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const test::ProcessResult run =
            korva_.Run({"ENGLISH", "(GERMAN)", target_},
                       ShimPrefix("signal-at-named:" + std::to_string(signal), target_));
        EXPECT_EQ(run.exitCode, 2) << signal;
        EXPECT_EQ(Listing(), kFiles) << signal;
        EXPECT_EQ(test::ReadWholeFile(target_), before) << signal;
    }
    // Uninterrupted, the named file is used and renamed.
    const test::ProcessResult run =
        korva_.Run({"ENGLISH", "(GERMAN)", target_}, ShimPrefix("no-tmpfile", target_));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Listing(), kFiles);
}

// Two runs on one file at once: the second waits for the first and then
// sees its result, so neither update is lost without a word.
TEST_F(FileSafety, TwoRunsOnOneFileTakeTurns) {
    const std::string first = "( " + ShimPrefix("pause-at-data", target_) +
                              test::ShellQuote((ws_.path() / "korva").string()) +
                              " ENGLISH '(GERMAN)' " + test::ShellQuote(target_) +
                              " >/dev/null ) & sleep 0.3; ";
    const test::ProcessResult both = korva_.Run({"ENGLISH", "(FRENCH)", target_}, first);
    // The first run translated; the second found every block translated.
    EXPECT_NE(both.output.find("Block #1 is already language dependent. Skipped"),
              std::string::npos)
        << both.output;
    EXPECT_EQ(both.exitCode, 2);
    const StringTables tables = StringTablesOf(Leaves(target_));
    EXPECT_EQ(tables.count({1, 0x07}), 1u);
    EXPECT_EQ(tables.count({1, 0x0C}), 0u);
}

// Names the system has limits for, a console that stops reading, and a data
// file that is not a file.
TEST_F(FileSafety, LongNamesClosedOutputAndADataFileThatIsNoFile) {
    const std::string korva = test::ShellQuote((ws_.path() / "korva").string());
    // A name of 250 bytes, whose temporary name must not be longer.
    const std::string longName = std::string(246, 'n') + ".exe";
    fs::copy_file(target_, ws_.path() / longName);
    const test::ProcessResult named =
        korva_.Run({"-Q", "ENGLISH", "(GERMAN)", longName},
                   "cd " + test::ShellQuote(ws_.path().string()) + " && ");
    EXPECT_EQ(named.exitCode, 0) << named.output;
    EXPECT_EQ(StringTablesOf(Leaves((ws_.path() / longName).string())).count({1, 0x07}), 1u);
    fs::remove(ws_.path() / longName);

    // A reader that takes one line: the run goes on, and its exit code is
    // what it would have been.
    const test::ProcessResult piped = test::RunProgram(
        "/bin/bash", {"-c", korva + " ENGLISH '(GERMAN)' " + test::ShellQuote(target_) +
                                " | head -1 >/dev/null; echo ${PIPESTATUS[0]}"});
    EXPECT_EQ(piped.output, "0\n");
    EXPECT_EQ(StringTablesOf(Leaves(target_)).count({1, 0x07}), 1u);

    // A target whose full path is longer than PATH_MAX, named from near it:
    // the test walks down one directory at a time, as no shell can.
    const int home = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::chdir(ws_.path().c_str()), 0);
    const std::string level(240, 'd');
    for (int depth = 0; depth < 18; ++depth) {
        ASSERT_TRUE(fs::create_directory(level) && ::chdir(level.c_str()) == 0) << depth;
    }
    fs::copy_file(Program(), "app.exe");
    const test::ProcessResult far = korva_.Run({"-Q", "ENGLISH", "(FRENCH)", "app.exe"});
    EXPECT_EQ(far.exitCode, 0) << far.output;
    EXPECT_EQ(StringTablesOf(Leaves("app.exe")).count({1, 0x0C}), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
    ASSERT_EQ(::fchdir(home), 0);
    ::close(home);
    Shell("cd " + test::ShellQuote(ws_.path().string()) + " && rm -rf " + level);

    // A FIFO as the data file: nobody writes it, and nothing waits for it.
    fs::remove(ws_.path() / "KORVA.DAT");
    ASSERT_EQ(::mkfifo((ws_.path() / "KORVA.DAT").c_str(), 0600), 0);
    const test::ProcessResult fifo =
        korva_.Run({"ENGLISH", "(FRENCH)", ws_.Copy(Program(), "other.exe")}, "timeout 20 ");
    EXPECT_EQ(fifo.exitCode, 2);
    EXPECT_NE(fifo.output.find("Error reading KORVA.DAT"), std::string::npos) << fifo.output;
}

} // namespace
} // namespace korva::e2e
