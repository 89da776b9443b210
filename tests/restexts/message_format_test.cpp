// Message tables as windmc writes them (ANSI and Unicode), linked into
// images by both toolchains, and one that mixes both kinds of entry: read,
// rebuilt and refused when malformed.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "restexts/template_test_support.h"
#include "restexts/text_template.h"
#include "support/fixtures.h"

namespace korva::res {
namespace {

using test::ByteVector;
using test::Toolchain;

// Ids 1, 2 and 12 make two blocks; the last message has two lines, and
// \xE9 and \x80 are the Windows-1252 bytes of e-acute and the euro sign.
constexpr const char* kMessages = "MessageIdTypedef=DWORD\n"
                                  "LanguageNames=(English=0x409:MSG00409)\n"
                                  "MessageId=1\nLanguage=English\nFile %1 not found.\n.\n"
                                  "MessageId=2\nLanguage=English\nCaf\xE9 \x80%2\n.\n"
                                  "MessageId=12\nLanguage=English\nTwelve.\nSecond line.\n.\n";

const std::vector<std::u16string> kExpected{u"File %1 not found.\n", u"Caf\u00e9 \u20ac%2\n",
                                            u"Twelve.\nSecond line.\n"};

// windmc's table of kMessages, ANSI (-A) or Unicode (-U), as the image built
// around it holds it. The type is given by number: llvm-rc reads the word
// MESSAGETABLE as a type's name.
ByteVector TableBytes(Toolchain toolchain, const std::string& mode) {
    const std::string dir = (test::ScratchDir() / ("windmc" + mode)).string();
    const std::string mc = test::WriteScratchFile("messages" + mode + ".mc", kMessages);
    test::RunOrThrow("mkdir -p " + test::ShellQuote(dir) + " && cd " + test::ShellQuote(dir) +
                     " && x86_64-w64-mingw32-windmc " + mode + " -h . -r . " +
                     test::ShellQuote(mc));
    const std::string path =
        test::BuildFixture(toolchain, "messages" + mode, "1 11 \"" + dir + "/MSG00409.bin\"\n");
    return test::ResourcesOf(path, 11)[1];
}

// The blocks' id ranges, read without the reader.
std::vector<std::pair<std::uint32_t, std::uint32_t>> IdRanges(const ByteVector& b) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (std::uint32_t i = 0; i < test::U32At(b, 0); ++i) {
        out.emplace_back(test::U32At(b, 4 + 12 * i), test::U32At(b, 8 + 12 * i));
    }
    return out;
}

class MessageTables : public testing::TestWithParam<std::tuple<Toolchain, std::string>> {};

TEST_P(MessageTables, TextsKeepTheirLineEndsAndRoundTrip) {
    const auto& [toolchain, mode] = GetParam();
    const ByteVector bytes = TableBytes(toolchain, mode);
    const auto parsed = test::ParseOrFail(TextFormat::MessageTable, bytes);
    EXPECT_EQ(test::TextsOf(*parsed), kExpected);
    std::vector<std::string> where;
    for (const ResourceText& text : parsed->Texts()) {
        where.push_back(text.where);
    }
    EXPECT_EQ(where, (std::vector<std::string>{"0x00000001", "0x00000002", "0x0000000C"}));

    const std::vector<std::u16string> texts{u"Datei %1 nicht gefunden.\r\n", u"",
                                            u"\u0414\u0432\u0435\u043d\u0430\u0434\u0446.\n"};
    const ByteVector built = test::BuildOrFail(*parsed, texts, 0x0007);
    EXPECT_EQ(test::TextsOf(*test::ParseOrFail(TextFormat::MessageTable, built)), texts);
    EXPECT_EQ(IdRanges(built), IdRanges(bytes));
    // Written as Unicode with the same texts, any table is windmc's Unicode
    // one byte for byte: lengths, terminators, padding and offsets.
    EXPECT_EQ(test::BuildOrFail(*parsed, kExpected, 0x0409), TableBytes(toolchain, "-U"));
}

INSTANTIATE_TEST_SUITE_P(Compilers, MessageTables,
                         testing::Combine(testing::Values(Toolchain::LldX64, Toolchain::MingwX64),
                                          testing::Values(std::string("-A"), std::string("-U"))),
                         [](const auto& param) {
                             return test::ToolchainName(std::get<0>(param.param)) +
                                    (std::get<1>(param.param) == "-A" ? "_ansi" : "_unicode");
                         });

// A table no compiler writes: a block with an ANSI entry ending CR LF and a
// Unicode entry padded with extra zeros, then a block of one id.
TEST(MessageFormat, MixedEntriesAndMalformedTables) {
    test::TemplateBytes t;
    t.U32(2).U32(0x10).U32(0x11).U32(28).U32(0xC0000005).U32(0xC0000005).U32(28 + 12 + 16);
    t.U16(12).U16(0).Raw({0x93, 'H', 'i', 0x94, '\r', '\n', 0, 0}); // ANSI, padded
    t.U16(16).U16(1).Text(u"Ok").U32(0).U16(0);                     // four zero units
    t.U16(8).U16(1).Text(u"!");
    const ByteVector valid = t.Bytes();
    const auto parsed = test::ParseOrFail(TextFormat::MessageTable, valid);
    EXPECT_EQ(test::TextsOf(*parsed),
              (std::vector<std::u16string>{u"\u201cHi\u201d\r\n", u"Ok", u"!"}));
    EXPECT_EQ(parsed->Texts()[2].where, "0xC0000005");

    using test::PutU16;
    using test::PutU32;
    test::ExpectRefusals(
        valid, TextFormat::MessageTable,
        {
            {"no count", [](auto& b) { b.resize(3); }, "cut short before the number of blocks"},
            {"too many blocks", [](auto& b) { PutU32(b, 0, 6); }, "6 blocks, more than the data"},
            {"blocks cut", [](auto& b) { b.resize(20); }, "2 blocks, more than the data"},
            {"ids backwards", [](auto& b) { PutU32(b, 8, 0xF); }, "below its first"},
            {"ids past the data", [](auto& b) { PutU32(b, 8, 0xFFFFFFFF); }, "more than the data"},
            {"entries past the data", [](auto& b) { PutU32(b, 12, 0x10000); }, "past the data"},
            {"entry shorter than header", [](auto& b) { PutU16(b, 28, 2); },
             "shorter than its header"},
            {"entry past the data", [](auto& b) { PutU16(b, 56, 0x100); }, "runs past the data"},
            {"unknown flags", [](auto& b) { PutU16(b, 30, 7); }, "unknown entry flags"},
            {"last entry cut", [](auto& b) { b.resize(b.size() - 2); }, "runs past the data"},
        });
    // 4 + 2 * 32762 = 65528 bytes fit an entry's length; more do not.
    EXPECT_TRUE(test::Build(*parsed, {std::u16string(32761, u'x'), u"", u""}, 0).ok());
    test::ExpectBuildRefusals(
        *parsed, {{"too long", {u"", std::u16string(32766, u'x'), u""}, "message 0x00000011"},
                  {"too long", {u"", std::u16string(32766, u'x'), u""}, "16-bit length"}});
}

} // namespace
} // namespace korva::res
