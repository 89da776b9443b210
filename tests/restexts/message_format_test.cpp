// Message tables as windmc writes them (ANSI and Unicode) and one that mixes
// both, linked into images by both toolchains, read and rebuilt.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "restexts/template_units.h"
#include "restexts/text_template.h"
#include "strtables/pe/resource_module.h"
#include "support/fixtures.h"

namespace korva::res {
namespace {

using test::Toolchain;

constexpr std::uint16_t kRtMessageTable = 11;

// Ids 1, 2 and 12 make two blocks; the last message has two lines, and
// \xE9 and \x80 are the Windows-1252 bytes of e-acute and the euro sign.
constexpr const char* kMessages = "MessageIdTypedef=DWORD\n"
                                  "LanguageNames=(English=0x409:MSG00409)\n"
                                  "MessageId=1\nSymbolicName=MSG_ONE\nLanguage=English\n"
                                  "File %1 not found.\n.\n"
                                  "MessageId=2\nSymbolicName=MSG_TWO\nLanguage=English\n"
                                  "Caf\xE9 \x80%2\n.\n"
                                  "MessageId=12\nSymbolicName=MSG_TWELVE\nLanguage=English\n"
                                  "Twelve.\nSecond line.\n.\n";

const std::vector<std::u16string> kExpected{u"File %1 not found.\n", u"Caf\u00e9 \u20ac%2\n",
                                            u"Twelve.\nSecond line.\n"};

// windmc's table of kMessages, ANSI (-A) or Unicode (-U).
std::string WindmcTable(const std::string& mode) {
    const std::string dir = (test::ScratchDir() / ("windmc" + mode)).string();
    test::RunOrThrow("mkdir -p " + test::ShellQuote(dir));
    const std::string mc = test::WriteScratchFile("messages" + mode + ".mc", kMessages);
    test::RunOrThrow("cd " + test::ShellQuote(dir) + " && x86_64-w64-mingw32-windmc " + mode +
                     " -h . -r . " + test::ShellQuote(mc));
    return dir + "/MSG00409.bin";
}

// The table's bytes as the image built around it holds them. The type is
// given by number: llvm-rc reads the word MESSAGETABLE as a type's name.
std::vector<std::uint8_t> TableBytes(Toolchain toolchain, const std::string& name,
                                     const std::string& binPath) {
    const std::string path = test::BuildFixture(toolchain, name, "1 11 \"" + binPath + "\"\n");
    auto module = pe::ResourceModule::Open(path);
    EXPECT_TRUE(module.ok()) << path;
    std::vector<std::uint8_t> out;
    const pe::ResourceId type = pe::ResourceId::Id(kRtMessageTable);
    module->EnumLanguages(type, pe::ResourceId::Id(1), [&](std::uint16_t language) {
        const pe::ResourceData* data = module->Find(type, pe::ResourceId::Id(1), language);
        out.assign(data->bytes.begin(), data->bytes.end());
        return false;
    });
    EXPECT_FALSE(out.empty());
    return out;
}

std::vector<std::u16string> TextsOf(const TextTemplate& parsed) {
    std::vector<std::u16string> out;
    for (const ResourceText& text : parsed.Texts()) {
        out.push_back(text.text);
    }
    return out;
}

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 |
                                      b.at(at + 3) << 24);
}

// The blocks' id ranges, read without the reader.
std::vector<std::pair<std::uint32_t, std::uint32_t>> IdRanges(const std::vector<std::uint8_t>& b) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (std::uint32_t i = 0; i < U32At(b, 0); ++i) {
        out.emplace_back(U32At(b, 4 + 12 * i), U32At(b, 8 + 12 * i));
    }
    return out;
}

class MessageTables : public testing::TestWithParam<std::tuple<Toolchain, std::string>> {};

TEST_P(MessageTables, TextsKeepTheirLineEndsAndRoundTrip) {
    const auto& [toolchain, mode] = GetParam();
    const std::vector<std::uint8_t> bytes =
        TableBytes(toolchain, "messages" + mode, WindmcTable(mode));
    auto parsed = ParseMessageTable(bytes);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    EXPECT_EQ(TextsOf(**parsed), kExpected);
    std::vector<std::string> where;
    for (const ResourceText& text : (*parsed)->Texts()) {
        where.push_back(text.where);
    }
    EXPECT_EQ(where, (std::vector<std::string>{"0x00000001", "0x00000002", "0x0000000C"}));

    const std::vector<std::u16string_view> texts{u"Datei %1 nicht gefunden.\r\n", u"",
                                                 u"\u0414\u0432\u0435\u043d\u0430\u0434\u0446"
                                                 u"\u0430\u0442\u044c.\n"};
    auto built = (*parsed)->Build(texts, 0x0007);
    ASSERT_TRUE(built.ok()) << built.error().message;
    auto again = ParseMessageTable(*built);
    ASSERT_TRUE(again.ok()) << again.error().message;
    EXPECT_EQ(TextsOf(**again), std::vector<std::u16string>(texts.begin(), texts.end()));
    EXPECT_EQ(IdRanges(*built), IdRanges(bytes));
}

INSTANTIATE_TEST_SUITE_P(Compilers, MessageTables,
                         testing::Combine(testing::Values(Toolchain::LldX64, Toolchain::MingwX64),
                                          testing::Values(std::string("-A"), std::string("-U"))),
                         [](const auto& param) {
                             return test::ToolchainName(std::get<0>(param.param)) +
                                    (std::get<1>(param.param) == "-A" ? "_ansi" : "_unicode");
                         });

// Written as Unicode with the same texts, windmc's Unicode table comes back
// byte for byte: lengths, terminators, padding and offsets as it writes them.
TEST(MessageFormat, RebuildingWindmcsUnicodeTableGivesItsBytes) {
    const std::vector<std::uint8_t> unicode =
        TableBytes(Toolchain::MingwX64, "messages-U", WindmcTable("-U"));
    const std::vector<std::uint8_t> ansi =
        TableBytes(Toolchain::MingwX64, "messages-A", WindmcTable("-A"));
    auto parsed = ParseMessageTable(ansi);
    ASSERT_TRUE(parsed.ok());
    const std::vector<std::u16string_view> same(kExpected.begin(), kExpected.end());
    auto built = (*parsed)->Build(same, 0x0409);
    ASSERT_TRUE(built.ok());
    EXPECT_EQ(*built, unicode);
}

// A table no compiler writes: a block with an ANSI entry ending CR LF and a
// Unicode entry padded with extra zeros, then a block of one id.
std::vector<std::uint8_t> MixedTable() {
    TemplateWriter out;
    out.U32(2);
    out.U32(0x10);
    out.U32(0x11);
    out.U32(28);
    out.U32(0xC0000005);
    out.U32(0xC0000005);
    out.U32(28 + 12 + 16);
    out.U16(12); // "\x93Hi\x94\r\n" and its zero, padded
    out.U16(0);
    out.Raw(std::vector<std::uint8_t>{0x93, 'H', 'i', 0x94, '\r', '\n', 0, 0});
    out.U16(16); // u"Ok" and four zero units
    out.U16(1);
    out.String(u"Ok");
    out.U32(0);
    out.U16(0);
    out.U16(8);
    out.U16(1);
    out.String(u"!");
    return std::move(out).Take();
}

TEST(MessageFormat, AnsiAndUnicodeEntriesMix) {
    const std::string bin = test::WriteScratchFile("mixed.bin", MixedTable());
    for (const Toolchain toolchain : {Toolchain::LldX64, Toolchain::MingwX64}) {
        auto parsed = ParseMessageTable(TableBytes(toolchain, "mixed", bin));
        ASSERT_TRUE(parsed.ok()) << parsed.error().message;
        EXPECT_EQ(TextsOf(**parsed),
                  (std::vector<std::u16string>{u"\u201cHi\u201d\r\n", u"Ok", u"!"}));
        EXPECT_EQ((*parsed)->Texts()[2].where, "0xC0000005");
    }
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<std::uint8_t>(value);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

TEST(MessageFormat, MalformedTablesAreRefusedWithTheirReason) {
    const std::vector<std::uint8_t> valid = MixedTable();
    ASSERT_TRUE(ParseMessageTable(valid).ok());
    struct Row {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> corrupt;
        const char* reason;
    };
    const std::vector<Row> rows{
        {"no count", [](auto& b) { b.resize(3); }, "cut short before the number of blocks"},
        {"too many blocks", [](auto& b) { PutU32(b, 0, 6); }, "6 blocks, more than the data"},
        {"blocks cut", [](auto& b) { b.resize(20); }, "2 blocks, more than the data"},
        {"ids backwards", [](auto& b) { PutU32(b, 8, 0xF); }, "below its first"},
        {"ids past the data", [](auto& b) { PutU32(b, 8, 0xFFFFFFFF); }, "more than the data"},
        {"entries past the data", [](auto& b) { PutU32(b, 12, 0x10000); }, "past the data"},
        {"entry shorter than header", [](auto& b) { PutU16(b, 28, 2); }, "shorter than its header"},
        {"entry past the data", [](auto& b) { PutU16(b, 56, 0x100); }, "runs past the data"},
        {"unknown flags", [](auto& b) { PutU16(b, 30, 7); }, "unknown entry flags"},
        {"last entry cut", [](auto& b) { b.resize(b.size() - 2); }, "runs past the data"},
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> bytes = valid;
        row.corrupt(bytes);
        auto parsed = ParseMessageTable(bytes);
        ASSERT_FALSE(parsed.ok()) << row.name;
        EXPECT_NE(parsed.error().message.find(row.reason), std::string::npos)
            << row.name << ": " << parsed.error().message;
    }
}

TEST(MessageFormat, ATextTooLongForAnEntryIsRefused) {
    auto parsed = ParseMessageTable(MixedTable());
    ASSERT_TRUE(parsed.ok());
    const std::u16string fits(32761, u'x'); // 4 + 2 * 32762 = 65528 bytes
    const std::u16string tooLong(32766, u'x');
    const std::vector<std::u16string_view> fitting{fits, u"", u""};
    EXPECT_TRUE((*parsed)->Build(fitting, 0).ok());
    const std::vector<std::u16string_view> texts{u"", tooLong, u""};
    auto built = (*parsed)->Build(texts, 0);
    ASSERT_FALSE(built.ok());
    EXPECT_NE(built.error().message.find("message 0x00000011"), std::string::npos)
        << built.error().message;
    EXPECT_NE(built.error().message.find("16-bit length"), std::string::npos);
}

} // namespace
} // namespace korva::res
