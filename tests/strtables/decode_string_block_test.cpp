#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "strtables/read_string_tables.h"
#include "support/synthetic_image.h"

namespace korva {
namespace {

using test::ByteVector;
using test::Concat;
using test::StringBlock;
using Entries = std::vector<std::pair<Text, std::int32_t>>;

Entries Decode(const ByteVector& data, std::uint16_t language) {
    TStringList<std::int32_t> list;
    DecodeStringBlock(data, language, CodePage::Windows1252, list);
    Entries out;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        out.emplace_back(list.Text(i), list.GetObject(i));
    }
    return out;
}

// Only the texts; every entry must carry the language 0x0407.
std::vector<Text> Texts(const ByteVector& data) {
    std::vector<Text> out;
    for (const auto& [text, language] : Decode(data, 0x0407)) {
        EXPECT_EQ(language, 0x0407);
        out.push_back(text);
    }
    return out;
}

TEST(DecodeStringBlock, SlotsAndTheirEmptyTexts) {
    struct Case {
        const char* what;
        ByteVector data;
        std::vector<Text> texts;
    };
    const std::vector<Case> cases = {
        {"no data", {}, {}},
        {"the compiler's 16 slots: empty, Open, empty, Save, twelve empty",
         StringBlock({u"", u"Open", u"", u"Save", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"",
                      u"", u""}),
         {"", "Open", "", "Save"}},
        {"all 16 slots empty", StringBlock(std::vector<std::u16string>(16)), {}},
        {"16 non-empty slots",
         StringBlock({u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"a", u"b", u"c",
                      u"d", u"e", u"f"}),
         {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "a", "b", "c", "d", "e", "f"}},
        {"not counted against 16: a 17th slot",
         Concat(StringBlock(std::vector<std::u16string>(16)), StringBlock({u"x"})),
         {"", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "x"}},
        {"the writer's form: entries, then one zero word",
         StringBlock({u"", u"A", u""}),
         {"", "A"}},
        {"a lone odd byte", {0x41}, {}},
        {"a final odd byte is ignored", Concat(StringBlock({u"ab"}), ByteVector{0x05}), {"ab"}},
        {"an odd byte after empty slots", Concat(StringBlock({u"", u""}), ByteVector{0x01}), {}},
        {"a length longer than the data is cut at its end", {0x05, 0x00, 'a', 0, 'b', 0}, {"ab"}},
        {"cut, with an odd byte at the end", {0x05, 0x00, 'a', 0, 'b', 0, 'c'}, {"ab"}},
        {"cut to nothing: the slot is absent, held-back slots stay dropped",
         Concat(StringBlock({u"x", u"", u""}), ByteVector{0x03, 0x00, 'z'}),
         {"x"}},
        {"a NUL code unit is kept", StringBlock({std::u16string(u"a\0b", 3)}), {Text("a\0b", 3)}},
        {"a string of one NUL", StringBlock({std::u16string(1, u'\0')}), {Text(1, '\0')}},
        {"outside Windows-1252: one ? per code point",
         StringBlock({u"\u00D6\u03A9\u20AC\U0001F600|\xD800"}),
         {"\xD6?\x80?|?"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Texts(c.data), c.texts) << c.what;
    }
}

TEST(DecodeStringBlock, AppendsAfterEarlierCopiesWithEachCopysLanguage) {
    TStringList<std::int32_t> list;
    DecodeStringBlock(StringBlock({u"", u"Open"}), 0, CodePage::Windows1252, list);
    DecodeStringBlock(StringBlock({u"", u"\u00D6ffnen", u""}), 0xFFFF, CodePage::Windows1252, list);
    ASSERT_EQ(list.Count(), 4u);
    EXPECT_EQ(list.Text(1), "Open");
    EXPECT_EQ(list.GetObject(1), 0);
    EXPECT_EQ(list.Text(2), "");
    EXPECT_EQ(list.GetObject(2), 0xFFFF); // zero-extended, not sign-extended
    EXPECT_EQ(list.Text(3), "\xD6"
                            "ffnen");
}

TEST(ResNames, IdsAndExactStringNames) {
    const ResourceName id = ToResName(pe::ResourceId::Id(4096), CodePage::Windows1252);
    EXPECT_TRUE(id.IsId);
    EXPECT_EQ(id.Id, 4096);
    EXPECT_EQ(ToResourceId(id), pe::ResourceId::Id(4096));

    // The 8-bit name stops where a NUL-terminated name would; the exact
    // UTF-16 form addresses the resource.
    const std::u16string raw(u"MY\u03A9\0X", 5);
    const ResourceName name = ToResName(pe::ResourceId::Name(raw), CodePage::Windows1252);
    EXPECT_FALSE(name.IsId);
    EXPECT_EQ(name.Name, "MY?");
    EXPECT_EQ(name.RawName, raw);
    EXPECT_EQ(ToResourceId(name), pe::ResourceId::Name(raw));
    // The code page given, not the run's, decides the 8-bit name.
    EXPECT_EQ(ToResName(pe::ResourceId::Name(raw), CodePage::Utf8).Name, "MY\xCE\xA9");
}

} // namespace
} // namespace korva
