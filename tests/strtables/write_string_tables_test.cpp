#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/settings.h"
#include "langkeys/lang_const.h"
#include "strtables/pe/resource_module.h"
#include "strtables/string_tables.h"
#include "support/fixtures.h"
#include "support/string_table_script.h"

namespace korva {
namespace {

namespace fs = std::filesystem;
using Bytes8 = std::vector<std::uint8_t>;

const pe::ResourceId kStrings = pe::ResourceId::Id(6);

TResInfo Block(std::uint16_t id, std::vector<std::pair<Text, std::int32_t>> entries) {
    TResInfo record;
    record.ResType.Id = 6;
    record.ResName.Id = id;
    record.DisplayName = "#" + std::to_string(id);
    for (auto& [text, object] : entries) {
        record.Strings.Append(std::move(text), object);
    }
    return record;
}

Bytes8 Words(std::initializer_list<std::uint16_t> words) {
    Bytes8 out;
    for (const std::uint16_t w : words) {
        out.push_back(static_cast<std::uint8_t>(w));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return out;
}

// A run as it is written: each text a length word and its code units, empty
// slots up to the block's sixteen, then the closing zero word.
Bytes8 RunWords(std::initializer_list<std::u16string> texts) {
    Bytes8 out;
    const auto word = [&out](char16_t w) {
        out.push_back(static_cast<std::uint8_t>(w));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    };
    for (const std::u16string& text : texts) {
        word(static_cast<char16_t>(text.size()));
        for (const char16_t unit : text) {
            word(unit);
        }
    }
    for (std::size_t slot = texts.size(); slot <= 16; ++slot) {
        word(0);
    }
    return out;
}

// Each test writes into its own copy of an image built from the shared
// string-table script (blocks 1 to 4 in language 0, block 4 also in 0x0407,
// block 5 only in 0x0409, and an RCDATA resource).
class WriteStringTablesTest : public testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        ResetLangSelection();
        ResetResBlocks();
        const std::string image =
            test::BuildFixture(test::Toolchain::LldX64, "strings", test::kStringTableScript);
        path_ =
            (test::ScratchDir() /
             (std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + ".dll"))
                .string();
        fs::copy_file(image, path_, fs::copy_options::overwrite_existing);
        ProgFileName = path_;
        before_ = test::ReadWholeFile(path_);
    }
    void TearDown() override {
        ResetSettings();
        ResetLangSelection();
        ResetResBlocks();
    }

    pe::ResourceModule Reread() const {
        Result<pe::ResourceModule> module = pe::ResourceModule::Open(path_);
        EXPECT_TRUE(module.ok());
        return std::move(*module);
    }
    static Bytes8 Data(const pe::ResourceModule& module, std::uint16_t block,
                       std::uint16_t language) {
        const pe::ResourceData* data = module.Find(kStrings, pe::ResourceId::Id(block), language);
        return data == nullptr ? Bytes8{0xDE, 0xAD}
                               : Bytes8(data->bytes.begin(), data->bytes.end());
    }
    static bool Has(const pe::ResourceModule& module, std::uint16_t block, std::uint16_t language) {
        return module.Find(kStrings, pe::ResourceId::Id(block), language) != nullptr;
    }
    // Every copy of blocks 2 to 5 and the RCDATA resource as before.
    void ExpectOtherBlocksUntouched(const pe::ResourceModule& after) const {
        Result<pe::ResourceModule> original = pe::ResourceModule::FromBytes(before_);
        ASSERT_TRUE(original.ok());
        for (const auto& [block, language] : std::vector<std::pair<std::uint16_t, std::uint16_t>>{
                 {2, 0}, {3, 0}, {4, 0}, {4, 0x407}, {5, 0x409}}) {
            EXPECT_EQ(Data(after, block, language), Data(*original, block, language))
                << "block " << block << " language " << language;
        }
        const pe::ResourceId rcdata = pe::ResourceId::Id(10);
        const pe::ResourceId mydata = pe::ResourceId::Name(u"MYDATA");
        ASSERT_NE(after.Find(rcdata, mydata, 0x409), nullptr);
    }

    std::string path_;
    Bytes8 before_;
};

TEST_F(WriteStringTablesTest, WritesEachRunAndDeletesTheNeutralCopy) {
    ResBlocks.push_back(Block(1, {{"", 9},
                                  {"Open", 9},
                                  {"", 7},
                                  {"\xD6"
                                   "ffnen",
                                   7}}));
    ASSERT_TRUE(WriteStringTables());
    const pe::ResourceModule after = Reread();
    EXPECT_EQ(Data(after, 1, 9), RunWords({u"", u"Open"}));
    EXPECT_EQ(Data(after, 1, 7), RunWords({u"", u"\u00D6ffnen"}));
    EXPECT_FALSE(Has(after, 1, 0));
    ExpectOtherBlocksUntouched(after);
}

TEST_F(WriteStringTablesTest, RunDataFollowsTheTextsExactly) {
    struct Case {
        const char* what;
        std::vector<std::pair<Text, std::int32_t>> entries;
        Bytes8 expected;
    };
    const Case cases[] = {
        {"three empty texts", {{"", 9}, {"", 9}, {"", 9}}, RunWords({})},
        {"empty texts at the end", {{"a", 9}, {"", 9}, {"", 9}}, RunWords({u"a"})},
        {"NUL inside a text",
         {{std::string("a\0b", 3), 9}},
         RunWords({std::u16string(u"a\0b", 3)})},
        {"1252 beyond ASCII", {{"\x80\x81\xFF", 9}}, RunWords({u"\u20AC\u0081\u00FF"})},
        // A short run fills its block, so that no id past its end reads on.
        {"fifteen texts", std::vector<std::pair<Text, std::int32_t>>(15, {"z", 9}),
         RunWords({u"z", u"z", u"z", u"z", u"z", u"z", u"z", u"z", u"z", u"z", u"z", u"z", u"z",
                   u"z", u"z"})},
    };
    for (const Case& c : cases) {
        ResetResBlocks();
        fs::copy_file(
            test::BuildFixture(test::Toolchain::LldX64, "strings", test::kStringTableScript), path_,
            fs::copy_options::overwrite_existing);
        ResBlocks.push_back(Block(2, c.entries));
        ASSERT_TRUE(WriteStringTables()) << c.what;
        EXPECT_EQ(Data(Reread(), 2, 9), c.expected) << c.what;
    }
}

TEST_F(WriteStringTablesTest, SixteenTextsGetTheClosingWordToo) {
    std::vector<std::pair<Text, std::int32_t>> entries;
    Bytes8 expected;
    for (int i = 0; i < 16; ++i) {
        entries.push_back({std::string(1, static_cast<char>('A' + i)), 9});
        const Bytes8 pair = Words({1, static_cast<std::uint16_t>('A' + i)});
        expected.insert(expected.end(), pair.begin(), pair.end());
    }
    expected.push_back(0);
    expected.push_back(0);
    ResBlocks.push_back(Block(2, entries));
    ASSERT_TRUE(WriteStringTables());
    EXPECT_EQ(Data(Reread(), 2, 9), expected);
}

TEST_F(WriteStringTablesTest, ARunInTheOriginalNeutralLanguageReplacesItAndIsNotDeleted) {
    OrigNeutralLangId = 0x407;
    ResBlocks.push_back(Block(4, {{"Neu", 0x407}, {"New", 9}}));
    ASSERT_TRUE(WriteStringTables());
    const pe::ResourceModule after = Reread();
    EXPECT_EQ(Data(after, 4, 0x407), RunWords({u"Neu"}));
    EXPECT_EQ(Data(after, 4, 9), RunWords({u"New"}));
    EXPECT_TRUE(Has(after, 4, 0)) << "only the OrigNeutralLangId copy is the block's to delete";
}

TEST_F(WriteStringTablesTest, SameLanguageRunsMergeWhenAdjacentAndTheLaterWinsOtherwise) {
    // CROATIAN and SERBIAN share 0x001A.
    ResBlocks.push_back(Block(1, {{"hr", 0x1A}, {"sr", 0x1A}}));
    ResBlocks.push_back(Block(2, {{"hr", 0x1A}, {"de", 7}, {"sr", 0x1A}}));
    ASSERT_TRUE(WriteStringTables());
    const pe::ResourceModule after = Reread();
    EXPECT_EQ(Data(after, 1, 0x1A), RunWords({u"hr", u"sr"}));
    EXPECT_EQ(Data(after, 2, 0x1A), RunWords({u"sr"}));
    EXPECT_EQ(Data(after, 2, 7), RunWords({u"de"}));
}

TEST_F(WriteStringTablesTest, SkippedBlocksAreLeftAloneAndAnEmptyListOnlyDeletes) {
    TResInfo skipped = Block(4, {{"x", 9}});
    skipped.Skipped = true;
    ResBlocks.push_back(std::move(skipped));
    ResBlocks.push_back(Block(3, {}));
    ASSERT_TRUE(WriteStringTables());
    const pe::ResourceModule after = Reread();
    EXPECT_FALSE(Has(after, 4, 9));
    EXPECT_TRUE(Has(after, 4, 0));
    EXPECT_TRUE(Has(after, 4, 0x407));
    EXPECT_FALSE(Has(after, 3, 0));
}

TEST_F(WriteStringTablesTest, EveryBlockSkippedSucceedsWithoutRewriting) {
    TResInfo skipped = Block(1, {{"x", 9}});
    skipped.Skipped = true;
    ResBlocks.push_back(std::move(skipped));
    struct stat before {};
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);
    ASSERT_TRUE(WriteStringTables());
    struct stat after {};
    ASSERT_EQ(::stat(path_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(test::ReadWholeFile(path_), before_);
}

TEST_F(WriteStringTablesTest, AnyFailureLeavesTheFileUnchanged) {
    // Block 1 is staged first and must not reach the file either.
    ResBlocks.push_back(Block(1, {{"fine", 9}}));
    ResBlocks.push_back(Block(2, {{std::string(65535, 'a'), 9}}));
    ResBlocks.push_back(Block(3, {{std::string(65536, 'a'), 9}}));
    EXPECT_FALSE(WriteStringTables());
    EXPECT_EQ(test::ReadWholeFile(path_), before_);

    ResetResBlocks();
    ResBlocks.push_back(Block(1, {{"fine", 9}}));
    ProgFileName = path_ + ".missing";
    EXPECT_FALSE(WriteStringTables());
}

// The form korva-dat's check runs: a rehearsal fails or succeeds as the
// write does, in its words, and leaves the file as it was; it writes in the
// code page and languages it is given, not the run's.
TEST_F(WriteStringTablesTest, ARehearsalFailsAsTheWriteWouldAndLeavesTheFile) {
    struct Case {
        const char* what;
        std::vector<TResInfo> blocks;
        std::string why; // empty when the write goes through
    };
    std::vector<Case> cases;
    cases.push_back({"a UTF-8 text", {}, ""});
    cases.back().blocks.push_back(Block(1, {{"\xC3\x96"
                                             "ffnen",
                                             7}}));
    cases.push_back({"a text too long after a good block", {}, ""});
    cases.back().blocks.push_back(Block(1, {{"fine", 9}}));
    cases.back().blocks.push_back(Block(3, {{std::string(65536, 'a'), 9}}));
    cases.back().why = "a text of block #3 is longer than the 65535 UTF-16 code units";
    LangSelection languages;
    languages.origNeutralLangId = 0;
    for (const Case& c : cases) {
        fs::copy_file(
            test::BuildFixture(test::Toolchain::LldX64, "strings", test::kStringTableScript), path_,
            fs::copy_options::overwrite_existing);
        struct stat before {};
        ASSERT_EQ(::stat(path_.c_str(), &before), 0);
        StringTableWriteOptions options{
            .codePage = CodePage::Utf8, .languages = languages, .rehearse = true};
        const Result<void> rehearsed = WriteStringTables(path_, c.blocks, options);
        struct stat after {};
        ASSERT_EQ(::stat(path_.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << c.what;
        EXPECT_EQ(test::ReadWholeFile(path_), before_) << c.what;

        options.rehearse = false;
        const Result<void> written = WriteStringTables(path_, c.blocks, options);
        ASSERT_EQ(rehearsed.ok(), written.ok()) << c.what;
        if (c.why.empty()) {
            ASSERT_TRUE(written.ok()) << c.what << ": " << written.error().message;
            EXPECT_EQ(Data(Reread(), 1, 7), RunWords({u"\u00D6ffnen"})) << c.what;
            continue;
        }
        EXPECT_EQ(rehearsed.error().message, written.error().message) << c.what;
        EXPECT_NE(rehearsed.error().message.find(c.why), std::string::npos)
            << c.what << ": " << rehearsed.error().message;
    }
}

} // namespace
} // namespace korva
