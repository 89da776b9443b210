// Which earlier entry a new text inherits translations from: the most
// similar one by msgmerge's measure, above its threshold, with the same
// placeholders, and only one that has a translation to give.
#include "dat/carry_over.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dat/data_document.h"
#include "langkeys/lang_const.h"

namespace korva::dat {
namespace {

TEST(CarryOver, SimilarityIsTheShareTheCommonSubsequenceKeeps) {
    struct Row {
        std::string a;
        std::string b;
        double similarity;
    };
    const std::vector<Row> rows = {
        {"Ready", "Ready", 1.0},
        {"", "", 1.0},
        {"Ready", "", 0.0},
        {"abc", "xyz", 0.0},
        {"Ready", "Ready.", 10.0 / 11.0},
        {"%d files copied", "%d file(s) copied", 30.0 / 32.0},
        {"Open", "Close", 2.0 / 9.0}, // "e"
        {"abcd", "dcba", 2.0 / 8.0},  // one letter in order
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.a + " | " + row.b);
        EXPECT_DOUBLE_EQ(Similarity(row.a, row.b), row.similarity);
        EXPECT_DOUBLE_EQ(Similarity(row.b, row.a), row.similarity);
    }
}

TEST(CarryOver, TheMostSimilarTranslatedEntryWithTheSamePlaceholders) {
    const DataDocument doc =
        ParseDataDocument("(\r\nENGLISH,\"%s files\"\r\nGERMAN,\"%s Dateien\"\r\n)\r\n"        // 0
                          "(\r\nENGLISH,\"%d files copied\"\r\nGERMAN,\"%d kopiert\"\r\n)\r\n" // 1
                          "(\r\nENGLISH,\"Ready\"\r\n;GERMAN,\"\"\r\n)\r\n" // 2: none to give
                          "(\r\nENGLISH,\"Ready!\"\r\nGERMAN,\"Bereit!\"\r\n)\r\n"  // 3
                          "(\r\nENGLISH,\"Ready?\"\r\nGERMAN,\"Bereit?\"\r\n)\r\n", // 4
                          "K.DAT");
    ASSERT_TRUE(doc.errors.empty());
    const int english = FindLangKey("ENGLISH");
    const std::vector<int> dests{FindLangKey("GERMAN")};
    const std::vector<std::string> newTexts = {
        "%d files",          // 1: 0 is more alike, but takes a string
        "%d file(s) copied", // 1
        "Ready.",            // 3: 2 has no translation, 3 and 4 tie and 3 is first
        "Quit",              // nothing alike
    };
    std::vector<DistinctText> texts;
    for (const std::string& t : newTexts) {
        texts.push_back({t, {}});
    }
    std::vector<const DistinctText*> pointers;
    for (const DistinctText& t : texts) {
        pointers.push_back(&t);
    }
    EXPECT_EQ(FindCarryOvers(doc, english, dests, pointers, {0, 1, 2, 3, 4}),
              (std::vector<std::size_t>{1, 1, 3, SIZE_MAX}));
    // Only entries no program holds any more give.
    EXPECT_EQ(FindCarryOvers(doc, english, dests, pointers, {0, 2, 4}),
              (std::vector<std::size_t>{SIZE_MAX, SIZE_MAX, 4, SIZE_MAX}));
}

} // namespace
} // namespace korva::dat
