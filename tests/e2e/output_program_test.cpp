// korva as a build step: the data file by any path (--data), the translated
// program in a file of its own (--output) while the program it reads is left
// exactly as it was, the same result from the same command run again, the
// program itself as its own output, and no output from a run that fails.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
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

// Block 1: a gap, Open, Save.
const char* const kScript = R"RC(
LANGUAGE 0, 0
STRINGTABLE
BEGIN
  1 "Open"
  2 "Save"
END
)RC";

const std::string kData = CrLfLines({"(", "ENGLISH,\"Open\"", "GERMAN,\"Oeffnen\"", ")", "(",
                                     "ENGLISH,\"Save\"", "GERMAN,\"Speichern\"", ")"});
// Save has no German text.
const std::string kHalf = CrLfLines({"(", "ENGLISH,\"Open\"", "GERMAN,\"Oeffnen\"", ")"});

const std::vector<std::string> kStatistics{"Translations found          : 3",
                                           "Source strings missing      : 0",
                                           "Translation strings missing : 0"};

std::string Program() {
    return BuildProgram(Builder::ClangX64, {kScript, {}});
}

void Write(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    ASSERT_TRUE(out.flush()) << path;
}

std::vector<std::string> With(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// What would show that a file was written, renamed over or changed in any
// way: its inode, size, mode and times of change.
struct FileState {
    ino_t inode = 0;
    off_t size = 0;
    mode_t mode = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileState& o) const {
        return inode == o.inode && size == o.size && mode == o.mode &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

FileState StateOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return {info.st_ino, info.st_size, info.st_mode, info.st_mtim, info.st_ctim};
}

unsigned Mode(const fs::path& path) {
    return StateOf(path).mode & 07777;
}

// The translated program's German block, or none.
bool HasGerman(const fs::path& path) {
    return StringTablesOf(Leaves(path.string())).count({1, 0x07}) == 1;
}

bool IsRoot() {
    return ::geteuid() == 0;
}

// korva in a workspace of its own without a data file beside it, and the
// program it translates, app.exe; runs in the workspace, as nobody when the
// tests run as root, so that permissions bite.
class OutputFile : public testing::Test {
protected:
    void SetUp() override {
        input_ = ws_.Copy(Program(), "app.exe");
        Write(ws_.path() / "x.dat", kData);
    }

    test::ProcessResult Run(const std::vector<std::string>& args,
                            const std::string& where = "") const {
        const std::string nobody =
            IsRoot() ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
        return korva_.Run(args, "cd " + test::ShellQuote((ws_.path() / where).string()) +
                                    " && umask 077 && " + nobody);
    }

    test::Workspace ws_;
    Installed korva_{ws_};
    std::string input_;
};

// The input is only read: a file korva may not write is translated into a
// new one, which takes its permissions (and may be written by its owner, so
// that the next run can replace it), whatever the umask says.
TEST_F(OutputFile, GoesToANewFileAndTheInputStaysAsItWas) {
    fs::permissions(input_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    fs::last_write_time(input_, fs::last_write_time(input_) - std::chrono::hours(24));
    const Bytes before = test::ReadWholeFile(input_);
    const FileState state = StateOf(input_);

    const test::ProcessResult run =
        Run({"-Q", "--data=x.dat", "--output=app.de.exe", "ENGLISH", "(GERMAN)", "app.exe"});
    EXPECT_EQ(run.output, Output(With(kStatistics, {"Finished"})));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(test::ReadWholeFile(input_), before);
    EXPECT_TRUE(StateOf(input_) == state) << "the input was written, replaced or touched";
    EXPECT_TRUE(HasGerman(ws_.path() / "app.de.exe"));
    EXPECT_EQ(Mode(ws_.path() / "app.de.exe"), 0755u);
    EXPECT_EQ(ws_.Listing(), (std::set<std::string>{"app.de.exe", "app.exe", "korva", "x.dat"}));
}

// The same command twice: the same lines, exit code and output file, as the
// input did not change; also when the translation is incomplete.
TEST_F(OutputFile, RunAgainGivesTheSameResult) {
    struct Again {
        std::string data;
        int exitCode;
    };
    for (const Again& again : {Again{kData, 0}, Again{kHalf, 1}}) {
        Write(ws_.path() / "x.dat", again.data);
        const std::vector<std::string> args = {"--data=x.dat", "--output=out.exe", "ENGLISH",
                                               "(GERMAN)", "app.exe"};
        const test::ProcessResult first = Run(args);
        const Bytes made = test::ReadWholeFile((ws_.path() / "out.exe").string());
        const test::ProcessResult second = Run(args);
        EXPECT_EQ(first.exitCode, again.exitCode) << first.output;
        EXPECT_EQ(second.exitCode, first.exitCode);
        EXPECT_EQ(second.output, first.output);
        EXPECT_EQ(test::ReadWholeFile((ws_.path() / "out.exe").string()), made);
        EXPECT_FALSE(HasGerman(input_));
        fs::remove(ws_.path() / "out.exe");
    }
}

// Absolute, or relative to the working directory, which here is not the
// one korva or the data file are in.
TEST_F(OutputFile, TheDataFileIsFoundByAnyPath) {
    fs::create_directory(ws_.path() / "build");
    fs::permissions(ws_.path() / "build", fs::perms::all);
    for (const std::string& data : {(ws_.path() / "x.dat").string(), std::string("../x.dat")}) {
        const test::ProcessResult run =
            Run({"-Q", "--data=" + data, "--output=app.exe", "ENGLISH", "(GERMAN)", "../app.exe"},
                "build");
        EXPECT_EQ(run.exitCode, 0) << data << "\n" << run.output;
        EXPECT_TRUE(HasGerman(ws_.path() / "build" / "app.exe")) << data;
        fs::remove(ws_.path() / "build" / "app.exe");
    }
    EXPECT_FALSE(HasGerman(input_));
}

// A file at the output path is replaced as korva replaces its target: a new
// file with the old one's mode, or, where it may not be written, nothing.
TEST_F(OutputFile, AnExistingOutputIsReplacedAsATargetIs) {
    const fs::path out = ws_.path() / "out.exe";
    constexpr fs::perms kWritable = fs::perms::owner_read | fs::perms::owner_write;
    for (const fs::perms mode : {kWritable, fs::perms::owner_read}) {
        Write(out, "an older build");
        // Owned by the user korva runs as: another's could not be given back.
        if (IsRoot()) {
            ASSERT_EQ(::chown(out.c_str(), 65534, 65534), 0);
        }
        fs::permissions(out, mode);
        const FileState old = StateOf(out);
        const test::ProcessResult run =
            Run({"-Q", "--data=x.dat", "--output=out.exe", "ENGLISH", "(GERMAN)", "app.exe"});
        EXPECT_EQ(fs::status(out).permissions(), mode);
        if (mode == kWritable) {
            EXPECT_EQ(run.exitCode, 0) << run.output;
            EXPECT_TRUE(HasGerman(out));
            EXPECT_NE(StateOf(out).inode, old.inode) << "not replaced as a whole";
        } else {
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_EQ(run.output,
                      Output(With(kStatistics, {"Error writing to file out.exe",
                                                "cannot open out.exe for writing: Permission "
                                                "denied"})));
            EXPECT_TRUE(StateOf(out) == old);
        }
        fs::remove(out);
    }
    EXPECT_FALSE(HasGerman(input_));
}

// The program named again, in another spelling or through a link: a run in
// place, as without --output. A hard link's other name keeps the old file,
// as it does in any run in place.
struct SameProgram {
    const char* name;
    const char* output; // "{}" stands for the workspace
    const char* link;   // a link made to app.exe under this name: "symbolic:" or "hard:"
};

const SameProgram kSamePrograms[] = {
    {"DotSlash", "./app.exe", ""},
    {"Absolute", "{}/app.exe", ""},
    {"SymbolicLink", "link.exe", "symbolic:link.exe"},
    {"HardLink", "other.exe", "hard:other.exe"},
};

void PrintTo(const SameProgram& c, std::ostream* os) {
    *os << c.name;
}

class InPlace : public OutputFile, public testing::WithParamInterface<SameProgram> {};

TEST_P(InPlace, WhenTheOutputIsTheProgramItself) {
    const SameProgram& c = GetParam();
    // Rewritten in place, it must belong to the user korva runs as.
    if (IsRoot()) {
        ASSERT_EQ(::chown(input_.c_str(), 65534, 65534), 0);
    }
    const std::string link = c.link;
    if (link.starts_with("symbolic:")) {
        fs::create_symlink("app.exe", ws_.path() / link.substr(9));
    } else if (link.starts_with("hard:")) {
        fs::create_hard_link(input_, ws_.path() / link.substr(5));
    }
    const Bytes before = test::ReadWholeFile(input_);
    std::string output = c.output;
    if (const std::size_t at = output.find("{}"); at != std::string::npos) {
        output.replace(at, 2, ws_.path().string());
    }
    const std::set<std::string> files = ws_.Listing();
    const test::ProcessResult run =
        Run({"-Q", "--data=x.dat", "--output=" + output, "ENGLISH", "(GERMAN)", "app.exe"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(HasGerman(input_));
    EXPECT_EQ(ws_.Listing(), files);
    if (link.starts_with("symbolic:")) {
        EXPECT_TRUE(fs::is_symlink(ws_.path() / link.substr(9)));
    } else if (link.starts_with("hard:")) {
        EXPECT_EQ(test::ReadWholeFile((ws_.path() / link.substr(5)).string()), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Spellings, InPlace, testing::ValuesIn(kSamePrograms),
                         [](const auto& instance) { return std::string(instance.param.name); });

// A run that fails or aborts writes no output: none is made, and one that
// was there stays as it was.
TEST_F(OutputFile, ARunThatEndsWithoutATranslationWritesNothing) {
    struct Failing {
        std::string data;
        std::vector<std::string> options;
        std::string last; // korva's last line
    };
    const std::vector<Failing> cases = {
        {kHalf, {"-A", "--data=x.dat"}, "Translation incomplete. Abort."},
        {CrLfLines({"(", "ENGLISH,\"Quit\"", "GERMAN,\"Beenden\"", ")"}),
         {"--data=x.dat"},
         "Nothing translated. Abort."},
        {kData, {"--data=missing.dat"}, "not found at " + (ws_.path() / "missing.dat").string()},
    };
    const fs::path kept = ws_.path() / "kept.exe";
    fs::copy_file(input_, kept);
    fs::permissions(kept, fs::perms::all);
    const FileState keptState = StateOf(kept);
    for (const Failing& c : cases) {
        Write(ws_.path() / "x.dat", c.data);
        for (const char* output : {"new.exe", "kept.exe"}) {
            const test::ProcessResult run =
                Run(With(c.options, {"-Q", std::string("--output=") + output, "ENGLISH", "(GERMAN)",
                                     "app.exe"}));
            EXPECT_EQ(run.exitCode, 2) << c.last;
            EXPECT_TRUE(run.output.ends_with(c.last + "\r\n")) << run.output;
        }
        EXPECT_FALSE(fs::exists(ws_.path() / "new.exe")) << c.last;
        EXPECT_TRUE(StateOf(kept) == keptState) << c.last;
    }
    EXPECT_FALSE(HasGerman(input_));
}

} // namespace
} // namespace korva::e2e
