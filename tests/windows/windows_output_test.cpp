// korva.exe as a build step on Windows: the data file by any path Windows
// has (relative, up and down, on the current drive, on another drive, in
// the long form), the translated program in a file of its own while the
// program it reads stays as it was, even held open by another program or
// read-only, and the program itself as its own output. The oracle is the
// file a run in place makes of a copy of the same program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "windows/windows_support.h"

namespace korva::windows_test {
namespace {

namespace fs = std::filesystem;

// target.rc's texts in German, ÄRGER spelt in lower case; Ä is C4, ä E4.
const std::string kGerman = "(\r\nENGLISH,\"Open\"\r\nGERMAN,\"Auf\"\r\n)\r\n"
                            "(\r\nENGLISH,\"\xE4rger\"\r\nGERMAN,\"\xC4rger\"\r\n)\r\n"
                            "(\r\nENGLISH,\"Price\"\r\nGERMAN,\"Preis\"\r\n)\r\n"
                            "(\r\nENGLISH,\"Quit\"\r\nGERMAN,\"Beenden\"\r\n)\r\n";

const std::string kFinished = "KORVA 1.0 - string table translator\r\n\r\n"
                              "Translations found          : 5\r\n"
                              "Source strings missing      : 0\r\n"
                              "Translation strings missing : 0\r\n"
                              "Finished\r\n";

FILETIME LastWrite(const fs::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
    return data.ftLastWriteTime;
}

bool Same(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// korva.exe without a data file beside it, de.dat and the program in a
// workspace, and what a run in place makes of the program.
class OutputInstalled : public testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(FullPath(KORVA_EXE), ws_.path() / L"korva.exe");
        fs::copy_file(FullPath(KORVA_WINDOWS_TARGET), program_);
        WriteBytes(ws_.path() / L"de.dat", kGerman);
        fs::copy_file(program_, ws_.path() / L"reference.exe");
        const Outcome inPlace = Korva({L"-Q", L"-Dde.dat", L"ENGLISH", L"(GERMAN)",
                                       (ws_.path() / L"reference.exe").native()});
        ASSERT_EQ(inPlace.exitCode, 0u) << inPlace.output;
        reference_ = ReadBytes(ws_.path() / L"reference.exe");
        fs::remove(ws_.path() / L"reference.exe");
    }

    Outcome Korva(const std::vector<std::wstring>& args) const {
        return RunProgram((ws_.path() / L"korva.exe").native(), args, ws_.path().native());
    }

    Workspace ws_;
    const fs::path program_ = ws_.path() / L"program.exe";
    std::vector<std::uint8_t> reference_;
};

// Where a data file lies: in the workspace, korva's directory and the
// working directory; beside the built test program, which Wine reaches
// under Z: while the workspace is on C:; or on a share, named by server.
enum class Where { Workspace, OtherDrive, Share };

// One way to name the data file from where it lies.
struct DataPath {
    const char* name;
    friend void PrintTo(const DataPath& d, std::ostream* os) { *os << d.name; }
    std::wstring (*argument)(const fs::path& data);
    Where where;
};

// The share \\localhost\korva-tests, or nothing where there is none. Wine
// finds \\server\share in its prefix as dosdevices/unc/server/share, which
// is made here; on Windows, a directory must be shared under that name.
fs::path Share() {
    const fs::path share = L"\\\\localhost\\korva-tests";
    if (const char* prefix = std::getenv("WINEPREFIX")) {
        std::error_code ignored;
        fs::create_directories(fs::path(FullPath(prefix)) / L"dosdevices" / L"unc" / L"localhost" /
                                   L"korva-tests",
                               ignored);
    }
    std::error_code missing;
    return fs::is_directory(share, missing) ? share : fs::path();
}

std::wstring Slashed(std::wstring path) {
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

const DataPath kDataPaths[] = {
    {"Relative", [](const fs::path& d) { return d.filename().native(); }, Where::Workspace},
    {"UpAndDown",
     [](const fs::path& d) {
         return L"..\\" + d.parent_path().filename().native() + L"\\" + d.filename().native();
     },
     Where::Workspace},
    {"DriveRelative",
     [](const fs::path& d) { return d.native().substr(0, 2) + d.filename().native(); },
     Where::Workspace},
    {"Absolute", [](const fs::path& d) { return d.native(); }, Where::Workspace},
    {"ForwardSlashes", [](const fs::path& d) { return Slashed(d.native()); }, Where::Workspace},
    {"LongForm", [](const fs::path& d) { return L"\\\\?\\" + d.native(); }, Where::Workspace},
    {"OtherDrive", [](const fs::path& d) { return d.native(); }, Where::OtherDrive},
    {"Unc", [](const fs::path& d) { return d.native(); }, Where::Share},
    {"UncLongForm", [](const fs::path& d) { return L"\\\\?\\UNC\\" + d.native().substr(2); },
     Where::Share},
};

class DataAnywhere : public OutputInstalled, public testing::WithParamInterface<DataPath> {};

TEST_P(DataAnywhere, IsReadAndTheProgramIsLeftAlone) {
    const DataPath& d = GetParam();
    fs::path data = ws_.path() / L"de.dat";
    if (d.where != Where::Workspace) {
        const fs::path elsewhere = d.where == Where::Share
                                       ? Share()
                                       : fs::path(FullPath(KORVA_WINDOWS_TARGET)).parent_path();
        if (elsewhere.empty()) {
            GTEST_SKIP() << "no share \\\\localhost\\korva-tests";
        }
        std::random_device random;
        data = elsewhere / (L"de-" + std::to_wstring(random()) + L".dat");
        WriteBytes(data, kGerman);
    }
    const auto before = ReadBytes(program_);
    const Outcome run = Korva({L"-Q", L"--data=" + d.argument(data), L"--output=out.exe",
                               L"ENGLISH", L"(GERMAN)", program_.filename().native()});
    if (d.where != Where::Workspace) {
        fs::remove(data);
    }
    EXPECT_EQ(run.output, kFinished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(ReadBytes(ws_.path() / L"out.exe"), reference_);
    EXPECT_EQ(ReadBytes(program_), before);
}

INSTANTIATE_TEST_SUITE_P(Paths, DataAnywhere, testing::ValuesIn(kDataPaths),
                         [](const auto& instance) { return std::string(instance.param.name); });

// Read-only and held open by another program that lets others only read:
// a run in place could not write it, a run with --output never asks to,
// and gives the same file and lines when run again.
TEST_F(OutputInstalled, AProgramThatCannotBeWrittenIsTranslatedIntoAnother) {
    ASSERT_TRUE(SetFileAttributesW(program_.c_str(), FILE_ATTRIBUTE_READONLY));
    const auto before = ReadBytes(program_);
    const FILETIME written = LastWrite(program_);
    HANDLE held = CreateFileW(program_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::vector<std::wstring> args = {L"-Q",      L"--data=de.dat", L"--output=out.exe",
                                            L"ENGLISH", L"(GERMAN)",      program_.native()};
    const Outcome first = Korva(args);
    const auto made = ReadBytes(ws_.path() / L"out.exe");
    const Outcome second = Korva(args);
    CloseHandle(held);
    SetFileAttributesW(program_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(first.output, kFinished);
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_EQ(second.output, first.output);
    EXPECT_EQ(second.exitCode, first.exitCode);
    EXPECT_EQ(made, reference_);
    EXPECT_EQ(ReadBytes(ws_.path() / L"out.exe"), reference_);
    EXPECT_EQ(ReadBytes(program_), before);
    EXPECT_TRUE(Same(LastWrite(program_), written));
}

// The program named again in another spelling is translated in place; a
// run that aborts writes no output.
TEST_F(OutputInstalled, TheProgramItselfIsRewrittenAndAnAbortWritesNothing) {
    for (const std::wstring& output : {Slashed(program_.native()), L"\\\\?\\" + program_.native(),
                                       std::wstring(L".\\program.exe")}) {
        fs::copy_file(FullPath(KORVA_WINDOWS_TARGET), program_,
                      fs::copy_options::overwrite_existing);
        const Outcome run = Korva({L"-Q", L"--data=de.dat", L"--output=" + output, L"ENGLISH",
                                   L"(GERMAN)", L"program.exe"});
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_EQ(ReadBytes(program_), reference_) << Utf8(output);
    }
    fs::copy_file(FullPath(KORVA_WINDOWS_TARGET), program_, fs::copy_options::overwrite_existing);
    WriteBytes(ws_.path() / L"half.dat", "(\r\nENGLISH,\"Open\"\r\nGERMAN,\"Auf\"\r\n)\r\n");
    const Outcome aborted = Korva({L"-Q", L"-A", L"--data=half.dat", L"--output=out.exe",
                                   L"ENGLISH", L"(GERMAN)", L"program.exe"});
    EXPECT_EQ(aborted.exitCode, 2u) << aborted.output;
    EXPECT_NE(aborted.output.find("Translation incomplete. Abort.\r\n"), std::string::npos)
        << aborted.output;
    EXPECT_EQ(ws_.Listing(),
              (std::set<std::wstring>{L"de.dat", L"half.dat", L"korva.exe", L"program.exe"}));
}

} // namespace
} // namespace korva::windows_test
