// VERSIONINFO resources as llvm-rc and windres write them, read, rebuilt in
// another language and read again by the reader and by a plain walk of the
// blocks that shares nothing with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "restexts/template_units.h"
#include "restexts/text_template.h"
#include "restexts/version_format.h"
#include "strtables/pe/resource_module.h"
#include "support/fixtures.h"

namespace korva::res {
namespace {

using test::Toolchain;

constexpr std::uint16_t kRtVersion = 16;

// Two string tables, the first English: the one a reader without a language
// takes. Values the translation leaves alone stand between translated ones.
constexpr const char* kTwoTables = R"(
1 VERSIONINFO
FILEVERSION 1,2,3,4
PRODUCTVERSION 1,2,0,0
FILEFLAGSMASK 0x3fL
FILEOS 0x40004L
FILETYPE 0x1L
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
      VALUE "ProductVersion", "1.2"
      VALUE "LegalTrademarks", "Marke"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200, 0x407, 1200
  END
END
)";

std::vector<std::uint8_t> VersionBytes(Toolchain toolchain, const std::string& name,
                                       const std::string& script) {
    const std::string path = test::BuildFixture(toolchain, name, script);
    auto module = pe::ResourceModule::Open(path);
    EXPECT_TRUE(module.ok()) << path;
    std::vector<std::uint8_t> out;
    module->EnumLanguages(
        pe::ResourceId::Id(kRtVersion), pe::ResourceId::Id(1), [&](std::uint16_t language) {
            const pe::ResourceData* data =
                module->Find(pe::ResourceId::Id(kRtVersion), pe::ResourceId::Id(1), language);
            out.assign(data->bytes.begin(), data->bytes.end());
            return false;
        });
    EXPECT_FALSE(out.empty());
    return out;
}

// A block as the format's documentation draws it, read without the
// reader's code: a text value holds wValueLength UTF-16 units (the
// terminator included), a binary one wValueLength bytes.
struct Node {
    std::size_t start = 0;
    std::uint16_t valueLength = 0;
    std::uint16_t type = 0;
    std::u16string key;
    std::vector<std::uint8_t> value;
    std::vector<Node> children;

    const Node* Child(std::u16string_view name) const {
        for (const Node& child : children) {
            if (child.key == name) {
                return &child;
            }
        }
        return nullptr;
    }
    std::u16string Text() const {
        std::u16string out;
        for (std::size_t i = 0; i + 1 < value.size() && (value[i] | value[i + 1]) != 0; i += 2) {
            out.push_back(static_cast<char16_t>(value[i] | value[i + 1] << 8));
        }
        return out;
    }
};

std::uint16_t U16At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

Node Walk(const std::vector<std::uint8_t>& b, std::size_t start) {
    Node node;
    node.start = start;
    const std::size_t end = start + U16At(b, start);
    node.valueLength = U16At(b, start + 2);
    node.type = U16At(b, start + 4);
    std::size_t at = start + 6;
    for (; U16At(b, at) != 0; at += 2) {
        node.key.push_back(static_cast<char16_t>(U16At(b, at)));
    }
    at = (at + 2 + 3) / 4 * 4;
    const std::size_t size = node.type == 1 ? 2U * node.valueLength : node.valueLength;
    node.value.assign(b.begin() + static_cast<std::ptrdiff_t>(at),
                      b.begin() + static_cast<std::ptrdiff_t>(at + size));
    for (at = (at + size + 3) / 4 * 4; at < end; at = (at + U16At(b, at) + 3) / 4 * 4) {
        node.children.push_back(Walk(b, at));
    }
    EXPECT_LE(end, b.size());
    return node;
}

std::vector<std::u16string> TextsOf(const TextTemplate& parsed) {
    std::vector<std::u16string> out;
    for (const ResourceText& text : parsed.Texts()) {
        out.push_back(text.text);
    }
    return out;
}

std::vector<std::string> WhereOf(const TextTemplate& parsed) {
    std::vector<std::string> out;
    for (const ResourceText& text : parsed.Texts()) {
        out.push_back(text.where);
    }
    return out;
}

class VersionToolchains : public testing::TestWithParam<Toolchain> {};

TEST_P(VersionToolchains, TheTableOfTheResourceLanguageSuppliesTheTexts) {
    const std::vector<std::uint8_t> bytes = VersionBytes(GetParam(), "two_tables", kTwoTables);

    auto first = ParseVersionInfo(bytes);
    ASSERT_TRUE(first.ok()) << first.error().message;
    EXPECT_EQ(TextsOf(**first),
              (std::vector<std::u16string>{u"Text editor", u"(c) 2024 Example", u"", u"Editor"}));
    EXPECT_EQ(WhereOf(**first), (std::vector<std::string>{"FileDescription", "LegalCopyright",
                                                          "Comments", "ProductName"}));

    auto german = ParseVersionInfo(bytes, 0x0407);
    ASSERT_TRUE(german.ok()) << german.error().message;
    EXPECT_EQ(TextsOf(**german), (std::vector<std::u16string>{u"Texteditor", u"Marke"}));

    auto japanese = ParseVersionInfo(bytes, 0x0411); // no such table: the first
    ASSERT_TRUE(japanese.ok());
    EXPECT_EQ(TextsOf(**japanese), TextsOf(**first));
}

TEST_P(VersionToolchains, ARebuiltCopyHoldsOneTableInItsLanguage) {
    const std::vector<std::uint8_t> bytes = VersionBytes(GetParam(), "two_tables", kTwoTables);
    auto parsed = ParseVersionInfo(bytes);
    ASSERT_TRUE(parsed.ok());
    const std::vector<std::u16string_view> texts{u"Texteditor", u"\u00a9 2024 Beispiel",
                                                 u"Kommentar", u"Editor f\u00fcr Texte"};
    auto built = (*parsed)->Build(texts, 0x0007);
    ASSERT_TRUE(built.ok()) << built.error().message;

    auto again = ParseVersionInfo(*built);
    ASSERT_TRUE(again.ok()) << again.error().message;
    EXPECT_EQ(TextsOf(**again), std::vector<std::u16string>(texts.begin(), texts.end()));
    EXPECT_EQ(WhereOf(**again), WhereOf(**parsed));

    const Node before = Walk(bytes, 0);
    const Node after = Walk(*built, 0);
    EXPECT_EQ(U16At(*built, 0), built->size());
    EXPECT_EQ(after.key, u"VS_VERSION_INFO");
    EXPECT_EQ(after.value, before.value); // the fixed file info
    const Node* info = after.Child(u"StringFileInfo");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->children.size(), 1U);
    const Node& table = info->children[0];
    EXPECT_EQ(table.key, u"000704B0");
    const Node& english = before.Child(u"StringFileInfo")->children[0];
    ASSERT_EQ(table.children.size(), english.children.size());
    const std::vector<std::u16string> translatedKeys{u"FileDescription", u"LegalCopyright",
                                                     u"Comments", u"ProductName"};
    std::size_t next = 0;
    for (std::size_t i = 0; i < table.children.size(); ++i) {
        const Node& was = english.children[i];
        const Node& is = table.children[i];
        EXPECT_EQ(is.key, was.key);
        const bool translated = std::find(translatedKeys.begin(), translatedKeys.end(), was.key) !=
                                translatedKeys.end();
        EXPECT_EQ(is.Text(), translated ? std::u16string(texts.at(next++)) : was.Text());
        EXPECT_EQ(is.valueLength, is.Text().size() + 1);
    }
    EXPECT_EQ(next, texts.size());
    const Node* translation = after.Child(u"VarFileInfo")->Child(u"Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->value, (std::vector<std::uint8_t>{0x07, 0x00, 0xB0, 0x04}));
}

INSTANTIATE_TEST_SUITE_P(Compilers, VersionToolchains,
                         testing::Values(Toolchain::LldX64, Toolchain::MingwX64),
                         [](const auto& param) { return test::ToolchainName(param.param); });

// With one table already in the language it is rebuilt in, the copy is the
// compiler's resource byte for byte: every length and padding as it writes.
TEST(VersionFormat, RebuildingInTheSameLanguageGivesTheCompilersBytes) {
    const std::string script = R"(
1 VERSIONINFO
FILEVERSION 2,0,0,1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "FileDescription", "Odd"
      VALUE "OriginalFilename", "even.exe"
      VALUE "ProductName", "Four"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
)";
    for (const Toolchain toolchain : {Toolchain::LldX64, Toolchain::MingwX64}) {
        const std::vector<std::uint8_t> bytes = VersionBytes(toolchain, "one_table", script);
        auto parsed = ParseVersionInfo(bytes);
        ASSERT_TRUE(parsed.ok());
        const std::vector<std::u16string_view> same{u"Odd", u"Four"};
        auto built = (*parsed)->Build(same, 0x0409);
        ASSERT_TRUE(built.ok());
        EXPECT_EQ(*built, bytes) << test::ToolchainName(toolchain);
    }
}

// Vars other than Translation and children of the root the reader does not
// know are copied as they were.
TEST(VersionFormat, OtherVarsAndBlocksAreKept) {
    const std::string script = R"(
1 VERSIONINFO
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
      VALUE "ProductName", "Editor"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1252
    VALUE "Other", 1, 2L
  END
  BLOCK "Custom"
  BEGIN
    VALUE "Thing", "x"
  END
END
)";
    const std::vector<std::uint8_t> bytes = VersionBytes(Toolchain::LldX64, "custom", script);
    auto parsed = ParseVersionInfo(bytes);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    const std::vector<std::u16string_view> texts{
        u"\u0420\u0435\u0434\u0430\u043a\u0442\u043e\u0440"};
    auto built = (*parsed)->Build(texts, 0x0019);
    ASSERT_TRUE(built.ok());
    const Node before = Walk(bytes, 0);
    const Node after = Walk(*built, 0);
    EXPECT_EQ(after.Child(u"StringFileInfo")->children.at(0).key, u"001904B0");
    const Node* vars = after.Child(u"VarFileInfo");
    ASSERT_EQ(vars->children.size(), 2U);
    EXPECT_EQ(vars->children[0].value, (std::vector<std::uint8_t>{0x19, 0x00, 0xB0, 0x04}));
    const Node& other = vars->children[1];
    EXPECT_EQ(other.key, u"Other");
    EXPECT_EQ(other.value, before.Child(u"VarFileInfo")->Child(u"Other")->value);
    const Node* custom = after.Child(u"Custom");
    ASSERT_NE(custom, nullptr);
    const std::size_t length = U16At(bytes, before.Child(u"Custom")->start);
    EXPECT_TRUE(std::equal(
        bytes.begin() + static_cast<std::ptrdiff_t>(before.Child(u"Custom")->start),
        bytes.begin() + static_cast<std::ptrdiff_t>(before.Child(u"Custom")->start + length),
        built->begin() + static_cast<std::ptrdiff_t>(custom->start)));
}

// The blocks of strings, found by the plain walk.
std::vector<std::size_t> StringStarts(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::size_t> out;
    const Node root = Walk(bytes, 0);
    for (const Node& table : root.Child(u"StringFileInfo")->children) {
        for (const Node& string : table.children) {
            out.push_back(string.start);
        }
    }
    return out;
}

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<std::uint8_t>(value);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

// Compilers and older tools count a string's wValueLength in UTF-16 units
// with or without the terminator, or in bytes; the texts are the same.
TEST(VersionFormat, EveryConventionOfValueLengthsReadsTheSameTexts) {
    const std::vector<std::uint8_t> bytes =
        VersionBytes(Toolchain::MingwX64, "two_tables", kTwoTables);
    auto expected = ParseVersionInfo(bytes);
    ASSERT_TRUE(expected.ok());
    const std::vector<std::function<std::uint16_t(std::uint16_t)>> conventions{
        [](std::uint16_t units) { return static_cast<std::uint16_t>(2 * units); },
        [](std::uint16_t units) { return static_cast<std::uint16_t>(units - 1); },
        [](std::uint16_t /*units*/) { return std::uint16_t{0}; },
    };
    for (std::size_t c = 0; c < conventions.size(); ++c) {
        std::vector<std::uint8_t> changed = bytes;
        for (const std::size_t start : StringStarts(bytes)) {
            PutU16(changed, start + 2, conventions[c](U16At(bytes, start + 2)));
        }
        ASSERT_NE(changed, bytes);
        auto parsed = ParseVersionInfo(changed);
        ASSERT_TRUE(parsed.ok()) << c << ": " << parsed.error().message;
        EXPECT_EQ(TextsOf(**parsed), TextsOf(**expected)) << c;
    }
}

std::size_t KeyOffset(const std::vector<std::uint8_t>& bytes, std::u16string_view key) {
    for (std::size_t at = 0; at + 2 * key.size() <= bytes.size(); at += 2) {
        bool same = true;
        for (std::size_t i = 0; i < key.size() && same; ++i) {
            same = U16At(bytes, at + 2 * i) == key[i];
        }
        if (same) {
            return at;
        }
    }
    ADD_FAILURE() << "no such key";
    return 0;
}

TEST(VersionFormat, MalformedResourcesAreRefusedWithTheirReason) {
    const std::vector<std::uint8_t> valid =
        VersionBytes(Toolchain::LldX64, "two_tables", kTwoTables);
    ASSERT_TRUE(ParseVersionInfo(valid).ok());
    const std::size_t info = KeyOffset(valid, u"StringFileInfo") - 6;
    const std::size_t description = KeyOffset(valid, u"FileDescription") - 6;
    struct Row {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> corrupt;
        const char* reason;
    };
    const std::vector<Row> rows{
        {"no header", [](auto& b) { b.resize(4); }, "cut short before its header ends"},
        {"truncated", [](auto& b) { b.resize(b.size() - 8); }, "longer than its parent"},
        {"odd length", [](auto& b) { PutU16(b, 0, U16At(b, 0) - 1); }, "odd"},
        {"child past parent", [&](auto& b) { PutU16(b, info, U16At(b, info) + 0x100); },
         "longer than its parent"},
        {"block shorter than header", [&](auto& b) { PutU16(b, description, 4); },
         "shorter than its header"},
        {"key without zero", [&](auto& b) { PutU16(b, description, 10); },
         "key has no terminating zero"},
        {"value past block", [&](auto& b) { PutU16(b, description + 2, 0x200); },
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
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> bytes = valid;
        row.corrupt(bytes);
        auto parsed = ParseVersionInfo(bytes);
        ASSERT_FALSE(parsed.ok()) << row.name;
        EXPECT_NE(parsed.error().message.find(row.reason), std::string::npos)
            << row.name << ": " << parsed.error().message;
    }
}

// Found by fuzzing: a binary value of odd length with nothing after it,
// kept as it was, must not leave the block's length odd.
TEST(VersionFormat, AnOddValueAtTheEndKeepsTheLengthEven) {
    TemplateWriter out;
    out.U16(44); // header, key and padding to 40, a 3-byte value, one zero
    out.U16(3);
    out.U16(0);
    out.String(u"VS_VERSION_INFO");
    out.U16(0);
    out.Raw(std::vector<std::uint8_t>{0xBD, 0x04, 0xEF, 0});
    const std::vector<std::uint8_t> bytes = std::move(out).Take();
    auto parsed = ParseVersionInfo(bytes);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    auto built = (*parsed)->Build({}, 0x0409);
    ASSERT_TRUE(built.ok());
    EXPECT_EQ(*built, bytes);
}

TEST(VersionFormat, ATextTooLongForItsLengthIsRefused) {
    auto parsed = ParseVersionInfo(VersionBytes(Toolchain::LldX64, "two_tables", kTwoTables));
    ASSERT_TRUE(parsed.ok());
    const std::u16string longText(40000, u'x');
    const std::vector<std::u16string_view> texts{longText, u"b", u"c", u"d"};
    auto built = (*parsed)->Build(texts, 0x0007);
    ASSERT_FALSE(built.ok());
    EXPECT_NE(built.error().message.find("16-bit length"), std::string::npos)
        << built.error().message;
    const std::vector<std::u16string_view> tooFew{u"a"};
    EXPECT_FALSE((*parsed)->Build(tooFew, 0x0007).ok());
}

} // namespace
} // namespace korva::res
