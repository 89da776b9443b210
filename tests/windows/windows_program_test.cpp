// korva.exe and korva-dat.exe as a Windows user runs them: from a directory
// whose name no code page holds, with the data file beside the program, on a
// program named in each way Windows names a file. What they print is
// compared byte for byte, CR LF included; the rewritten program is run, and
// the Windows loader shows what it finds in it. Targets another program
// holds open, or that are read-only, are left exactly as they were.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "windows/windows_support.h"

namespace korva::windows_test {
namespace {

namespace fs = std::filesystem;

const std::string kBanner = "KORVA 1.0 - string table translator\r\n\r\n";

std::string CrLf(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

// What korva prints, byte for byte: each line ends in one CR LF, which a
// console in text mode would have written CR CR LF.
std::string Output(const std::vector<std::string>& lines) {
    return kBanner + CrLf(lines);
}

const std::vector<std::string> kTranslated{
    "Translating block #1", "Translating block #2", "Translations found          : 10",
    "Source strings missing      : 0", "Translation strings missing : 0"};

// A data file: a comment, then one entry per group of "KEY,text" lines.
std::string DataFile(const std::string& comment,
                     const std::vector<std::vector<std::string>>& entries) {
    std::vector<std::string> lines{comment};
    for (const std::vector<std::string>& entry : entries) {
        lines.emplace_back("(");
        lines.insert(lines.end(), entry.begin(), entry.end());
        lines.emplace_back(")");
    }
    return CrLf(lines);
}

// The texts of target.rc (block 1: Open, ÄRGER, Price after an empty slot;
// block 2: Quit) in a data file of Windows-1252, the English ÄRGER spelt in
// lower case. Ö is D6 (octal 326: an octal escape ends after three digits),
// Ä C4, ä E4, € 80, Š 8A.
const std::string kData1252 =
    DataFile("; the translations in Windows-1252",
             {{"ENGLISH,\"Open\"", "GERMAN,\"\326ffnen\"", "FRENCH,\"Ouvrir\""},
              {"ENGLISH,\"\xE4rger\"", "GERMAN,\"\xC4rger \x80\"", "FRENCH,\"Ennui \x8A\""},
              {"ENGLISH,\"Price\"", "GERMAN,\"Preis\"", "FRENCH,\"Prix\""},
              {"ENGLISH,\"Quit\"", "GERMAN,\"Beenden\"", "FRENCH,\"Quitter\""}});

// The same in UTF-8, Russian for French.
const std::string kDataUtf8 =
    "\xEF\xBB\xBF" + DataFile("; the translations in UTF-8",
                              {{"ENGLISH,\"Open\"", "GERMAN,\"Öffnen\"", "RUSSIAN,\"Открыть\""},
                               {"ENGLISH,\"ärger\"", "GERMAN,\"Ärger €\"", "RUSSIAN,\"Досада\""},
                               {"ENGLISH,\"Price\"", "GERMAN,\"Preis\"", "RUSSIAN,\"Цена\""},
                               {"ENGLISH,\"Quit\"", "GERMAN,\"Beenden\"", "RUSSIAN,\"Выход\""}});

struct Block {
    unsigned id;
    unsigned language;
    std::vector<std::wstring> slots;
};

const std::vector<Block> kGermanAndFrench{
    {1, 0x07, {L"", L"\u00d6ffnen", L"\u00c4rger \u20ac", L"Preis"}},
    {1, 0x0c, {L"", L"Ouvrir", L"Ennui \u0160", L"Prix"}},
    {2, 0x07, {L"Beenden"}},
    {2, 0x0c, {L"Quitter"}},
};

const std::vector<Block> kGermanAndRussian{
    {1, 0x07, {L"", L"\u00d6ffnen", L"\u00c4rger \u20ac", L"Preis"}},
    {1,
     0x19,
     {L"", L"\u041e\u0442\u043a\u0440\u044b\u0442\u044c", L"\u0414\u043e\u0441\u0430\u0434\u0430",
      L"\u0426\u0435\u043d\u0430"}},
    {2, 0x07, {L"Beenden"}},
    {2, 0x19, {L"\u0412\u044b\u0445\u043e\u0434"}},
};

std::string Hex(unsigned value, int digits) {
    std::string out(static_cast<std::size_t>(digits), '0');
    for (auto it = out.rbegin(); it != out.rend(); ++it, value >>= 4) {
        *it = "0123456789abcdef"[value & 15];
    }
    return out;
}

// What show_strings prints for a block the tool wrote: its size counts the
// sixteen length words, the texts and the closing word.
std::string Shown(const Block& block) {
    std::size_t units = 0;
    std::string texts;
    for (std::size_t slot = 0; slot < block.slots.size(); ++slot) {
        units += block.slots[slot].size();
        if (block.slots[slot].empty()) {
            continue;
        }
        texts += std::to_string((block.id - 1) * 16 + slot) + "=";
        for (const wchar_t unit : block.slots[slot]) {
            texts += unit >= 0x20 && unit < 0x7f && unit != '\\'
                         ? std::string(1, static_cast<char>(unit))
                         : "\\u" + Hex(unit, 4);
        }
        texts += "\n";
    }
    return "block " + std::to_string(block.id) + " lang " + Hex(block.language, 4) + " size " +
           std::to_string(2 * (17 + units)) + "\n" + texts;
}

// Runs the rewritten program, which prints each block as the loader finds it.
void ExpectBlocks(const fs::path& program, const std::vector<Block>& blocks) {
    std::vector<std::wstring> args;
    std::string expected;
    for (const Block& block : blocks) {
        args.push_back(Wide(Hex(block.language, 4) + ":" + Hex(block.id, 1)));
        expected += Shown(block);
    }
    const Outcome shown = RunProgram(program.native(), args);
    EXPECT_EQ(shown.exitCode, 0u);
    EXPECT_EQ(shown.output, expected);
}

// korva.exe with its data file beside it, and the program to translate, in
// a workspace.
class Installed : public testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(FullPath(KORVA_EXE), ws_.path() / L"korva.exe");
        fs::copy_file(FullPath(KORVA_WINDOWS_TARGET), target_);
        WriteBytes(ws_.path() / L"KORVA.DAT", kData1252);
    }

    Outcome Korva(const std::vector<std::wstring>& args, const std::wstring& directory = {}) const {
        return RunProgram((ws_.path() / L"korva.exe").native(), args, directory);
    }

    std::set<std::wstring> Files() const { return ws_.Listing(); }

    Workspace ws_;
    // Cyrillic: no code page that holds the workspace's name holds this too.
    const fs::path target_ =
        ws_.path() / (AsciiNames() ? L"program.exe"
                                   : L"\u043f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u0430.exe");
    const std::set<std::wstring> files_{L"KORVA.DAT", L"korva.exe", target_.filename().native()};
};

// One way to name the target: the argument, and whether korva runs in the
// target's directory.
struct Naming {
    const char* name;
    friend void PrintTo(const Naming& n, std::ostream* os) { *os << n.name; }
    std::wstring (*argument)(const fs::path& target);
    bool inItsDirectory;
};

const Naming kNamings[] = {
    {"Absolute", [](const fs::path& t) { return t.native(); }, false},
    {"ForwardSlashes",
     [](const fs::path& t) {
         std::wstring path = t.native();
         std::replace(path.begin(), path.end(), L'\\', L'/');
         return path;
     },
     false},
    {"Relative", [](const fs::path& t) { return t.filename().native(); }, true},
    {"UpAndDown",
     [](const fs::path& t) {
         return L".\\..\\" + t.parent_path().filename().native() + L"\\" + t.filename().native();
     },
     true},
    // "C:name": the current directory of drive C.
    {"DriveRelative",
     [](const fs::path& t) { return t.native().substr(0, 2) + t.filename().native(); }, true},
    {"LongForm", [](const fs::path& t) { return L"\\\\?\\" + t.native(); }, false},
    {"DeviceForm", [](const fs::path& t) { return L"\\\\.\\" + t.native(); }, false},
};

class Named : public Installed, public testing::WithParamInterface<Naming> {};

TEST_P(Named, TranslatesWithTheDataFileBesideTheProgram) {
    const Naming& naming = GetParam();
    const std::wstring argument = naming.argument(target_);
    const Outcome run = Korva({L"ENGLISH", L"(GERMAN,FRENCH)", argument},
                              naming.inItsDirectory ? ws_.path().native() : std::wstring());
    EXPECT_EQ(run.output, Output(kTranslated) + "Finished\r\n");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Files(), files_);
    ExpectBlocks(target_, kGermanAndFrench);
}

INSTANTIATE_TEST_SUITE_P(Paths, Named, testing::ValuesIn(kNamings),
                         [](const auto& instance) { return std::string(instance.param.name); });

// A full path longer than MAX_PATH, named as it is.
TEST_F(Installed, TranslatesAProgramPastThePathLimit) {
    std::wstring deep = ws_.path().native();
    for (const wchar_t letter : {L'a', L'b', L'c'}) {
        deep += L"\\" + std::wstring(100, letter);
        ASSERT_TRUE(CreateDirectoryW(LongForm(deep).c_str(), nullptr));
    }
    const std::wstring target = deep + L"\\" + target_.filename().native();
    ASSERT_GT(target.size(), std::size_t{MAX_PATH});
    ASSERT_TRUE(CopyFileW(target_.c_str(), LongForm(target).c_str(), TRUE));

    const Outcome run = Korva({L"-Q", L"ENGLISH", L"(GERMAN,FRENCH)", target});
    EXPECT_EQ(run.output,
              kBanner + CrLf({"Translations found          : 10", "Source strings missing      : 0",
                              "Translation strings missing : 0", "Finished"}));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Names(deep), std::set<std::wstring>{target_.filename().native()});
    ASSERT_TRUE(CopyFileW(LongForm(target).c_str(), target_.c_str(), FALSE));
    ExpectBlocks(target_, kGermanAndFrench);
}

// The system's code page (932 or 1253 where ctest sets LC_ALL for Wine) has
// no say: 1252 data files are 1252 and UTF-8 ones UTF-8, and texts compare
// by their own rules (ärger finds ÄRGER in both).
TEST_F(Installed, TheSystemCodePageChangesNothing) {
    if (const char* expected = std::getenv("KORVA_EXPECTED_ACP")) {
        ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    const Outcome in1252 = Korva({L"-Q", L"ENGLISH", L"(GERMAN,FRENCH)", target_.native()});
    EXPECT_EQ(in1252.exitCode, 0u) << in1252.output;
    ExpectBlocks(target_, kGermanAndFrench);

    const fs::path other = ws_.path() / (AsciiNames() ? L"other.exe" : L"\u7a0b\u5e8f.exe");
    fs::copy_file(FullPath(KORVA_WINDOWS_TARGET), other);
    WriteBytes(ws_.path() / L"KORVA.DAT", kDataUtf8);
    const Outcome inUtf8 = Korva({L"-Q", L"ENGLISH", L"(GERMAN,RUSSIAN)", other.native()});
    EXPECT_EQ(inUtf8.exitCode, 0u) << inUtf8.output;
    ExpectBlocks(other, kGermanAndRussian);
}

// What keeps the target from being replaced, set up by this process, which
// to korva.exe is another program; undone when the returned object goes.
struct Obstacle {
    const char* name;
    friend void PrintTo(const Obstacle& o, std::ostream* os) { *os << o.name; }
    std::shared_ptr<void> (*set)(const fs::path& target);
    const char* reason; // the line that says why, "{}" standing for the target
};

std::shared_ptr<void> Holding(const fs::path& target, DWORD access, DWORD share) {
    HANDLE file = CreateFileW(target.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    return std::shared_ptr<void>(file, [](HANDLE h) { CloseHandle(h); });
}

const Obstacle kObstacles[] = {
    {"ReadOnly",
     [](const fs::path& target) {
         EXPECT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
         return std::shared_ptr<void>(nullptr, [target](void*) {
             SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
         });
     },
     "cannot open {} for writing: Access is denied"},
    // Open for reading, as a viewer or a virus scanner has it, or for
    // writing too: korva may not even open it for writing.
    {"OpenForReading", [](const fs::path& t) { return Holding(t, GENERIC_READ, FILE_SHARE_READ); },
     "cannot open {} for writing: The file is in use by another program"},
    {"OpenForWriting",
     [](const fs::path& t) {
         return Holding(t, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
     },
     "cannot open {} for writing: The file is in use by another program"},
    // Open by a program that lets it be deleted, or mapped by one: Windows
    // still does not rename another file over it.
    {"OpenButDeletable",
     [](const fs::path& t) {
         return Holding(t, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
     },
     "{} is in use by another program, which keeps it from being replaced"},
    {"Mapped",
     [](const fs::path& target) {
         const std::shared_ptr<void> file =
             Holding(target, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
         HANDLE mapping = CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
         void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
         EXPECT_NE(view, nullptr);
         CloseHandle(mapping);
         return std::shared_ptr<void>(view, [](void* v) { UnmapViewOfFile(v); });
     },
     "{} is in use by another program, which keeps it from being replaced"},
};

class Obstructed : public Installed, public testing::WithParamInterface<Obstacle> {};

TEST_P(Obstructed, TheTargetIsLeftAsItWas) {
    const auto before = ReadBytes(target_);
    const std::string shown = Utf8(target_.native());
    std::string reason = GetParam().reason;
    reason.replace(reason.find("{}"), 2, shown);
    {
        const std::shared_ptr<void> obstacle = GetParam().set(target_);
        const Outcome run = Korva({L"ENGLISH", L"(GERMAN,FRENCH)", target_.native()});
        // The path is written as UTF-8, as the program carries it.
        EXPECT_EQ(run.output,
                  Output(kTranslated) + CrLf({"Error writing to file " + shown, reason}));
        EXPECT_EQ(run.exitCode, 2u);
    }
    EXPECT_EQ(ReadBytes(target_), before);
    EXPECT_EQ(Files(), files_);
}

INSTANTIATE_TEST_SUITE_P(Targets, Obstructed, testing::ValuesIn(kObstacles),
                         [](const auto& instance) { return std::string(instance.param.name); });

std::string Sddl(const fs::path& file) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const SECURITY_INFORMATION which =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, which, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return "unreadable";
    }
    wchar_t* text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, which, &text,
                                                         nullptr);
    const std::string out = text == nullptr ? "unconvertible" : Utf8(text);
    LocalFree(text);
    LocalFree(descriptor);
    return out;
}

// Hidden and system, and access for everyone, which a new file in the
// directory would not have: the translated file keeps them.
TEST_F(Installed, TheNewFileKeepsTheAttributesAndRightsOfTheOld) {
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;WD)", SDDL_REVISION_1, &everyone, nullptr));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(everyone, &present, &dacl, &defaulted);
    ASSERT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(target_.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, dacl, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(everyone);
    constexpr DWORD kSet = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(target_.c_str(), kSet));
    const std::string rights = Sddl(target_);
    WriteBytes(ws_.path() / L"plain", "");
    ASSERT_NE(rights, Sddl(ws_.path() / L"plain")) << "the rights were not set";
    fs::remove(ws_.path() / L"plain");

    const Outcome run = Korva({L"-Q", L"ENGLISH", L"(GERMAN,FRENCH)", target_.native()});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    ExpectBlocks(target_, kGermanAndFrench);
    EXPECT_EQ(GetFileAttributesW(target_.c_str()) & kSet, kSet);
    EXPECT_EQ(Sddl(target_), rights);
    EXPECT_EQ(Files(), files_);
}

// A data file korva cannot read as a file: a directory, a device, none; the
// line after the failure says which, "{}" standing for korva's directory.
struct DataFileCase {
    const char* name;
    friend void PrintTo(const DataFileCase& c, std::ostream* os) { *os << c.name; }
    std::vector<std::wstring> options;
    bool directory; // KORVA.DAT is one
    const char* shown;
    const char* reason;
};

const DataFileCase kDataFiles[] = {
    {"Directory", {}, true, "KORVA.DAT", "{}\\KORVA.DAT is not a regular file"},
    {"Device", {L"-DNUL"}, false, "NUL", "{}\\NUL is not a regular file"},
    {"Missing", {L"-Dmissing.dat"}, false, "missing.dat", "not found at {}\\missing.dat"},
    // A drive letter in -D is still taken in korva's directory.
    {"DriveInShortOption",
     {L"-DC:\\x.dat"},
     false,
     "C:\\x.dat",
     "not found at {}\\C:\\x.dat (-D names a file in korva's directory; --data=PATH takes any "
     "path)"},
};

class DataFileNotRead : public Installed, public testing::WithParamInterface<DataFileCase> {};

TEST_P(DataFileNotRead, IsRefusedAndTheTargetIsLeftAlone) {
    const DataFileCase& c = GetParam();
    if (c.directory) {
        fs::remove(ws_.path() / L"KORVA.DAT");
        fs::create_directory(ws_.path() / L"KORVA.DAT");
    }
    const auto before = ReadBytes(target_);
    std::vector<std::wstring> args = c.options;
    args.insert(args.end(), {L"ENGLISH", L"(GERMAN)", target_.native()});
    const Outcome run = Korva(args);
    std::string reason = c.reason;
    reason.replace(reason.find("{}"), 2, Utf8(ws_.path().native()));
    EXPECT_EQ(run.output, Output({std::string("Error reading ") + c.shown, reason}));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(ReadBytes(target_), before);
}

INSTANTIATE_TEST_SUITE_P(Files, DataFileNotRead, testing::ValuesIn(kDataFiles),
                         [](const auto& instance) { return std::string(instance.param.name); });

// korva-dat.exe writes the data file of a program and checks it, both named
// in scripts no code page holds together.
TEST_F(Installed, KorvaDatMakesAndChecksADataFileOnAnyPath) {
    const fs::path korvaDat = ws_.path() / L"korva-dat.exe";
    fs::copy_file(FullPath(KORVA_DAT_EXE), korvaDat);
    const fs::path data = ws_.path() / L"\u0434\u0430\u043d\u043d\u044b\u0435 \u65e5\u672c.dat";
    const Outcome extract =
        RunProgram(korvaDat.native(), {L"extract", L"ENGLISH", L"(ENGLISH,GERMAN)",
                                       target_.native(), L"-o", data.native()});
    EXPECT_EQ(extract.exitCode, 0u) << extract.output;
    const auto bytes = ReadBytes(data);
    const std::string text(bytes.begin(), bytes.end());
    for (const char* line : {"ENGLISH,\"Open\"", "ENGLISH,\"ÄRGER\"", ";GERMAN,\"\""}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    }
    // Every German text is still to be written: the check says so.
    const Outcome check =
        RunProgram(korvaDat.native(), {L"check", data.native(), target_.native()});
    EXPECT_EQ(check.exitCode, 1u) << check.output;
    EXPECT_EQ(check.output.find("\r\r"), std::string::npos);
}

} // namespace
} // namespace korva::windows_test
