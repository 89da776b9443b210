#include "langkeys/language_tags.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "langkeys/lang_const.h"
#include "langkeys/lang_list.h"

namespace korva {
namespace {

std::string Cased(std::string_view tag, bool upper) {
    std::string out(tag);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z' && upper) {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z' && !upper) {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

struct TagRow {
    std::string tag;
    int id; // -1: names no language
};

TEST(LanguageTags, RegionalLanguagesAndSpellingsThatNameNone) {
    const std::vector<TagRow> rows = {
        {"zh-CN", 0x0804},
        {"zh-TW", 0x0404},
        {"pt-BR", 0x0416},
        {"pt-PT", 0x0816},
        {"sr-Latn-RS", 0x241A},
        {"hr-HR", 0x041A},
        {"en-US", 0x0409},
        {"EN-us", 0x0409}, // case does not count
        {"SR-LATN-rs", 0x241A},
        {"pt_BR", 0x0416},   // the POSIX separator
        {"zh-Hans", 0x0004}, // the neutral ids of a language have tags too
        {"sr", 0x7C1A},
        {"hr", 0x001A},
        {"es-ES", 0x0C0A},
        {"es-ES_tradnl", -1}, // a sort order, no language
        {"qps-ploc", 0x0501}, // Windows' pseudo-locales, which Wine's table lacks
        {"qps-plocm", 0x09FF},
        {"QPS_PLOCA", 0x05FE},
        {"", -1},
        {"en-", -1},
        {"en-US ", -1},
        {" en-US", -1},
        {"en-US-x", -1},
        {"ENGLISH", -1}, // a key name is no tag
        {std::string("en\0US", 5), -1},
        {"en-\xC3\x9AS", -1},
    };
    for (const TagRow& row : rows) {
        SCOPED_TRACE("'" + row.tag + "'");
        const std::optional<std::uint16_t> id = FindLanguageTag(row.tag);
        ASSERT_EQ(id.has_value(), row.id >= 0);
        if (id) {
            EXPECT_EQ(*id, row.id);
        }
    }
}

TEST(LanguageTags, EveryRowLeadsFromTagToIdAndBack) {
    const std::span<const LanguageTagRow> table = LanguageTags();
    ASSERT_GE(table.size(), 400u);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const LanguageTagRow& row = table[i];
        SCOPED_TRACE(std::string(row.Tag));
        if (i > 0) {
            EXPECT_LT(table[i - 1].LangId, row.LangId); // one tag per id
        }
        // The first row with the tag gives the id: a tag twice would show.
        EXPECT_EQ(FindLanguageTag(row.Tag), row.LangId);
        EXPECT_EQ(FindLanguageTag(Cased(row.Tag, true)), row.LangId);
        EXPECT_EQ(FindLanguageTag(Cased(row.Tag, false)), row.LangId);
        EXPECT_EQ(LanguageTagOf(row.LangId), row.Tag);
        EXPECT_EQ(row.Tag.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-"),
                  std::string_view::npos);
    }
    EXPECT_EQ(LanguageTagOf(0x0000), "");
    EXPECT_EQ(LanguageTagOf(0x7C09), "");
    EXPECT_EQ(LanguageTagOf(0xFFFF), "");
}

// The keys keep their names and primary ids; every one of them has a tag,
// and a key name, which -O reads first, is never taken for one.
TEST(LanguageTags, KeysStayPrimaryAndKeepTheirNames) {
    for (int key = 0; key < LangKeyCount; ++key) {
        const TLangKey& row = LangKeys[static_cast<std::size_t>(key)];
        SCOPED_TRACE(std::string(row.Name));
        const std::uint16_t id = LangIdOf(key);
        EXPECT_EQ(id, row.LangId);
        EXPECT_LT(id, 0x400); // sublanguage 0
        EXPECT_FALSE(LanguageTagOf(id).empty());
        EXPECT_FALSE(FindLanguageTag(row.Name).has_value());
        EXPECT_EQ(ParseLangKey(row.Name).value(), key);
        EXPECT_EQ(ParseOrigLangId(row.Name, LangIdNumber::Exact16Bit).value(), id);
    }
}

// A tag is a language of its own unless it names exactly a key's id: then
// it is that key, so one language cannot be named twice in two spellings.
TEST(LanguageTags, TagsAreLanguagesOfTheirOwnOrTheKeyOfTheirId) {
    struct Row {
        std::string name;
        std::string key; // the key it names, or empty for a language of its own
        std::uint16_t id;
    };
    const std::vector<Row> rows = {
        {"en-US", "", 0x0409},
        {"zh-tw", "", 0x0404},
        {"pt_BR", "", 0x0416},
        {"sr-Latn-RS", "", 0x241A},
        {"hr-HR", "", 0x041A},
        {"en", "ENGLISH", 0x0009},
        {"zh-Hans", "CHINESE", 0x0004},
        {"NO", "NORWEGIAN", 0x0014},
        {"de", "GERMAN", 0x0007},
        {"hr", "", 0x001A}, // CROATIAN and SERBIAN share it: neither key alone
        {"bn", "", 0x0045}, // no key names Bengali
    };
    ASSERT_EQ(LanguageCount(), LangKeyCount + static_cast<int>(LanguageTags().size()));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const int language = FindLanguage(row.name);
        ASSERT_GE(language, 0);
        EXPECT_EQ(LangIdOf(language), row.id);
        if (row.key.empty()) {
            EXPECT_GE(language, LangKeyCount);
            EXPECT_EQ(LanguageName(language), LanguageTagOf(row.id));
        } else {
            EXPECT_EQ(LanguageName(language), row.key);
        }
        EXPECT_EQ(ParseLangKey(row.name).value(), language);
    }
    EXPECT_EQ(FindLanguage("es-ES_tradnl"), -1);
    EXPECT_EQ(FindLanguage("english-US"), -1);
}

// Only a made-up language's id is private use: the pseudo-locales'.
TEST(LanguageTags, PseudoLocalesArePrivateUse) {
    std::vector<std::string_view> privateUse;
    for (const LanguageTagRow& row : LanguageTags()) {
        if (IsPrivateUseLanguage(row.LangId)) {
            privateUse.push_back(row.Tag);
        }
    }
    EXPECT_EQ(privateUse, (std::vector<std::string_view>{"qps-ploc", "qps-ploca", "qps-plocm"}));
    EXPECT_FALSE(IsPrivateUseLanguage(0x0101)); // no tag
    EXPECT_FALSE(IsPrivateUseLanguage(0x0000));
}

TEST(LanguageTags, DescriptionsNameTagAndKey) {
    const std::vector<std::pair<std::uint16_t, std::string>> rows = {
        {0x0009, "0x0009 (en, key ENGLISH)"},
        {0x0409, "0x0409 (en-US, a sublanguage of ENGLISH)"},
        {0x0404, "0x0404 (zh-TW, a sublanguage of CHINESE)"},
        {0x001A, "0x001A (hr, key CROATIAN or SERBIAN)"},
        {0x241A, "0x241A (sr-Latn-RS, a sublanguage of CROATIAN or SERBIAN)"},
        {0x0045, "0x0045 (bn)"},       // a language no key names
        {0x0501, "0x0501 (qps-ploc)"}, // primary id 0x0101: no key's, nor ARABIC's (0x01)
        {0x7C09, "0x7C09 (a sublanguage of ENGLISH)"}, // an id without a tag
        {0x0000, "0x0000"},
        {0x0400, "0x0400"},
        {0xFFFF, "0xFFFF"},
    };
    for (const auto& [id, text] : rows) {
        EXPECT_EQ(DescribeLangId(id), text);
    }
}

} // namespace
} // namespace korva
