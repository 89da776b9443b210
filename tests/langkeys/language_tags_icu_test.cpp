#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <set>
#include <string>

#include "langkeys/language_tags.h"

namespace korva {
namespace {

// The language id ICU's own table gives a tag, or 0 when it knows none.
std::uint32_t IcuLangId(std::string_view tag) {
    char locale[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    const std::string text(tag);
    uloc_forLanguageTag(text.c_str(), locale, sizeof locale, nullptr, &status);
    return U_SUCCESS(status) ? uloc_getLCID(locale) : 0;
}

// ICU keeps a table of Windows language ids of its own (from winnt.h); where
// it knows a tag, it must name the id Wine's does. ICU 72 misses these
// Windows spellings, or falls back to the language, or keeps an id Windows
// has since changed (quc was 0x0093); nor does it know Windows'
// pseudo-locales (qps-ploc), which the table takes from Microsoft's list.
TEST(LanguageTagSource, IcuAgreesWhereItKnowsTheTag) {
    const std::set<std::string_view> icuDiffers = {
        "quz",        "quc",     "prs",      "ku",         "ks-Arab",   "ff-Latn-NG",
        "kr-Latn-NG", "la-VA",   "prs-AF",   "ku-Arab-IQ", "en-AE",     "pa-Arab",
        "quc-Latn",   "ku-Arab", "qps-ploc", "qps-ploca",  "qps-plocm",
    };
    std::size_t agreed = 0;
    for (const LanguageTagRow& row : LanguageTags()) {
        if (icuDiffers.contains(row.Tag)) {
            continue;
        }
        EXPECT_EQ(IcuLangId(row.Tag), row.LangId) << row.Tag;
        ++agreed;
    }
    EXPECT_EQ(agreed + icuDiffers.size(), LanguageTags().size()); // no stale exception
}

} // namespace
} // namespace korva
