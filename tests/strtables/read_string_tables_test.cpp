#include "strtables/read_string_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/settings.h"
#include "langkeys/lang_const.h"
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

class ReadStringTablesTest : public testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        ResetResBlocks();
        OrigNeutralLangId = 0;
    }
    void TearDown() override { OrigNeutralLangId = 0; }

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
            Entries strings;
            for (std::size_t k = 0; k < got.Strings.Count(); ++k) {
                strings.emplace_back(got.Strings.Text(k), got.Strings.GetObject(k));
            }
            EXPECT_EQ(strings, want.strings) << want.displayName;
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
    EXPECT_FALSE(Read(WriteImage("leafblock.dll", s.bytes())));
    // The walk stopped at block 2 and dropped its record.
    ExpectBlocks({{"#1", 1, true, {{"one", 0}}}});
}

TEST_F(ReadStringTablesTest, FilesThatCannotBeRead) {
    const std::string noStrings =
        test::BuildFixture(test::Toolchain::LldX64, "nostrings", test::kNoStringTableScript);
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"missing", (test::ScratchDir() / "missing.dll").string()},
        {"a directory", test::ScratchDir().string()},
        {"empty", test::WriteScratchFile("empty.dll", std::string())},
        {"text", test::WriteScratchFile("text.dll", std::string("MZ is not enough"))},
        {"no string tables", noStrings},
        {"a malformed tree", WriteImage("loop.dll",
                                        [] {
                                            test::ResourceSectionBuilder s(test::kSyntheticRsrcRva);
                                            const std::uint32_t root = s.Table(0, 1);
                                            s.IdToTable(root, 0, pe::kRtString, root);
                                            return s.bytes();
                                        }())},
    };
    for (const auto& [what, path] : cases) {
        EXPECT_FALSE(Read(path)) << what;
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
    EXPECT_EQ(result.output, "KORVA 1.0 - string table translator\r\n\r\n"
                             "Error reading korva-test-no-such-file.dat\r\n");
}

} // namespace
} // namespace korva
