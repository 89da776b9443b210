// korva-dat's reading of the language arguments: korva's grammar, with
// korva-dat's pointer to its help and its refusal of two keys of one id.
#include "dat/languages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "langkeys/lang_const.h"

namespace korva::dat {
namespace {

TEST(DatLanguages, RefusalsSayWhatIsWrongAndWhereTheKeysAreListed) {
    const std::vector<std::pair<std::string, std::string>> lists = {
        {"(GERMAN,KLINGON)", "'KLINGON' is not a language key (korva-dat --help lists them)"},
        {"(GERMAN,GERMAN)", "GERMAN is named twice in (GERMAN,GERMAN)"},
        {"(SERBIAN,GERMAN,CROATIAN)",
         "CROATIAN and SERBIAN share one language id, so korva refuses them together"},
        {"(GERMAN",
         "'(GERMAN' is no destination list: it is written (KEY,KEY,...), without blanks"},
    };
    for (const auto& [list, reason] : lists) {
        const Result<std::vector<int>> keys = ParseDestList(list);
        ASSERT_FALSE(keys.ok()) << list;
        EXPECT_EQ(keys.error().message, reason);
    }
    EXPECT_EQ(ParseDestList("(GERMAN,ENGLISH)").value(), (std::vector<int>{12, 18}));
    EXPECT_EQ(ParseLangKey("x").error().message,
              "'x' is not a language key (korva-dat --help lists them)");
    // korva-dat writes ids as -O0x0409 and takes them back as written only.
    EXPECT_EQ(ParseOriginalLang("0x0409").value(), 0x0409);
    EXPECT_FALSE(ParseOriginalLang("+1").ok());
    EXPECT_FALSE(ParseOriginalLang("65545").ok());
}

TEST(DatLanguages, IsoCodesLeadBackToTheirKeys) {
    for (int key = 0; key < LangKeyCount; ++key) {
        EXPECT_EQ(KeyOfIsoCode(IsoCodeOf(key)), key) << IsoCodeOf(key);
    }
    EXPECT_EQ(IsoCodeOf(FindLangKey("NORWEGIAN")), "nb");
    EXPECT_EQ(KeyOfIsoCode("nn"), FindLangKey("NORWEGIAN"));
    EXPECT_EQ(KeyOfIsoCode("pt_BR"), FindLangKey("PORTUGUESE"));
    EXPECT_EQ(KeyOfIsoCode("sr@latin"), FindLangKey("SERBIAN"));
    EXPECT_EQ(KeyOfIsoCode("DE"), FindLangKey("GERMAN"));
    EXPECT_EQ(KeyOfIsoCode("xx"), -1);
}

} // namespace
} // namespace korva::dat
