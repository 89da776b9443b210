#include "strtables/read_string_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/settings.h"
#include "langkeys/lang_const.h"
#include "platform/platform.h"
#include "strtables/string_tables.h"
#include "support/fixtures.h"
#include "support/process.h"
#include "support/string_table_script.h"
#include "support/synthetic_image.h"

namespace korva {
namespace {

using test::ByteVector;
using test::Concat;
using test::StringBlock;
using test::SyntheticBlock;
using Entries = std::vector<std::pair<Text, std::int32_t>>;

struct Expected {
    Text displayName;
    std::int32_t langCount;
    bool hasOrigNeutral;
    Entries strings;
};

Entries EntriesOf(const TResInfo& block) {
    Entries out;
    for (std::size_t k = 0; k < block.Strings.Count(); ++k) {
        out.emplace_back(block.Strings.Text(k), block.Strings.GetObject(k));
    }
    return out;
}

class ReadStringTablesTest : public testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        ResetResBlocks();
        OrigNeutralLangId = 0;
    }
    void TearDown() override {
        OrigNeutralLangId = 0;
        RunCodePage = CodePage::Windows1252;
    }

    static bool Read(const std::string& path, std::uint16_t origNeutral = 0) {
        ProgFileName = path;
        OrigNeutralLangId = origNeutral;
        return ReadStringTables();
    }

    static std::string WriteImage(const std::string& name, const ByteVector& rsrc) {
        return test::WriteScratchFile(name, test::BuildSyntheticImage(rsrc).bytes);
    }

    static void ExpectBlocks(const std::vector<Expected>& expected) {
        ASSERT_EQ(ResBlocks.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const TResInfo& got = ResBlocks[i];
            const Expected& want = expected[i];
            EXPECT_EQ(got.DisplayName, want.displayName) << i;
            EXPECT_TRUE(got.ResType.IsId);
            EXPECT_EQ(got.ResType.Id, 6);
            EXPECT_FALSE(got.Skipped);
            EXPECT_EQ(got.LangCount, want.langCount) << want.displayName;
            EXPECT_EQ(got.HasOrigNeutral, want.hasOrigNeutral) << want.displayName;
            EXPECT_EQ(EntriesOf(got), want.strings) << want.displayName;
        }
    }
};

// What every toolchain's build of the fixture script must read as.
std::vector<Expected> FixtureBlocks(std::uint16_t origNeutral) {
    Entries sixteen;
    for (int i = 0; i < 16; ++i) {
        Text text = "s"; // appended: GCC 12 warns falsely on "s" + std::string
        text += std::to_string(i);
        sixteen.emplace_back(text, 0);
    }
    return {
        {"#1", 1, origNeutral == 0, {{"", 0}, {"Open", 0}, {"", 0}, {"Save", 0}}},
        {"#2", 1, origNeutral == 0, sixteen},
        {"#3", 1, origNeutral == 0, {{"", 0}, {"Three", 0}}},
        {"#4",
         2,
         origNeutral == 0 || origNeutral == 0x0407,
         {{"Open", 0},
          {"", 0},
          {"Omega ? Euro \x80", 0},
          {Text("ab\0cd", 5), 0},
          {"", 0x0407},
          {"\xD6"
           "ffnen",
           0x0407}}},
        {"#5", 1, origNeutral == 0x0409, {{"US only", 0x0409}}},
    };
}

TEST_F(ReadStringTablesTest, ToolchainImages) {
    for (const test::Toolchain toolchain : test::AllToolchains()) {
        SCOPED_TRACE(test::ToolchainName(toolchain));
        const std::string path = test::BuildFixture(toolchain, "strings", test::kStringTableScript);
        for (const std::uint16_t origNeutral :
             std::initializer_list<std::uint16_t>{0x0000, 0x0407, 0x0409, 0x0007}) {
            SCOPED_TRACE(origNeutral);
            ResetResBlocks();
            ASSERT_TRUE(Read(path, origNeutral));
            ExpectBlocks(FixtureBlocks(origNeutral));
        }
    }
}

// Reads with different code pages and neutral languages, taken in turns in
// one process, give what korva's stage gives for each alone, and leave the
// run's settings as they were.
TEST_F(ReadStringTablesTest, EachReadTakesItsOwnCodePageAndNeutralLanguage) {
    const std::string path =
        test::BuildFixture(test::Toolchain::LldX64, "strings", test::kStringTableScript);
    const std::vector<StringTableOptions> runs = {{CodePage::Utf8, 0x0407},
                                                  {CodePage::Windows1252, 0x0409},
                                                  {CodePage::Utf8, 0},
                                                  {CodePage::Windows1252, 0}};
    std::vector<std::vector<TResInfo>> alone;
    for (const StringTableOptions& options : runs) {
        RunCodePage = options.codePage;
        ASSERT_TRUE(Read(path, options.origNeutralLangId));
        alone.push_back(std::move(ResBlocks));
        ResetResBlocks();
    }
    RunCodePage = CodePage::Windows1252;
    OrigNeutralLangId = 0;
    std::vector<Result<std::vector<TResInfo>>> together;
    for (const StringTableOptions& options : runs) {
        together.push_back(ReadStringTables(path, options));
    }
    EXPECT_EQ(RunCodePage, CodePage::Windows1252);
    EXPECT_EQ(OrigNeutralLangId, 0);
    for (std::size_t r = 0; r < runs.size(); ++r) {
        ASSERT_TRUE(together[r].ok()) << r;
        ASSERT_EQ(together[r]->size(), alone[r].size()) << r;
        for (std::size_t b = 0; b < alone[r].size(); ++b) {
            const TResInfo& got = (*together[r])[b];
            const TResInfo& want = alone[r][b];
            EXPECT_EQ(got.DisplayName, want.DisplayName);
            EXPECT_EQ(got.HasOrigNeutral, want.HasOrigNeutral) << r << " " << want.DisplayName;
            EXPECT_EQ(EntriesOf(got), EntriesOf(want)) << r << " " << want.DisplayName;
        }
    }
    // What tells the runs apart is there: block #4's Omega, which 1252 lacks,
    // and the neutral language of each.
    EXPECT_EQ((*together[0])[3].Strings.Text(2), "Omega \xCE\xA9 Euro \xE2\x82\xAC");
    EXPECT_EQ((*together[3])[3].Strings.Text(2), "Omega ? Euro \x80");
    EXPECT_TRUE((*together[0])[3].HasOrigNeutral);
    EXPECT_FALSE((*together[0])[0].HasOrigNeutral);
    EXPECT_TRUE((*together[1])[4].HasOrigNeutral);
}

TEST_F(ReadStringTablesTest, WhatNoCompilerEmits) {
    const ByteVector odd = Concat(StringBlock({u"", u"odd"}), ByteVector{0x7F});
    const std::string path = WriteImage(
        "synthetic.dll",
        test::StringTableSection({
            SyntheticBlock{false, 0, u"MYTEXTS", {{0, StringBlock({u"named"})}}},
            SyntheticBlock{true, 1, {}, {{0, odd}}},
            SyntheticBlock{true, 2, {}, {{0, StringBlock(std::vector<std::u16string>(16))}}},
            SyntheticBlock{true, 3, {}, {{0x0409, {0x09, 0x00, 'c', 0, 'u', 0, 't', 0}}}},
            SyntheticBlock{true, 4096, {}, {{0, {}}}},
        }));
    ASSERT_TRUE(Read(path));
    ExpectBlocks({
        {"MYTEXTS", 1, true, {{"named", 0}}},
        {"#1", 1, true, {{"", 0}, {"odd", 0}}},
        {"#2", 1, true, {}},
        {"#3", 1, false, {{"cut", 0x0409}}},
        {"#4096", 1, true, {}},
    });
    EXPECT_FALSE(ResBlocks[0].ResName.IsId);
    EXPECT_EQ(ResBlocks[0].ResName.Name, "MYTEXTS");
    EXPECT_EQ(ResBlocks[0].ResName.RawName, u"MYTEXTS");
    EXPECT_TRUE(ResBlocks[1].ResName.IsId);
    EXPECT_EQ(ResBlocks[1].ResName.Id, 1);
}

TEST_F(ReadStringTablesTest, ACopyThatCannotBeLocatedCountsButAddsNothing) {
    test::ResourceSectionBuilder s(test::kSyntheticRsrcRva);
    const std::uint32_t root = s.Table(0, 1);
    const std::uint32_t names = s.Table(0, 1);
    const std::uint32_t langs = s.Table(0, 2);
    s.IdToTable(root, 0, pe::kRtString, names);
    s.IdToTable(names, 0, 1, langs);
    s.IdToData(langs, 0, 0, s.DataEntry(0x00F00000, 32)); // no section there
    s.IdToData(langs, 1, 0x0407, s.Data(StringBlock({u"Hallo"})));
    ASSERT_TRUE(Read(WriteImage("unlocated.dll", s.bytes())));
    ExpectBlocks({{"#1", 2, true, {{"Hallo", 0x0407}}}});
}

TEST_F(ReadStringTablesTest, AFailingLanguageEnumerationFailsTheRead) {
    // Block 1 reads; block 2 is a data leaf where its language table belongs.
    test::ResourceSectionBuilder s(test::kSyntheticRsrcRva);
    const std::uint32_t root = s.Table(0, 1);
    const std::uint32_t names = s.Table(0, 3);
    const std::uint32_t langs = s.Table(0, 1);
    const std::uint32_t langs3 = s.Table(0, 1);
    s.IdToTable(root, 0, pe::kRtString, names);
    s.IdToTable(names, 0, 1, langs);
    s.IdToData(names, 1, 2, s.Data(StringBlock({u"leaf"})));
    s.IdToTable(names, 2, 3, langs3);
    s.IdToData(langs, 0, 0, s.Data(StringBlock({u"one"})));
    s.IdToData(langs3, 0, 0, s.Data(StringBlock({u"three"})));
    const std::string path = WriteImage("leafblock.dll", s.bytes());
    EXPECT_FALSE(Read(path));
    // The walk stopped at block 2, and says so.
    const Result<std::vector<TResInfo>> blocks = ReadStringTables(path, {});
    ASSERT_FALSE(blocks.ok());
    EXPECT_EQ(blocks.error().message,
              path + ": string-table block #2: its languages cannot be read");
}

// Each reason comes back, and korva's stage turns every one into false.
TEST_F(ReadStringTablesTest, FilesThatCannotBeRead) {
    const std::string noStrings =
        test::BuildFixture(test::Toolchain::LldX64, "nostrings", test::kNoStringTableScript);
    struct Case {
        const char* what;
        std::string path;
        ErrorKind kind;
        std::string reason; // what the message ends with
    };
    const std::string missing = (test::ScratchDir() / "missing.dll").string();
    const std::vector<Case> cases = {
        {"missing", missing, ErrorKind::NoSuchFile, "No such file or directory"},
        {"a directory", test::ScratchDir().string(), ErrorKind::NoSuchFile,
         " is not a regular file"},
        {"empty", test::WriteScratchFile("empty.dll", std::string()), ErrorKind::Other,
         "not an executable image (no MZ header)"},
        {"text", test::WriteScratchFile("text.dll", std::string("MZ is not enough")),
         ErrorKind::Other, "not an executable image (no MZ header)"},
        {"no string tables", noStrings, ErrorKind::Other, ": no string-table resources"},
        {"a malformed tree",
         WriteImage("loop.dll",
                    [] {
                        test::ResourceSectionBuilder s(test::kSyntheticRsrcRva);
                        const std::uint32_t root = s.Table(0, 1);
                        s.IdToTable(root, 0, pe::kRtString, root);
                        return s.bytes();
                    }()),
         ErrorKind::Other, "reached twice"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Read(c.path)) << c.what;
        const Result<std::vector<TResInfo>> blocks = ReadStringTables(c.path, {});
        ASSERT_FALSE(blocks.ok()) << c.what;
        EXPECT_EQ(blocks.error().kind, c.kind) << c.what;
        EXPECT_NE(blocks.error().message.find(c.path), std::string::npos)
            << c.what << ": " << blocks.error().message;
        EXPECT_TRUE(blocks.error().message.ends_with(c.reason))
            << c.what << ": " << blocks.error().message;
    }
}

// Through the built program: the stage's failure message and exit code.
TEST(KorvaBinary, UnreadableTargetsEndTheRun) {
    const std::string noStrings =
        test::BuildFixture(test::Toolchain::LldX64, "nostrings", test::kNoStringTableScript);
    const std::string notPe = test::WriteScratchFile("notpe.exe", std::string("hello\n"));
    for (const std::string& path : {notPe, noStrings}) {
        const test::ProcessResult result =
            test::RunProgram(test::KorvaBinary(), {"ENGLISH", "(GERMAN)", path});
        EXPECT_EQ(result.exitCode, 2) << path;
        EXPECT_EQ(result.output, "KORVA 1.0 - string table translator\r\n\r\n"
                                 "Error reading resource strings from file " +
                                     path + "\r\n");
    }
}

TEST(KorvaBinary, AReadableTargetGoesOnToTheDataFile) {
    const std::string path =
        test::BuildFixture(test::Toolchain::LldX86, "strings", test::kStringTableScript);
    const test::ProcessResult result = test::RunProgram(
        test::KorvaBinary(), {"-Dkorva-test-no-such-file.dat", "ENGLISH", "(GERMAN)", path});
    EXPECT_EQ(result.exitCode, 2);
    // The line after it says where the data file was looked for: beside
    // korva, whatever the working directory.
    EXPECT_EQ(result.output, "KORVA 1.0 - string table translator\r\n\r\n"
                             "Error reading korva-test-no-such-file.dat\r\nnot found at " +
                                 DirectoryOf(test::KorvaBinary()) +
                                 "korva-test-no-such-file.dat\r\n");
}

} // namespace
} // namespace korva
