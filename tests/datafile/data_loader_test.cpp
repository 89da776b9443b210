#include "datafile/data_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "datafile/data_file.h"
#include "datafile/text_filter.h"
#include "datafile_support.h"

namespace korva {
namespace {

using namespace std::string_literals;
using test::Lines;
using test::ReadFrom;
using test::Selection;

int Lang(std::string_view name) {
    return FindLangKey(name);
}

class DataLoaderTest : public ::testing::Test {
protected:
    // The outcome's verdict; its syntax error line, as korva writes it, in
    // out_, and its dictionary in dict_.
    bool Load(const std::string& data, std::size_t chunk = 1 << 20,
              std::size_t failAt = std::string::npos, const FoldedTextFilter* wanted = nullptr,
              std::string_view fileName = "KORVA.DAT") {
        DataLoadOptions options;
        options.codePage = codePage_;
        options.languages = selection_;
        options.wanted = wanted;
        Result<DataLoadOutcome> loaded =
            LoadDataFrom(ReadFrom(data, chunk, failAt), fileName, options);
        EXPECT_TRUE(loaded.ok());
        out_.str("");
        if (!loaded) {
            return false;
        }
        if (loaded->syntaxError) {
            out_ << loaded->syntaxError->message << "\r\n";
        }
        dict_ = std::move(loaded->dict);
        return loaded->Loaded();
    }

    // The entry filed under `text`, which must be there.
    const TTransStrs& EntryOf(std::string_view text) {
        std::size_t index = 0;
        EXPECT_TRUE(dict_.Find(text, index)) << text;
        return dict_.Entry(index);
    }

    std::vector<std::string> Items() const {
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < dict_.Count(); ++i) {
            texts.emplace_back(dict_.Text(i));
        }
        return texts;
    }

    LangSelection selection_ = Selection("ENGLISH", {"ENGLISH", "GERMAN"});
    CodePage codePage_ = CodePage::Windows1252;
    std::ostringstream out_;
    TransDictionary dict_;
};

const std::vector<std::string> kWorkedExample = {
    "; menu texts",
    "(",
    "  ENGLISH , \"Open\"",
    "  GERMAN,\"\326ffnen\"",
    "  FRENCH,\"Ouvrir\"",
    ")",
    "",
    "(",
    "ENGLISH,\"Save\\tCtrl+S\"",
    "GERMAN,\"Speichern\\tStrg+S\"",
    "SPANISH,not quoted, not looked at",
    ")",
    "(",
    "ENGLISH,\"Exit\"",
    ")",
    "(",
    "english,\"OPEN\"",
    "german,\"\326ffnen...\"",
    ")",
    "(",
    "ENGLISH,\"Path: C:\\\\Temp, 50\\x25 done\"",
    "GERMAN,\"\"",
    ")",
};

TEST_F(DataLoaderTest, WorkedExampleFilesThreeItems) {
    ASSERT_EQ(kWorkedExample.size(), 23U);
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{13}, std::size_t{1} << 20}) {
        ASSERT_TRUE(Load(Lines(kWorkedExample), chunk)) << chunk;
        EXPECT_EQ(out_.str(), "");
        EXPECT_EQ(Items(),
                  (std::vector<std::string>{"Open", "Path: C:\\Temp, 50% done", "Save\tCtrl+S"}));

        // The second Open entry replaced the first whole; the text stays.
        const TTransStrs& open = EntryOf("oPeN");
        EXPECT_EQ(open.Text(Lang("ENGLISH")), "OPEN");
        EXPECT_EQ(open.Text(Lang("GERMAN")), "\326ffnen...");
        EXPECT_EQ(open.Text(Lang("FRENCH")), "");
        EXPECT_EQ(open.Count, 2);

        const TTransStrs& save = EntryOf("SAVE\tctrl+s");
        EXPECT_EQ(save.Text(Lang("GERMAN")), "Speichern\tStrg+S");
        EXPECT_EQ(save.Text(Lang("SPANISH")), "");

        const TTransStrs& path = EntryOf("Path: C:\\Temp, 50% done");
        EXPECT_EQ(path.Text(Lang("GERMAN")), EmptyTextMarker);

        std::size_t index = 0;
        EXPECT_FALSE(dict_.Find("Exit", index));
    }
}

TEST_F(DataLoaderTest, WorkedExampleWithASyntaxErrorKeepsWhatWasFiledBefore) {
    std::vector<std::string> lines = kWorkedExample;
    lines[13] = "ENGLISH \"Exit\"";
    EXPECT_FALSE(Load(Lines(lines)));
    EXPECT_EQ(out_.str(), "Syntax error in KORVA.DAT/Line=14\r\n");
    EXPECT_EQ(Items(), (std::vector<std::string>{"Open", "Save\tCtrl+S"}));
    EXPECT_EQ(EntryOf("Open").Text(Lang("GERMAN")), "\326ffnen");
}

struct ErrorCase {
    const char* name;
    std::string data;
    int line;
};

TEST_F(DataLoaderTest, EachSyntaxErrorReportsItsLine) {
    const std::vector<ErrorCase> cases = {
        {"entry start in an entry", Lines({"(", "ENGLISH,\"a\"", "("}), 3},
        {"entry end outside an entry", Lines({"; c", "", ")"}), 3},
        {"text line outside an entry", Lines({"ENGLISH,\"a\""}), 1},
        {"text line after an entry",
         Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")", "GERMAN,\"c\""}), 5},
        {"no comma", Lines({"(", "ENGLISH \"a\""}), 2},
        {"comma last", Lines({"(", "ENGLISH,  \t"}), 2},
        {"unknown key", Lines({"(", "KLINGON,\"a\""}), 2},
        {"empty key", Lines({"(", "  ,\"a\""}), 2},
        {"key with a blank inside", Lines({"(", "ENG LISH,\"a\""}), 2},
        {"language given twice", Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", "english,\"c\""}), 4},
        {"twice after an empty pair of quotes", Lines({"(", "GERMAN,\"\"", "GERMAN,\"b\""}), 3},
        {"text part of one character", Lines({"(", "GERMAN,\""}), 2},
        {"text part not quoted", Lines({"(", "GERMAN,abc"}), 2},
        {"no closing quote", Lines({"(", "GERMAN,\"abc"}), 2},
        {"no opening quote", Lines({"(", "GERMAN,abc\""}), 2},
        {"bad hex escape", Lines({"(", "GERMAN,\"\\x4G\""}), 2},
        {"DEL is not trimmed",
         Lines({"(", "\x7F"
                     "ENGLISH,\"a\""}),
         2},
        {"entry parenthesis with more", Lines({"( ENGLISH,\"a\""}), 1},
        {"LF-only lines are one line", "(\nENGLISH,\"a\"\nGERMAN,\"b\"\n)\n", 1},
        {"byte-order mark", "\xEF\xBB\xBF" + Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")"}), 1},
        {"CR CR LF adds a line", "\r\r\n(\r(\r\n", 4},
        {"number past 9", Lines(std::vector<std::string>(11, ";")) + ")", 12},
    };
    for (const ErrorCase& c : cases) {
        EXPECT_FALSE(Load(c.data)) << c.name;
        EXPECT_EQ(out_.str(), "Syntax error in KORVA.DAT/Line=" + std::to_string(c.line) + "\r\n")
            << c.name;
    }
}

TEST_F(DataLoaderTest, SyntaxErrorLineNamesTheFileAsGiven) {
    EXPECT_FALSE(Load(Lines({")"}), 1 << 20, std::string::npos, nullptr, "sub/My.dat"));
    EXPECT_EQ(out_.str(), "Syntax error in sub/My.dat/Line=1\r\n");
}

struct FilingCase {
    const char* name;
    std::vector<std::string> lines;
    std::vector<std::string> items;
};

TEST_F(DataLoaderTest, WhichEntriesAreFiled) {
    const std::vector<FilingCase> cases = {
        {"neutral and one destination", {"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")"}, {"a"}},
        // ENGLISH is a destination too; its one line still counts once.
        {"neutral alone", {"(", "ENGLISH,\"a\"", ")"}, {}},
        {"no neutral", {"(", "GERMAN,\"\\\"", "GERMAN,\"b\"", ")"}, {}},
        {"neutral given as \"\"", {"(", "ENGLISH,\"\"", "GERMAN,\"b\"", ")"}, {"\0"s}},
        {"neutral empty after escapes", {"(", "ENGLISH,\"\\\"", "GERMAN,\"b\"", ")"}, {}},
        {"empty escape result counts and may be given again",
         {"(", "ENGLISH,\"a\"", "GERMAN,\"\\\"", "GERMAN,\"\\x\"", ")"},
         {"a"}},
        {"unselected lines do not count", {"(", "ENGLISH,\"a\"", "FRENCH,\"b\"", ")"}, {}},
        {"unselected twice and unquoted",
         {"(", "FRENCH,x", "FRENCH,y", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")"},
         {"a"}},
        {"entry open at the end", {"(", "ENGLISH,\"a\"", "GERMAN,\"b\""}, {}},
        {"comments and blanks inside an entry",
         {"(", " ; note", "ENGLISH,\"a\"", "", "\t", "GERMAN,\"b\"", ")"},
         {"a"}},
        {"semicolon inside a text", {"(", "ENGLISH,\"a;b\"", "GERMAN,\"c\"", ")"}, {"a;b"}},
        {"quote and comma in a text",
         {"(", "ENGLISH,\"x\"y,z\"", "GERMAN , \"\" ", ")"},
         {"x\"y,z"}},
        {"control characters and NUL trimmed",
         {"\x01(\x1F", "\0ENGLISH,\"a\"\x1F"s, "GERMAN,\"b\"\t", " )\0"s},
         {"a"}},
    };
    for (const FilingCase& c : cases) {
        const bool ok = Load(Lines(c.lines));
        EXPECT_EQ(ok, !c.items.empty()) << c.name;
        EXPECT_EQ(Items(), c.items) << c.name;
        EXPECT_EQ(out_.str(), "") << c.name;
    }
}

// Four entries under texts equal but for case, the third not filed, around
// one other entry.
const std::vector<std::string> kCloseEntries = {
    "(",
    "ENGLISH,\"Close\"",
    "GERMAN,\"Schliessen\"",
    "FRENCH,\"Fermer\"",
    ")",
    "(",
    "ENGLISH,\"other\"",
    "GERMAN,\"x\"",
    ")",
    "(",
    "ENGLISH,\"CLOSE\"",
    ")", // dropped: it must not count as the last
    "(",
    "ENGLISH,\"close\"",
    "GERMAN,\"Zu\"",
    ")",
    "(",
    "ENGLISH,\"cLoSe\"",
    "GERMAN,\"Schlie\337en\"",
    ")",
};

TEST_F(DataLoaderTest, EqualNeutralTextsKeepTheFirstTextAndTheLastEntry) {
    selection_ = Selection("ENGLISH", {"FRENCH", "GERMAN"});
    ASSERT_TRUE(Load(Lines(kCloseEntries)));
    EXPECT_EQ(Items(), (std::vector<std::string>{"Close", "other"}));
    const TTransStrs& close = EntryOf("CLOSE");
    EXPECT_EQ(close.Text(Lang("ENGLISH")), "cLoSe");
    EXPECT_EQ(close.Text(Lang("GERMAN")), "Schlie\337en");
    // Replaced whole, not merged: the first entry's FRENCH is gone.
    EXPECT_EQ(close.Text(Lang("FRENCH")), "");
}

TEST_F(DataLoaderTest, ItemsAreInComparisonOrderAndFoundWhateverTheCase) {
    // 0xE9 and 0xC9 are e and E acute, which fold together.
    ASSERT_TRUE(Load(Lines({"(", "ENGLISH,\"b\"", "GERMAN,\"1\"", ")", "(", "ENGLISH,\"\xE9t\xE9\"",
                            "GERMAN,\"2\"", ")", "(", "ENGLISH,\"A\"", "GERMAN,\"3\"", ")", "(",
                            "ENGLISH,\"ab\"", "GERMAN,\"4\"", ")"})));
    EXPECT_EQ(Items(), (std::vector<std::string>{"A", "ab", "b", "\xE9t\xE9"}));
    EXPECT_EQ(EntryOf("\xC9T\xC9").Text(Lang("GERMAN")), "2");
    EXPECT_EQ(EntryOf("a").Text(Lang("GERMAN")), "3");
    std::size_t index = 99;
    EXPECT_FALSE(dict_.Find("aa", index));
    EXPECT_EQ(index, 1U);
}

// Each entry may name its languages in its own order and spelling; what an
// earlier entry wrote on the same line must not decide the language.
TEST_F(DataLoaderTest, LanguagesAreReadAnewOnEveryLine) {
    ASSERT_TRUE(Load(Lines({"(", "ENGLISH,\"one\"", "GERMAN,\"eins\"", ")", "(", "GERMAN,\"zwei\"",
                            "ENGLISH,\"two\"", ")", "(", "english,\"three\"", "German,\"drei\"",
                            ")", "(", "ENGLISH,\"four\"", "GERMAN,\"vier\"", ")"})));
    EXPECT_EQ(Items(), (std::vector<std::string>{"four", "one", "three", "two"}));
    EXPECT_EQ(EntryOf("one").Text(Lang("GERMAN")), "eins");
    EXPECT_EQ(EntryOf("two").Text(Lang("GERMAN")), "zwei");
    EXPECT_EQ(EntryOf("three").Text(Lang("GERMAN")), "drei");
    EXPECT_EQ(EntryOf("four").Text(Lang("GERMAN")), "vier");

    // A name that only begins like the one written before is no language.
    EXPECT_FALSE(Load(Lines({"(", "ENGLISH,\"one\"", "GERMAN,\"eins\"", ")", "(", "ENGLISH,\"two\"",
                             "GERMANY,\"zwei\"", ")"})));
    EXPECT_EQ(out_.str(), "Syntax error in KORVA.DAT/Line=7\r\n");
}

// The searches of FindAll take turns; each must end where Find alone ends,
// also when texts share their first eight bytes and when they are missing.
TEST_F(DataLoaderTest, FindAllFindsWhatFindFinds) {
    std::vector<std::string> lines;
    for (int i = 0; i < 300; i += 2) {
        const std::string text = (i % 3 == 0 ? "Common prefix " : "Other ") + std::to_string(i);
        lines.insert(lines.end(), {"(", "ENGLISH,\"" + text + "\"", "GERMAN,\"x\"", ")"});
    }
    ASSERT_TRUE(Load(Lines(lines)));
    std::vector<std::string> queries;
    for (int i = 0; i < 301; ++i) {
        queries.push_back((i % 3 == 0 ? "COMMON PREFIX " : "other ") + std::to_string(i));
    }
    queries.insert(queries.end(), {"", "Common", "Common prefix", "zzz", "\xFF", "Other 1"});
    const std::vector<std::string_view> views(queries.begin(), queries.end());
    std::vector<std::size_t> found(views.size(), 12345);
    dict_.FindAll(views, found);
    std::size_t hits = 0;
    for (std::size_t q = 0; q < views.size(); ++q) {
        std::size_t index = 0;
        if (dict_.Find(views[q], index)) {
            EXPECT_EQ(found[q], index) << views[q];
            ++hits;
        } else {
            EXPECT_EQ(found[q], TransDictionary::kNotFound) << views[q];
        }
    }
    EXPECT_EQ(hits, 150U); // every even number once, in whatever case
}

TEST_F(DataLoaderTest, OnlyTheSelectedLanguagesAreKept) {
    selection_ = Selection("GERMAN", {"FRENCH", "ITALIAN"});
    ASSERT_TRUE(Load(Lines({"(", "ENGLISH,\"e\"", "GERMAN,\"g\"", "FRENCH,\"f\"", "ITALIAN,\"i\"",
                            "SPANISH,\"s\"", ")"})));
    const TTransStrs& entry = EntryOf("g");
    EXPECT_EQ(entry.Count, 3);
    EXPECT_EQ(entry.Text(Lang("ENGLISH")), "");
    EXPECT_EQ(entry.Text(Lang("FRENCH")), "f");
    EXPECT_EQ(entry.Text(Lang("ITALIAN")), "i");
    EXPECT_EQ(entry.Text(Lang("SPANISH")), "");
    EXPECT_EQ(entry.Text(-1), "");
    EXPECT_EQ(entry.Text(LangKeyCount), "");
}

TEST_F(DataLoaderTest, LongAndEscapedTextsSurviveTheStore) {
    const std::string longText(300000, 'L');
    std::vector<std::string> lines;
    for (int i = 0; i < 50; ++i) {
        lines.insert(lines.end(),
                     {"(", "ENGLISH,\"k" + std::to_string(i) + "\"",
                      "GERMAN,\"" + longText + "\\x41" + std::to_string(i) + "\"", ")"});
    }
    ASSERT_TRUE(Load(Lines(lines), 4096));
    ASSERT_EQ(dict_.Count(), 50U);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(EntryOf("k" + std::to_string(i)).Text(Lang("GERMAN")),
                  longText + "A" + std::to_string(i));
    }
}

// With a filter the dictionary keeps what a lookup of its texts can find,
// and finds it exactly as the whole dictionary would, while nearly all other
// entries are left out. Those give their room back, long texts and chunk
// ends included, and the texts of kept entries stay intact.
TEST_F(DataLoaderTest, AFilterKeepsWhatItsTextsCanFindAndFindsItAlike) {
    selection_ = Selection("ENGLISH", {"FRENCH", "GERMAN"});
    std::vector<std::string> lines = kCloseEntries;
    lines.insert(lines.end(),
                 {"(", "ENGLISH,\"" + std::string(100000, 'L') + "\"", "GERMAN,\"long\"", ")"});
    for (int i = 0; i < 3000; ++i) {
        const std::string n = std::to_string(i);
        lines.insert(lines.end(), {"(", "ENGLISH,\"dropped " + n + std::string(150, '.') + "\"",
                                   "GERMAN,\"" + std::string(150, 'g') + "\"", ")"});
        if (i % 1000 == 0) {
            lines.insert(lines.end(), {"(", "ENGLISH,\"keep" + n + "\"",
                                       "GERMAN,\"kept " + n + std::string(100, '!') + "\"", ")"});
        }
    }
    const std::string data = Lines(lines);

    ASSERT_TRUE(Load(data));
    const TTransStrs& whole = EntryOf("close");
    const std::string wholeGerman(whole.Text(Lang("GERMAN")));
    const std::string wholeEnglish(whole.Text(Lang("ENGLISH")));

    FoldedTextFilter wanted(4, CodePage::Windows1252);
    for (const char* text : {"CLOSE", "KEEP1000", "keep2000", "not in the file"}) {
        wanted.Add(text);
    }
    ASSERT_TRUE(Load(data, 4096, std::string::npos, &wanted));
    // The filter may let a few others through; those it was given are there.
    const std::vector<std::string> items = Items();
    for (const char* text : {"Close", "keep1000", "keep2000"}) {
        EXPECT_NE(std::find(items.begin(), items.end(), text), items.end()) << text;
    }
    EXPECT_LT(items.size(), 3U + 30U);
    const TTransStrs& close = EntryOf("close");
    EXPECT_EQ(close.Text(Lang("GERMAN")), wholeGerman);
    EXPECT_EQ(close.Text(Lang("ENGLISH")), wholeEnglish);
    EXPECT_EQ(close.Text(Lang("FRENCH")), "");
    EXPECT_EQ(EntryOf("keep1000").Text(Lang("GERMAN")), "kept 1000" + std::string(100, '!'));
    EXPECT_EQ(EntryOf("keep2000").Text(Lang("GERMAN")), "kept 2000" + std::string(100, '!'));

    // Entries were filed, so the load succeeds as it would without the
    // filter, even with none of them kept.
    FoldedTextFilter none(1, CodePage::Windows1252);
    none.Add("nothing here");
    EXPECT_TRUE(Load(data, 4096, std::string::npos, &none));
    EXPECT_LT(dict_.Count(), 30U);
}

TEST_F(DataLoaderTest, ReadFailureFailsTheLoadAfterAFiledEntry) {
    const std::string data = Lines(
        {"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")", "(", "ENGLISH,\"c\"", "GERMAN,\"d\"", ")"});
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{8}, std::size_t{1} << 20}) {
        EXPECT_FALSE(Load(data, chunk, data.size() - 5)) << chunk;
        EXPECT_EQ(out_.str(), "");
    }
    EXPECT_FALSE(Load(data, 8, 0));
    EXPECT_EQ(dict_.Count(), 0U);
    EXPECT_TRUE(Load(data, 8));
}

TEST_F(DataLoaderTest, EmptyOrCommentOnlyFilesGiveFalseSilently) {
    for (const std::string& data :
         {""s, "\x1A" + Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")"}),
          Lines({"; only", "", "   "}),
          // A comment line swallows LF-only lines after it.
          ";c\n(\nENGLISH,\"a\"\nGERMAN,\"b\"\n)\n"s}) {
        EXPECT_FALSE(Load(data));
        EXPECT_EQ(out_.str(), "");
    }
}

TEST_F(DataLoaderTest, CtrlZEndsTheFileInsideALine) {
    // Line 5 is cut at Ctrl-Z: the rest, errors included, is never read.
    ASSERT_TRUE(Load(Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")", "(\x1A junk", ")", ")"})));
    EXPECT_EQ(Items(), (std::vector<std::string>{"a"}));
    ASSERT_TRUE(Load("(\rENGLISH,\"a\"\rGERMAN,\"b\"\r)\x1A)"));
    EXPECT_FALSE(Load("(\rENGLISH,\"a\"\rGERMAN,\"b\"\r)x\x1A"));
    EXPECT_EQ(out_.str(), "Syntax error in KORVA.DAT/Line=4\r\n");
}

} // namespace
} // namespace korva

namespace korva {
namespace {

// A UTF-8 data file, read in a UTF-8 run: the mark passed over, lines ended
// by CR LF, CR or LF in any mix, \xHH giving U+00HH, texts found by their
// folding, and a line that is not UTF-8 (comments too) a syntax error.
TEST_F(DataLoaderTest, Utf8DataFiles) {
    codePage_ = CodePage::Utf8;
    const std::string mark = "\xEF\xBB\xBF";
    struct Case {
        const char* what;
        std::string data;
        std::string output;                                     // the syntax error line, if any
        std::vector<std::pair<std::string, std::string>> found; // a text and its GERMAN text
    };
    const std::string russian =
        "ENGLISH,\"\xD0\x9E\xD0\xA2\xD0\x9A\xD0\xA0\xD0\xAB\xD0\xA2\xD0\xAC\""; // ОТКРЫТЬ
    const std::vector<Case> cases = {
        {"line ends mixed",
         mark + "; c\n(\r\n" + russian + "\rGERMAN,\"\xC3\226ffnen\"\n)\n",
         "",
         {{"\xD0\xBE\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82\xD1\x8C", "\xC3\226ffnen"}}},
        {"no mark, no last line end",
         "(\nENGLISH,\"\xCF\x83\"\nGERMAN,\"x\"\n)",
         "",
         {{"\xCE\xA3", "x"}, {"\xCF\x82", "x"}}},
        {"hexadecimal escapes",
         mark + Lines({"(", "ENGLISH,\"a\\xE9\\x41\"", "GERMAN,\"\\xFF\"", ")"}),
         "",
         {{"a\xC3\251A", "\xC3\xBF"}}},
        {"a lone surrogate",
         mark + Lines({"(", "ENGLISH,\"\xED\xA0\x80\"", "GERMAN,\"s\"", ")"}),
         "",
         {{"\xED\xA0\x80", "s"}}},
        {"invalid in a text",
         mark + "(\nENGLISH,\"a\"\nGERMAN,\"\xC3(\"\n)\n",
         "Syntax error in KORVA.DAT/Line=3\r\n",
         {}},
        {"invalid in a comment",
         mark + Lines({"; ok", "; \xFF"}),
         "Syntax error in KORVA.DAT/Line=2\r\n",
         {}},
        {"a pair spelt as two",
         mark + Lines({"(", "ENGLISH,\"\xED\xA0\xBD\xED\xB8\x80\""}),
         "Syntax error in KORVA.DAT/Line=2\r\n",
         {}},
        {"a mark later on",
         mark + Lines({"(", mark + "ENGLISH,\"a\"", "GERMAN,\"b\"", ")"}),
         "Syntax error in KORVA.DAT/Line=2\r\n",
         {}},
        {"only the mark", mark, "", {}},
    };
    for (const Case& c : cases) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{1} << 20}) {
            EXPECT_EQ(Load(c.data, chunk), c.output.empty() && !c.found.empty()) << c.what;
            EXPECT_EQ(out_.str(), c.output) << c.what;
            for (const auto& [text, german] : c.found) {
                EXPECT_EQ(EntryOf(text).Text(Lang("GERMAN")), german) << c.what;
            }
        }
    }
}

} // namespace
} // namespace korva
