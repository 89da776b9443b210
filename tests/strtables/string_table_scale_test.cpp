#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/settings.h"
#include "langkeys/lang_const.h"
#include "strtables/pe/resource_module.h"
#include "strtables/string_tables.h"
#include "support/fixtures.h"
#include "support/string_table_script.h"
#include "support/workspace.h"

namespace korva {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

constexpr int kBlocks = 4096; // every block id a string table can have

// Blocks 1 to 4096 in language 0, one string each, as a resource compiler
// writes them.
std::string AllBlocksScript() {
    std::string rc = "STRINGTABLE\nLANGUAGE 0, 0\nBEGIN\n";
    for (int b = 1; b <= kBlocks; ++b) {
        rc += "  " + std::to_string(16 * (b - 1)) + " \"Block " + std::to_string(b) + "\"\n";
    }
    return rc + "END\n";
}

Text TextFor(int block, int key) {
    return std::string(LangKeys[static_cast<std::size_t>(key)].Name.substr(0, 3)) + " " +
           std::to_string(block);
}

// Each test rewrites its own copy of a fixture and may leave nothing else
// in its directory.
class StringTableScale : public testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        ResetSettings();
        ResetLangSelection();
        ResetResBlocks();
    }

    // A copy of `image` in a directory of its own; sets ProgFileName.
    void UseCopyOf(const std::string& image) {
        path_ = ws_.Copy(image, "target.dll");
        ProgFileName = path_;
    }

    test::Workspace ws_;
    std::string path_;
};

// Every block translated into all 43 language keys: 43 runs per block,
// CROATIAN and SERBIAN sharing one language id, so 42 copies remain of each
// block, SERBIAN's (the later run) in the shared one.
TEST_F(StringTableScale, FourThousandBlocksInAllFortyThreeLanguages) {
    UseCopyOf(test::BuildFixture(test::Toolchain::LldX64, "all_blocks", AllBlocksScript()));
    std::map<std::uint16_t, int> keyOfId; // the key whose text a language id ends with
    for (int b = 1; b <= kBlocks; ++b) {
        TResInfo record;
        record.ResType.Id = 6;
        record.ResName.Id = static_cast<std::uint16_t>(b);
        for (int key = 0; key < LangKeyCount; ++key) {
            record.Strings.Append(TextFor(b, key), LangIdOf(key));
            keyOfId[LangIdOf(key)] = key;
        }
        ResBlocks.push_back(std::move(record));
    }
    ASSERT_EQ(keyOfId.size(), 42u);
    ASSERT_TRUE(WriteStringTables());
    EXPECT_EQ(ws_.Listing(), std::set<std::string>{"target.dll"});

    ResetResBlocks();
    ASSERT_TRUE(ReadStringTables());
    ASSERT_EQ(ResBlocks.size(), static_cast<std::size_t>(kBlocks));
    for (int b = 1; b <= kBlocks; ++b) {
        const TResInfo& record = ResBlocks[static_cast<std::size_t>(b - 1)];
        ASSERT_EQ(record.ResName.Id, b);
        ASSERT_EQ(record.LangCount, 42) << "block " << b;
        EXPECT_FALSE(record.HasOrigNeutral) << "block " << b;
        ASSERT_EQ(record.Strings.Count(), 42u) << "block " << b;
        // Languages come back in ascending id order, one text each.
        auto expected = keyOfId.begin();
        for (std::size_t i = 0; i < record.Strings.Count(); ++i, ++expected) {
            ASSERT_EQ(record.Strings.GetObject(i), expected->first) << "block " << b;
            ASSERT_EQ(record.Strings.Text(i), TextFor(b, expected->second)) << "block " << b;
        }
    }
}

// A length word counts at most 65535 code units: that text is written
// whole, one more fails the whole write and leaves the file as it was.
TEST_F(StringTableScale, TextsAtAndPastTheLengthWordsLimit) {
    const std::string image =
        test::BuildFixture(test::Toolchain::LldX64, "strings", test::kStringTableScript);
    struct Case {
        std::size_t length;
        bool written;
    };
    for (const Case c : {Case{65535, true}, Case{65536, false}, Case{1000000, false}}) {
        UseCopyOf(image);
        const Bytes8 before = test::ReadWholeFile(path_);
        Text text(c.length, 'x');
        for (std::size_t i = 0; i < text.size(); i += 7) {
            text[i] = static_cast<char>('a' + i % 26);
        }
        text.back() = '\xE9'; // the last unit must survive too
        ResetResBlocks();
        TResInfo record;
        record.ResType.Id = 6;
        record.ResName.Id = 1;
        record.Strings.Append("", 7);
        record.Strings.Append(text, 7);
        ResBlocks.push_back(std::move(record));

        EXPECT_EQ(WriteStringTables(), c.written) << c.length;
        EXPECT_EQ(ws_.Listing(), std::set<std::string>{"target.dll"}) << c.length;
        if (!c.written) {
            EXPECT_EQ(test::ReadWholeFile(path_), before) << c.length;
            continue;
        }
        Result<pe::ResourceModule> module = pe::ResourceModule::Open(path_);
        ASSERT_TRUE(module.ok());
        const pe::ResourceData* data =
            module->Find(pe::ResourceId::Id(6), pe::ResourceId::Id(1), 7);
        ASSERT_NE(data, nullptr);
        // Two slots, fourteen empty ones to fill the block, the closing word.
        ASSERT_EQ(data->bytes.size(), 2 + (2 + 2 * c.length) + 2 * 14 + 2);
        EXPECT_EQ(data->bytes[2] | (data->bytes[3] << 8), 0xFFFF);
        bool same = true;
        for (std::size_t i = 0; i < c.length && same; ++i) {
            const std::size_t at = 4 + 2 * i;
            const auto unit = static_cast<unsigned>(data->bytes[at] | (data->bytes[at + 1] << 8));
            same = unit == static_cast<unsigned char>(text[i]);
        }
        EXPECT_TRUE(same) << "the code units differ from the text";
        EXPECT_EQ(module->Find(pe::ResourceId::Id(6), pe::ResourceId::Id(1), 0), nullptr);
    }
}

} // namespace
} // namespace korva
