#include "langkeys/lang_const.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "text/compare.h"

namespace korva {
namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(c | 0x20);
    }
    return out;
}

TEST(LangKeys, EveryNameIsFoundAtItsIndexInAnyCase) {
    ASSERT_EQ(LangKeys.size(), 43u);
    for (int i = 0; i < LangKeyCount; ++i) {
        const std::string_view name = LangKeys[static_cast<std::size_t>(i)].Name;
        std::string mixed = Lower(name);
        mixed[0] = name[0];
        EXPECT_EQ(FindLangKey(name), i);
        EXPECT_EQ(FindLangKey(Lower(name)), i);
        EXPECT_EQ(FindLangKey(mixed), i);
    }
    EXPECT_EQ(FindLangKey("vietnamese"), 42);
    EXPECT_EQ(FindLangKey("Afrikaans"), 0);
    EXPECT_EQ(FindLangKey("ENGLISH"), 12);
}

TEST(LangKeys, TableIsSortedAndIdsAreUniqueButForCroatianAndSerbian) {
    std::map<int, int> idCount;
    for (std::size_t i = 0; i < LangKeys.size(); ++i) {
        if (i > 0) {
            EXPECT_LT(CompareText(LangKeys[i - 1].Name, LangKeys[i].Name), 0);
        }
        EXPECT_LE(LangKeys[i].Name.size(), 10u);
        ++idCount[LangKeys[i].LangId];
    }
    for (const auto& [id, count] : idCount) {
        EXPECT_EQ(count, id == 0x1A ? 2 : 1) << id;
    }
    // A PO file names its language by the code, so no two keys share one.
    std::map<std::string_view, int> codeCount;
    for (const TLangKey& key : LangKeys) {
        EXPECT_EQ(++codeCount[key.IsoCode], 1) << key.IsoCode;
    }
    EXPECT_EQ(LangKeys[static_cast<std::size_t>(FindLangKey("GERMAN"))].IsoCode, "de");
    EXPECT_EQ(LangIdOf(FindLangKey("CROATIAN")), 0x1A);
    EXPECT_EQ(LangIdOf(FindLangKey("SERBIAN")), 0x1A);
    EXPECT_EQ(LangIdOf(FindLangKey("GERMAN")), 0x07);
}

TEST(LangKeys, NamesThatAreNoKeyGiveMinusOne) {
    for (const char* name :
         {"", " ENGLISH", "ENGLISH ", "ENG", "ENGLISHX", "A", "ZZZ", "ENGL\xC9SH"}) {
        EXPECT_EQ(FindLangKey(name), -1) << name;
    }
    EXPECT_EQ(FindLangKey(std::string("ENGLISH\0", 8)), -1);
}

TEST(LangKeys, IsWantedLangComparesOnlyTheSelectedEntries) {
    ResetLangSelection();
    NeutralLangIndex = 12;
    DestLangs = {18, -1};
    DestLangCount = 1;
    EXPECT_TRUE(IsWantedLang(12));
    EXPECT_TRUE(IsWantedLang(18));
    EXPECT_FALSE(IsWantedLang(17));
    EXPECT_FALSE(IsWantedLang(-1)); // stands in DestLangs past the last destination
    ResetLangSelection();
}

} // namespace
} // namespace korva
