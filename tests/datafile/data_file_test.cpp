#include "datafile/data_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/settings.h"
#include "datafile_support.h"
#include "platform/platform.h"
#include "text/codepage.h"
// GCC 12 warns falsely (its bug 105329) on the string concatenation in the
// shared process helper once it is inlined at -O2.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
#include "support/process.h"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace korva {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::SelectLanguages;

const std::string kGood = Lines({"(", "ENGLISH,\"Open\"", "GERMAN,\"Oeffnen\"", ")"});

void WriteFile(const fs::path& path, const std::string& data) {
    std::ofstream file(path, std::ios::binary);
    file << data;
}

// LoadDataFile looks beside the running program, which here is the test.
class LoadDataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        ResetTransDict();
        SelectLanguages("ENGLISH", {"GERMAN"});
        SetConsole(out_);
        dir_ = fs::path(DirectoryOf(OwnExecutablePath()));
        name_ = "datafile_test_" + std::to_string(::getpid());
    }
    void TearDown() override {
        SetConsole(std::cout);
        fs::remove_all(dir_ / name_);
        fs::remove(dir_ / (name_ + ".dat"));
    }

    std::ostringstream out_;
    fs::path dir_;
    std::string name_;
};

TEST_F(LoadDataFileTest, ReadsTheFileBesideTheProgram) {
    WriteFile(dir_ / (name_ + ".dat"), kGood);
    DataFileName = name_ + ".dat";
    ASSERT_TRUE(LoadDataFile());
    ASSERT_EQ(TransDict.Count(), 1U);
    EXPECT_EQ(TransDict.Entry(0).Text(FindLangKey("GERMAN")), "Oeffnen");
    EXPECT_EQ(out_.str(), "");
}

TEST_F(LoadDataFileTest, ANameWithASubdirectoryIsTakenUnchanged) {
    fs::create_directories(dir_ / name_ / "sub");
    WriteFile(dir_ / name_ / "sub" / "t.dat", kGood + ")\r\n");
    DataFileName = name_ + "/sub/t.dat";
    QuietMode = true;
    EXPECT_FALSE(LoadDataFile());
    EXPECT_EQ(out_.str(), "Syntax error in " + DataFileName + "/Line=5\r\n");
    // What was filed before the error stays.
    EXPECT_EQ(TransDict.Count(), 1U);
}

TEST_F(LoadDataFileTest, UnreadableFilesFailWithoutALine) {
    const fs::path absolute = dir_ / (name_ + ".dat");
    WriteFile(absolute, kGood);
    fs::create_directories(dir_ / name_);
    for (const std::string& name : {std::string("no-such-file.dat"), absolute.string(),
                                    name_ /* a directory: opens, but reading fails */}) {
        DataFileName = name;
        EXPECT_FALSE(LoadDataFile()) << name;
        EXPECT_EQ(TransDict.Count(), 0U);
    }
    EXPECT_EQ(out_.str(), "");
}

TEST_F(LoadDataFileTest, ALoadStartsFromAnEmptyDictionary) {
    WriteFile(dir_ / (name_ + ".dat"), kGood);
    DataFileName = name_ + ".dat";
    ASSERT_TRUE(LoadDataFile());
    DataFileName = "no-such-file.dat";
    EXPECT_FALSE(LoadDataFile());
    EXPECT_EQ(TransDict.Count(), 0U);
}

// The forms that take a path, a code page and languages: the reason a file
// cannot be opened, the code page its first bytes give, the line of a syntax
// error, and nothing of korva's run touched.
TEST_F(LoadDataFileTest, AnyFileLoadsWithItsOwnCodePageAndLanguages) {
    fs::create_directories(dir_ / name_);
    const fs::path utf8 = dir_ / name_ / "utf8.dat";
    const fs::path bad = dir_ / name_ / "bad.dat";
    WriteFile(utf8, "\xEF\xBB\xBF" + Lines({"(",
                                            "GERMAN,\"\xC3\x96"
                                            "ffnen\"",
                                            "ITALIAN,\"Apri\"", "ENGLISH,\"Open\"", ")"}));
    WriteFile(bad, Lines({"(", "GERMAN,\"Auf\"", "ITALIAN,\"Apri\"", ")", "(", "GERMAN,\"x\"", "(",
                          ")"}));
    struct Case {
        const char* what;
        fs::path path;
        std::optional<ErrorKind> openFails;
        CodePage page = CodePage::Windows1252;
        std::optional<std::uint64_t> syntaxErrorLine;
        std::size_t items = 0;
    };
    const std::vector<Case> cases = {
        {"missing", dir_ / name_ / "missing.dat", ErrorKind::NoSuchFile, {}, {}, 0},
        {"a directory", dir_ / name_, ErrorKind::NoSuchFile, {}, {}, 0},
        {"UTF-8", utf8, std::nullopt, CodePage::Utf8, std::nullopt, 1},
        {"a syntax error", bad, std::nullopt, CodePage::Windows1252, 7, 1},
    };
    for (const Case& c : cases) {
        Result<OpenedDataFile> opened = OpenDataFile(c.path.string());
        ASSERT_EQ(opened.ok(), !c.openFails) << c.what;
        if (!opened) {
            EXPECT_EQ(opened.error().kind, *c.openFails) << c.what;
            EXPECT_NE(opened.error().message.find(c.path.string()), std::string::npos) << c.what;
            continue;
        }
        EXPECT_EQ(opened->codePage, c.page) << c.what;
        DataLoadOptions options;
        options.codePage = opened->codePage;
        options.languages = test::Selection("GERMAN", {"ITALIAN"});
        Result<DataLoadOutcome> loaded = LoadDataFile(*opened, "named.dat", options);
        ASSERT_TRUE(loaded.ok()) << c.what;
        EXPECT_EQ(loaded->dict.Count(), c.items) << c.what;
        EXPECT_EQ(loaded->Loaded(), !c.syntaxErrorLine && c.items > 0) << c.what;
        ASSERT_EQ(loaded->syntaxError.has_value(), c.syntaxErrorLine.has_value()) << c.what;
        if (c.syntaxErrorLine) {
            EXPECT_EQ(loaded->syntaxError->line, *c.syntaxErrorLine);
            EXPECT_EQ(loaded->syntaxError->message,
                      "Syntax error in named.dat/Line=" + std::to_string(*c.syntaxErrorLine));
        }
    }
    // The UTF-8 file's entry is filed under its GERMAN text and found in any
    // case, as UTF-8 compares; 1252 would not fold the letter.
    Result<OpenedDataFile> opened = OpenDataFile(utf8.string());
    ASSERT_TRUE(opened.ok());
    DataLoadOptions options;
    options.codePage = opened->codePage;
    options.languages = test::Selection("GERMAN", {"ITALIAN"});
    Result<DataLoadOutcome> loaded = LoadDataFile(*opened, "utf8.dat", options);
    ASSERT_TRUE(loaded.ok() && loaded->Loaded());
    std::size_t index = 0;
    ASSERT_TRUE(loaded->dict.Find("\xC3\xB6"
                                  "FFNEN",
                                  index));
    EXPECT_EQ(loaded->dict.Entry(index).Text(FindLangKey("ITALIAN")), "Apri");
    EXPECT_EQ(loaded->dict.Entry(index).Text(FindLangKey("ENGLISH")), ""); // not taken in
    EXPECT_EQ(RunCodePage, CodePage::Windows1252);
    EXPECT_EQ(TransDict.Count(), 0U);
    EXPECT_EQ(out_.str(), "");
}

// Through the built program: a copy of korva beside its data file and a small
// DLL with a string table as the target.
class DataFileBinaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("korva_datafile_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        fs::copy_file(test::KorvaBinary(), dir_ / "korva");
        BuildDll("t", "LANGUAGE 0, 0\n");
    }

    // A DLL with one string, in the language `language` names; without a
    // LANGUAGE statement llvm-rc writes US English.
    void BuildDll(const std::string& name, const std::string& language) {
        WriteFile(dir_ / (name + ".rc"), language + "STRINGTABLE\nBEGIN\n  1, \"Open\"\nEND\n");
        const std::string build =
            "cd " + test::ShellQuote(dir_.string()) + " && llvm-rc /nologo /FO " + name + ".res " +
            name + ".rc && lld-link /nologo /dll /noentry /machine:x64 /out:" + name + ".dll " +
            name + ".res";
        if (std::system((build + " >/dev/null 2>&1").c_str()) != 0) {
            GTEST_SKIP() << "llvm-rc and lld-link are needed to build the target";
        }
    }
    void TearDown() override { fs::remove_all(dir_); }

    // False when the run stopped before the data file stage: until the
    // string-table reader lands it does, and the tests wait for it.
    bool Run(const std::vector<std::string>& options, test::ProcessResult& result) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"ENGLISH", "(ENGLISH,GERMAN)", (dir_ / "t.dll").string()});
        result = test::RunProgram((dir_ / "korva").string(), args);
        return result.output.find("Error reading resource strings") == std::string::npos;
    }

    fs::path dir_;
};

const std::string kHead = "KORVA 1.0 - string table translator\r\n\r\n";

TEST_F(DataFileBinaryTest, SyntaxErrorEndsTheRunWithExitCode2) {
    WriteFile(dir_ / "bad.dat",
              Lines({"; two entries", "(", "ENGLISH,\"Open\"", "GERMAN,Auf", ")"}));
    const std::string before = test::RunProgram("cat", {(dir_ / "t.dll").string()}).output;
    test::ProcessResult result;
    if (!Run({"-Q", "-Dbad.dat"}, result)) {
        GTEST_SKIP() << "the target's string tables cannot be read yet";
    }
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.output, kHead + "Syntax error in bad.dat/Line=4\r\nError reading bad.dat\r\n");
    EXPECT_EQ(test::RunProgram("cat", {(dir_ / "t.dll").string()}).output, before);
}

TEST_F(DataFileBinaryTest, MissingDataFileGivesTheErrorLineAndWhereItLooked) {
    test::ProcessResult result;
    if (!Run({"-Q"}, result)) {
        GTEST_SKIP() << "the target's string tables cannot be read yet";
    }
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.output, kHead + "Error reading KORVA.DAT\r\nnot found at " +
                                 (dir_ / "KORVA.DAT").string() + "\r\n");
}

// Each reason the line after "Error reading" gives; "{}" stands for the
// workspace, where the test writes x.dat and runs korva.
struct Unread {
    const char* name;
    std::vector<std::string> options;
    const char* neutral;
    const char* destinations;
    std::string data;   // x.dat's content; none: no x.dat
    bool unreadable;    // x.dat may not be read (korva runs as nobody when root)
    std::string shown;  // the name "Error reading" gives
    std::string reason; // the line after it
};

const Unread kUnread[] = {
    {"DataRelative",
     {"--data=x.dat"},
     "ENGLISH",
     "(GERMAN)",
     "",
     false,
     "x.dat",
     "not found at {}/x.dat"},
    {"DataAbsolute",
     {"--data={}/sub/x.dat"},
     "ENGLISH",
     "(GERMAN)",
     "",
     false,
     "{}/sub/x.dat",
     "not found at {}/sub/x.dat"},
    // -D takes even a full path in korva's directory, and says so.
    {"ShortOptionFullPath",
     {"-D{}/x.dat"},
     "ENGLISH",
     "(GERMAN)",
     kGood,
     false,
     "{}/x.dat",
     "not found at {}/{}/x.dat (-D names a file in korva's directory; --data=PATH takes any "
     "path)"},
    {"Directory", {"--data=."}, "ENGLISH", "(GERMAN)", "", false, ".", ". is not a regular file"},
    {"Unreadable",
     {"--data=x.dat"},
     "ENGLISH",
     "(GERMAN)",
     kGood,
     true,
     "x.dat",
     "cannot open x.dat: Permission denied"},
    {"NoEntries",
     {"--data=x.dat"},
     "ENGLISH",
     "(GERMAN)",
     Lines({"; nothing yet", ""}),
     false,
     "x.dat",
     "x.dat holds no entries"},
    {"NoNeutral",
     {"--data=x.dat"},
     "FRENCH",
     "(GERMAN)",
     kGood,
     false,
     "x.dat",
     "the neutral language FRENCH appears in no entry of x.dat (its languages: ENGLISH, GERMAN)"},
    {"NoDestination",
     {"--data=x.dat"},
     "ENGLISH",
     "(ITALIAN,fr-CA)",
     kGood,
     false,
     "x.dat",
     "none of the destination languages appears in x.dat: ITALIAN, fr-CA (its languages: "
     "ENGLISH, GERMAN)"},
    {"OnlyTheNeutral",
     {"--data=x.dat"},
     "ENGLISH",
     "(ENGLISH)",
     kGood,
     false,
     "x.dat",
     "the only destination is the neutral language ENGLISH: an entry of x.dat is taken only "
     "with a text in a second language"},
    {"NeverTogether",
     {"--data=x.dat"},
     "ENGLISH",
     "(GERMAN)",
     Lines({"(", "ENGLISH,\"Open\"", "FRENCH,\"Ouvrir\"", ")", "(", "GERMAN,\"Auf\"",
            "FRENCH,\"Ouvrir\"", ")"}),
     false,
     "x.dat",
     "no entry of x.dat has a text in ENGLISH together with one in GERMAN"},
};

void PrintTo(const Unread& c, std::ostream* os) {
    *os << c.name;
}

class DataFileUnread : public DataFileBinaryTest, public testing::WithParamInterface<Unread> {};

TEST_P(DataFileUnread, TheErrorLineIsFollowedByWhy) {
    const Unread& c = GetParam();
    const auto expand = [&](std::string text) {
        for (std::size_t at = 0; (at = text.find("{}", at)) != std::string::npos;) {
            text.replace(at, 2, dir_.string());
            at += dir_.string().size();
        }
        return text;
    };
    fs::create_directories(dir_ / "sub");
    if (!c.data.empty()) {
        WriteFile(dir_ / "x.dat", c.data);
    }
    std::string prefix = "cd " + test::ShellQuote(dir_.string()) + " && ";
    if (c.unreadable) {
        fs::permissions(dir_ / "x.dat", fs::perms::none);
        if (::geteuid() == 0) {
            prefix += "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        }
    }
    std::vector<std::string> args;
    for (const std::string& option : c.options) {
        args.push_back(expand(option));
    }
    args.insert(args.end(), {c.neutral, c.destinations, "t.dll"});
    const test::ProcessResult result = test::RunProgram((dir_ / "korva").string(), args, prefix);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.output,
              kHead + "Error reading " + expand(c.shown) + "\r\n" + expand(c.reason) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Reasons, DataFileUnread, testing::ValuesIn(kUnread),
                         [](const auto& instance) { return std::string(instance.param.name); });

// A program built the usual way has its texts in US English, so no entry
// is taken in for it; the line after the failure says so, and which -O
// takes them.
TEST_F(DataFileBinaryTest, AProgramInUsEnglishIsNamedAfterTheFailure) {
    BuildDll("us", "");
    WriteFile(dir_ / "KORVA.DAT", Lines({"(", "ENGLISH,\"Open\"", "GERMAN,\"Auf\"", ")"}));
    const test::ProcessResult missing =
        test::RunProgram((dir_ / "korva").string(),
                         {"-Q", "-DNONE.DAT", "ENGLISH", "(GERMAN)", (dir_ / "us.dll").string()});
    EXPECT_EQ(missing.output, kHead + "Error reading NONE.DAT\r\nnot found at " +
                                  (dir_ / "NONE.DAT").string() +
                                  "\r\nNo resource is in the language id "
                                  "0x0000 looked for (-O); the program's are in 0x0409 (en-US, a "
                                  "sublanguage of ENGLISH): -Oen-US takes them\r\n");
    const test::ProcessResult result = test::RunProgram(
        (dir_ / "korva").string(), {"-Q", "ENGLISH", "(GERMAN)", (dir_ / "us.dll").string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.output, kHead +
                                 "Translations found          : 0\r\nSource strings missing      : "
                                 "0\r\nTranslation strings missing : 0\r\nNothing translated. "
                                 "Abort.\r\nNo resource is in the language id "
                                 "0x0000 looked for (-O); the program's are in 0x0409 (en-US, a "
                                 "sublanguage of ENGLISH): -Oen-US takes them\r\n");
}

} // namespace
} // namespace korva
