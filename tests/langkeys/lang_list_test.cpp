#include "langkeys/lang_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "langkeys/lang_const.h"

namespace korva {
namespace {

struct ListRow {
    std::string list;
    std::vector<int> keys; // in table order; empty: refused
    std::string reason = {};
};

TEST(LangList, DestinationListsAndTheirRefusals) {
    const int zhTW = FindLanguage("zh-TW");
    const int zhCN = FindLanguage("zh-CN");
    const int ptBR = FindLanguage("pt-BR");
    const std::vector<ListRow> rows = {
        // Tags follow the keys, in the order given.
        {"(zh-TW,GERMAN,zh-CN)", {18, zhTW, zhCN}},
        {"(zh-CN,zh-TW)", {zhCN, zhTW}},
        {"(pt_br,PORTUGUESE)", {31, ptBR}},
        {"(en,ENGLISH)", {}, "ENGLISH is named twice in (en,ENGLISH)"},
        {"(zh-TW,ZH_tw)", {}, "zh-TW is named twice in (zh-TW,ZH_tw)"},
        {"(zh-XX)", {}, "'zh-XX' is not a language key or tag (here lists them)"},
        {"(ENGLISH,FRENCH,GERMAN)", {12, 17, 18}},
        {"(german,English)", {12, 18}},
        {"(VIETNAMESE)", {42}},
        {"(CROATIAN,SERBIAN)", {8, 34}}, // one language id; the caller decides
        {"()", {}, "'()' is no destination list: it is written (KEY,KEY,...), without blanks"},
        {"(", {}, "'(' is no destination list: it is written (KEY,KEY,...), without blanks"},
        {"GERMAN",
         {},
         "'GERMAN' is no destination list: it is written (KEY,KEY,...), without blanks"},
        {"(GERMAN",
         {},
         "'(GERMAN' is no destination list: it is written (KEY,KEY,...), without blanks"},
        {"(GERMAN,,FRENCH)", {}, "'' is not a language key or tag (here lists them)"},
        {"(,GERMAN)", {}, "'' is not a language key or tag (here lists them)"},
        {"(GERMAN,)", {}, "'' is not a language key or tag (here lists them)"},
        {"(GERMAN, FRENCH)", {}, "' FRENCH' is not a language key or tag (here lists them)"},
        {"(KLINGON,GERMAN,GERMAN)", {}, "'KLINGON' is not a language key or tag (here lists them)"},
        {"(GERMAN,german,KLINGON)", {}, "GERMAN is named twice in (GERMAN,german,KLINGON)"},
    };
    for (const ListRow& row : rows) {
        SCOPED_TRACE(row.list);
        const Result<std::vector<int>> keys = ParseDestList(row.list, "here");
        ASSERT_EQ(keys.ok(), !row.keys.empty());
        if (keys) {
            EXPECT_EQ(*keys, row.keys);
        } else {
            EXPECT_EQ(keys.error().message, row.reason);
        }
    }
    // Without a place that lists the keys, the reason ends after the name.
    EXPECT_EQ(ParseDestList("(X)").error().message, "'X' is not a language key or tag");
    EXPECT_EQ(ParseLangKey("english").value(), 12);
    EXPECT_EQ(ParseLangKey("ENGLISH ", "help").error().message,
              "'ENGLISH ' is not a language key or tag (help lists them)");
}

struct IdRow {
    std::string value;
    int anyInt32;   // korva's command line; -1: names no id
    int exact16Bit; // korva-dat; -1: refused
};

TEST(LangList, OriginalLanguageIdsInBothNumberForms) {
    const std::vector<IdRow> rows = {
        {"GERMAN", 0x07, 0x07},
        {"english", 0x09, 0x09},
        {"1031", 0x0407, 0x0407},
        {"$409", 0x0409, 0x0409},
        {"x409", 0x0409, 0x0409},
        {"X409", 0x0409, 0x0409},
        {"0x409", 0x0409, 0x0409},
        {"0X40a", 0x040A, 0x040A},
        {"65535", 0xFFFF, 0xFFFF},
        {"0xFFFF", 0xFFFF, 0xFFFF},
        {"65536", 0, -1}, // the low 16 bits, or too large
        {"65545", 9, -1},
        {"2147483647", 0xFFFF, -1},
        {"2147483648", -1, -1}, // above the signed 32-bit range
        {"99999999999999999999", -1, -1},
        {"+12", 12, -1},
        {"   12", 12, -1},
        {"-0", 0, -1},
        {"-1", -1, -1},
        {"-$10", -1, -1}, // no sign before a hexadecimal number
        {"12 ", -1, -1},
        {"", -1, -1},
        {"0x", -1, -1},
        {"$", -1, -1},
        {"1f", -1, -1},
        {"none", -1, -1},
        {"en-US", 0x0409, 0x0409}, // a tag gives its full id
        {"ZH-tw", 0x0404, 0x0404},
        {"pt_BR", 0x0416, 0x0416},
        {"no", 0x0014, 0x0014},
        {"en-US-x", -1, -1},
        {"en-", -1, -1},
    };
    for (const IdRow& row : rows) {
        SCOPED_TRACE("'" + row.value + "'");
        for (const auto& [form, expected] : {std::pair{LangIdNumber::AnyInt32, row.anyInt32},
                                             std::pair{LangIdNumber::Exact16Bit, row.exact16Bit}}) {
            const Result<std::uint16_t> id = ParseOrigLangId(row.value, form);
            ASSERT_EQ(id.ok(), expected >= 0);
            if (id) {
                EXPECT_EQ(*id, expected);
            } else {
                EXPECT_EQ(id.error().message,
                          "-O takes a language key, a language tag (en-US) or a language id "
                          "(decimal, or hex after $, x or 0x), not '" +
                              row.value + "'");
            }
        }
    }
}

} // namespace
} // namespace korva
