#include "langkeys/lang_selection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "langkeys/lang_const.h"
#include "langkeys/lang_list.h"

namespace korva {
namespace {

LangSelection Selection(const std::string& dests, const std::string& fallback = {}) {
    LangSelection s;
    s.neutral = FindLanguage("ENGLISH");
    s.dests = ParseDestList(dests).value();
    s.fallback = fallback.empty() ? -1 : FindLanguage(fallback);
    return s;
}

struct CopyRow {
    std::string dests;
    std::string fallback;
    std::string dest;
    std::vector<std::uint16_t> ids;
};

// Which ids each destination's texts go under: the users of a region with
// no copy of its own reach a regional destination through the language's
// own id, and everyone else the fallback's through 0x0409.
TEST(LangSelection, CopiesForOtherRegionsAndOtherLanguages) {
    const std::vector<CopyRow> rows = {
        {"(GERMAN,FRENCH)", "", "GERMAN", {0x0007}},
        {"(GERMAN,FRENCH)", "FRENCH", "FRENCH", {0x000C, 0x0409}},
        {"(ENGLISH,GERMAN)", "ENGLISH", "ENGLISH", {0x0009, 0x0409}},
        {"(GERMAN,pt-BR)", "", "pt-BR", {0x0416, 0x0016}},
        // The first region listed serves the others.
        {"(zh-CN,zh-TW)", "", "zh-CN", {0x0804, 0x0004}},
        {"(zh-CN,zh-TW)", "", "zh-TW", {0x0404}},
        {"(zh-TW,zh-CN)", "", "zh-TW", {0x0404, 0x0004}},
        // A destination of the language itself serves them already.
        {"(PORTUGUESE,pt-BR)", "", "pt-BR", {0x0416}},
        {"(pt-BR,pt)", "", "pt-BR", {0x0416}},
        // 0x001A is Croatian and Serbian: a copy there would give Croatian
        // users Serbian.
        {"(sr-Latn-RS,hr-HR)", "", "sr-Latn-RS", {0x241A}},
        {"(GERMAN,en-US)", "en-US", "en-US", {0x0409, 0x0009}},
        {"(GERMAN,en-GB)", "en-GB", "en-GB", {0x0809, 0x0009, 0x0409}},
        // A pseudo-locale's primary id (0x0101 for 0x0501, 0x01FF for
        // 0x09FF) is no language: no copy there, and none under ARABIC's
        // 0x0001, which 0x0501's low byte would read as.
        {"(qps-ploc)", "", "qps-ploc", {0x0501}},
        {"(ENGLISH,qps-ploc,qps-plocm)", "", "qps-plocm", {0x09FF}},
        {"(GERMAN,qps-ploc)", "qps-ploc", "qps-ploc", {0x0501, 0x0409}},
        {"(ARABIC,qps-ploc)", "", "qps-ploc", {0x0501}},
        {"(ar-SA,qps-ploc)", "", "ar-SA", {0x0401, 0x0001}},
    };
    for (const CopyRow& row : rows) {
        SCOPED_TRACE(row.dests + " " + row.fallback + " " + row.dest);
        EXPECT_EQ(Selection(row.dests, row.fallback).CopyLangIds(FindLanguage(row.dest)), row.ids);
    }
}

struct RefusalRow {
    std::string dests;
    std::string fallback;
    std::string refusal; // empty: taken
};

TEST(LangSelection, FallbacksThatWouldTakeAnotherDestinationsUsers) {
    const std::vector<RefusalRow> rows = {
        {"(GERMAN,FRENCH)", "GERMAN", ""},
        {"(GERMAN,FRENCH)", "SPANISH", "SPANISH is not one of the destinations"},
        {"(ENGLISH,GERMAN)", "ENGLISH", ""},
        {"(ENGLISH,GERMAN)", "GERMAN",
         "ENGLISH is a destination, and the copy users of other languages get is the one US "
         "English users get: they would see GERMAN instead of ENGLISH (with ENGLISH among the "
         "destinations, only --fallback=ENGLISH)"},
        {"(ENGLISH,GERMAN,en-GB)", "GERMAN",
         "ENGLISH and en-GB are destinations, and the copy users of other languages get is the "
         "one US English users get: they would see GERMAN instead of ENGLISH and en-GB (with "
         "ENGLISH and en-GB among the destinations, only --fallback=ENGLISH or "
         "--fallback=en-GB)"},
        {"(ENGLISH,GERMAN,en-GB)", "en-GB", ""},
        {"(GERMAN,en-US)", "GERMAN",
         "en-US is a destination stored under 0x0409 (en-US, a sublanguage of ENGLISH), the id "
         "whose copy users of other languages get (with en-US among the destinations, only "
         "--fallback=en-US)"},
        {"(ENGLISH,en-US)", "ENGLISH",
         "en-US is a destination stored under 0x0409 (en-US, a sublanguage of ENGLISH), the id "
         "whose copy users of other languages get (with en-US among the destinations, only "
         "--fallback=en-US)"},
        {"(zh-CN,zh-TW)", "zh-TW", ""},
    };
    for (const RefusalRow& row : rows) {
        SCOPED_TRACE(row.dests + " " + row.fallback);
        const LangSelection s = Selection(row.dests, row.fallback);
        EXPECT_EQ(FallbackRefusal(s.fallback, s.dests), row.refusal);
    }
}

} // namespace
} // namespace korva
