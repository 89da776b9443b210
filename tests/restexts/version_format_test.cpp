// VERSIONINFO resources as llvm-rc and windres write them, read, rebuilt in
// another language and read again by the reader and by a plain walk of the
// blocks that shares nothing with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "restexts/template_test_support.h"
#include "restexts/template_units.h"
#include "restexts/text_template.h"
#include "restexts/version_format.h"
#include "support/fixtures.h"

namespace korva::res {
namespace {

using test::ByteVector;
using test::PutU16;
using test::Toolchain;
using test::U16At;

// Two string tables, the first English: the one a reader without a language
// takes. Values the translation leaves alone stand between translated ones;
// keys are matched in any letter case.
constexpr const char* kTwoTables = R"(
1 VERSIONINFO
FILEVERSION 1,2,3,4
FILEOS 0x40004L
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", "Example Co"
      VALUE "FileDescription", "Text editor"
      VALUE "FileVersion", "1.2.3.4"
      VALUE "LegalCopyright", "(c) 2024 Example"
      VALUE "Comments", ""
      VALUE "ProductName", "Editor"
    END
    BLOCK "040704B0"
    BEGIN
      VALUE "FileDescription", "Texteditor"
      VALUE "legalTrademarks", "Marke"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200, 0x407, 1200
  END
END
)";

// One table in the language it is rebuilt in: lengths odd and even.
constexpr const char* kOneTable = R"(
1 VERSIONINFO
BEGIN
  BLOCK "StringFileInfo" { BLOCK "040904B0" {
    VALUE "FileDescription", "Odd"
    VALUE "OriginalFilename", "even.exe"
    VALUE "ProductName", "Four"
  } }
  BLOCK "VarFileInfo" { VALUE "Translation", 0x409, 1200 }
END
)";

ByteVector VersionBytes(Toolchain toolchain, const std::string& name, const std::string& script) {
    return test::ResourcesOf(test::BuildFixture(toolchain, name, script), 16)[1];
}

// A block as the format's documentation draws it, read without the
// reader's code: a text value holds wValueLength UTF-16 units (the
// terminator included), a binary one wValueLength bytes.
struct Node {
    std::size_t start = 0;
    std::uint16_t valueLength = 0;
    std::u16string key;
    ByteVector value;
    std::vector<Node> children;

    const Node* Child(std::u16string_view name) const {
        const auto it = std::find_if(children.begin(), children.end(),
                                     [&](const Node& child) { return child.key == name; });
        return it == children.end() ? nullptr : &*it;
    }
    std::u16string Text() const {
        std::u16string out;
        for (std::size_t i = 0; i + 1 < value.size() && U16At(value, i) != 0; i += 2) {
            out.push_back(static_cast<char16_t>(U16At(value, i)));
        }
        return out;
    }
};

Node Walk(const ByteVector& b, std::size_t start) {
    Node node{start, U16At(b, start + 2), {}, {}, {}};
    const std::size_t end = start + U16At(b, start);
    std::size_t at = start + 6;
    for (; U16At(b, at) != 0; at += 2) {
        node.key.push_back(static_cast<char16_t>(U16At(b, at)));
    }
    at = (at + 2 + 3) / 4 * 4;
    const std::size_t size = U16At(b, start + 4) == 1 ? 2U * node.valueLength : node.valueLength;
    node.value.assign(b.begin() + static_cast<std::ptrdiff_t>(at),
                      b.begin() + static_cast<std::ptrdiff_t>(at + size));
    for (at = (at + size + 3) / 4 * 4; at < end; at = (at + U16At(b, at) + 3) / 4 * 4) {
        node.children.push_back(Walk(b, at));
    }
    EXPECT_LE(end, b.size());
    return node;
}

std::vector<std::string> WhereOf(const TextTemplate& parsed) {
    std::vector<std::string> out;
    for (const ResourceText& text : parsed.Texts()) {
        out.push_back(text.where);
    }
    return out;
}

std::unique_ptr<TextTemplate> Parse(const ByteVector& bytes, std::optional<std::uint16_t> lang) {
    auto parsed = lang ? ParseVersionInfo(bytes, *lang) : ParseVersionInfo(bytes);
    EXPECT_TRUE(parsed.ok()) << parsed.error().message;
    return parsed.ok() ? std::move(parsed.value()) : nullptr;
}

class VersionToolchains : public testing::TestWithParam<Toolchain> {};

TEST_P(VersionToolchains, ReadsTheRightTableAndRebuildsOneInItsLanguage) {
    const ByteVector bytes = VersionBytes(GetParam(), "two_tables", kTwoTables);
    const auto first = Parse(bytes, std::nullopt);
    ASSERT_NE(first, nullptr);
    const std::vector<std::u16string> english{u"Text editor", u"(c) 2024 Example", u"", u"Editor"};
    EXPECT_EQ(test::TextsOf(*first), english);
    EXPECT_EQ(WhereOf(*first), (std::vector<std::string>{"FileDescription", "LegalCopyright",
                                                         "Comments", "ProductName"}));
    EXPECT_EQ(test::TextsOf(*Parse(bytes, 0x0407)),
              (std::vector<std::u16string>{u"Texteditor", u"Marke"}));
    EXPECT_EQ(test::TextsOf(*Parse(bytes, 0x0411)), english); // no such table: the first

    const std::vector<std::u16string> texts{u"Texteditor", u"\u00a9 2024 Beispiel", u"Kommentar",
                                            u"Editor f\u00fcr Texte"};
    const ByteVector built = test::BuildOrFail(*first, texts, 0x0007);
    EXPECT_EQ(test::TextsOf(*Parse(built, std::nullopt)), texts);
    const Node before = Walk(bytes, 0);
    const Node after = Walk(built, 0);
    EXPECT_EQ(U16At(built, 0), built.size());
    EXPECT_EQ(after.key, u"VS_VERSION_INFO");
    EXPECT_EQ(after.value, before.value); // the fixed file info
    const Node* info = after.Child(u"StringFileInfo");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->children.size(), 1U);
    const Node& table = info->children[0];
    EXPECT_EQ(table.key, u"000704B0");
    const Node& was = before.Child(u"StringFileInfo")->children[0];
    ASSERT_EQ(table.children.size(), was.children.size());
    const std::vector<std::u16string> expected{u"Example Co", texts[0], u"1.2.3.4",
                                               texts[1],      texts[2], texts[3]};
    for (std::size_t i = 0; i < table.children.size(); ++i) {
        EXPECT_EQ(table.children[i].key, was.children[i].key);
        EXPECT_EQ(table.children[i].Text(), expected[i]);
        EXPECT_EQ(table.children[i].valueLength, expected[i].size() + 1);
    }
    const Node* translation = after.Child(u"VarFileInfo")->Child(u"Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->value, (ByteVector{0x07, 0x00, 0xB0, 0x04}));

    // Rebuilt in its own language, a one-table resource is the compiler's
    // bytes: every length and padding as it writes them.
    const ByteVector one = VersionBytes(GetParam(), "one_table", kOneTable);
    EXPECT_EQ(test::BuildOrFail(*Parse(one, std::nullopt), {u"Odd", u"Four"}, 0x0409), one);
}

INSTANTIATE_TEST_SUITE_P(Compilers, VersionToolchains,
                         testing::Values(Toolchain::LldX64, Toolchain::MingwX64),
                         [](const auto& param) { return test::ToolchainName(param.param); });

// Vars other than Translation and children of the root the reader does not
// know are copied as they were.
TEST(VersionFormat, OtherVarsAndBlocksAreKept) {
    const std::string script = R"(
1 VERSIONINFO
BEGIN
  BLOCK "StringFileInfo" { BLOCK "040904E4" { VALUE "ProductName", "Editor" } }
  BLOCK "VarFileInfo" { VALUE "Translation", 0x409, 1252
                        VALUE "Other", 1, 2L }
  BLOCK "Custom" { VALUE "Thing", "x" }
END
)";
    const ByteVector bytes = VersionBytes(Toolchain::LldX64, "custom", script);
    const ByteVector built = test::BuildOrFail(*Parse(bytes, std::nullopt), {u"\u0420"}, 0x0019);
    const Node before = Walk(bytes, 0);
    const Node after = Walk(built, 0);
    EXPECT_EQ(after.Child(u"StringFileInfo")->children.at(0).key, u"001904B0");
    const Node* vars = after.Child(u"VarFileInfo");
    ASSERT_EQ(vars->children.size(), 2U);
    EXPECT_EQ(vars->children[0].value, (ByteVector{0x19, 0x00, 0xB0, 0x04}));
    EXPECT_EQ(vars->children[1].key, u"Other");
    EXPECT_EQ(vars->children[1].value, before.Child(u"VarFileInfo")->Child(u"Other")->value);
    const std::size_t was = before.Child(u"Custom")->start;
    const auto is = static_cast<std::ptrdiff_t>(after.Child(u"Custom")->start);
    EXPECT_TRUE(std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(was),
                           bytes.begin() + static_cast<std::ptrdiff_t>(was + U16At(bytes, was)),
                           built.begin() + is));
}

// Compilers and older tools count a string's wValueLength in UTF-16 units
// with or without the terminator, or in bytes; the texts are the same.
TEST(VersionFormat, EveryConventionOfValueLengthsReadsTheSameTexts) {
    const ByteVector bytes = VersionBytes(Toolchain::MingwX64, "two_tables", kTwoTables);
    const std::vector<std::u16string> expected = test::TextsOf(*Parse(bytes, std::nullopt));
    const Node root = Walk(bytes, 0);
    for (const int convention : {0, 1, 2}) {
        ByteVector changed = bytes;
        for (const Node& table : root.Child(u"StringFileInfo")->children) {
            for (const Node& string : table.children) {
                const std::uint16_t units = string.valueLength;
                PutU16(changed, string.start + 2,
                       static_cast<std::uint16_t>(convention == 0   ? 2 * units
                                                  : convention == 1 ? units - 1
                                                                    : 0));
            }
        }
        const auto parsed = Parse(changed, std::nullopt);
        ASSERT_NE(parsed, nullptr) << convention;
        EXPECT_EQ(test::TextsOf(*parsed), expected) << convention;
    }
}

std::size_t BlockOf(const ByteVector& bytes, std::u16string_view key) {
    for (std::size_t at = 6; at + 2 * key.size() <= bytes.size(); at += 2) {
        std::size_t i = 0;
        while (i < key.size() && U16At(bytes, at + 2 * i) == key[i]) {
            ++i;
        }
        if (i == key.size()) {
            return at - 6;
        }
    }
    ADD_FAILURE() << "no such key";
    return 0;
}

TEST(VersionFormat, RefusesMalformedResources) {
    const ByteVector valid = VersionBytes(Toolchain::LldX64, "two_tables", kTwoTables);
    const std::size_t info = BlockOf(valid, u"StringFileInfo");
    const std::size_t text = BlockOf(valid, u"FileDescription");
    test::ExpectRefusals(
        valid, TextFormat::Version,
        {
            {"no header", [](auto& b) { b.resize(4); }, "cut short before its header ends"},
            {"truncated", [](auto& b) { b.resize(b.size() - 8); }, "longer than its parent"},
            {"odd length", [](auto& b) { PutU16(b, 0, U16At(b, 0) - 1); }, "odd"},
            {"child past parent", [&](auto& b) { PutU16(b, info, U16At(b, info) + 0x100); },
             "longer than its parent"},
            {"block shorter than header", [&](auto& b) { PutU16(b, text, 4); },
             "shorter than its header"},
            {"key without zero", [&](auto& b) { PutU16(b, text, 10); },
             "key has no terminating zero"},
            {"value past block", [&](auto& b) { PutU16(b, text + 2, 0x200); },
             "more than its block holds"},
            {"fixed info past root", [](auto& b) { PutU16(b, 2, 0xF000); }, "fixed file info"},
            {"container value past block", [&](auto& b) { PutU16(b, info + 2, 0x4000); },
             "past its end"},
            {"another root", [](auto& b) { PutU16(b, 6, u'W'); }, "not VS_VERSION_INFO"},
            {"garbage after the last child",
             [](auto& b) {
                 b.insert(b.end(), {1, 0, 0, 0});
                 PutU16(b, 0, static_cast<std::uint16_t>(b.size()));
             },
             "cut short before its header ends"},
        });
    test::ExpectBuildRefusals(
        *Parse(valid, std::nullopt),
        {{"too long", {std::u16string(40000, u'x'), u"b", u"c", u"d"}, "16-bit length"},
         {"too few", {u"a"}, "1 texts for 4"}});
}

// Found by fuzzing: a binary value of odd length with nothing after it,
// kept as it was, must not leave the block's length odd.
TEST(VersionFormat, AnOddValueAtTheEndKeepsTheLengthEven) {
    test::TemplateBytes b; // header, key and padding to 40, a 3-byte value, one zero
    b.U16(44).U16(3).U16(0).Text(u"VS_VERSION_INFO").U16(0).Raw({0xBD, 0x04, 0xEF, 0});
    EXPECT_EQ(test::BuildOrFail(*Parse(b.Bytes(), std::nullopt), {}, 0x0409), b.Bytes());
}

} // namespace
} // namespace korva::res
