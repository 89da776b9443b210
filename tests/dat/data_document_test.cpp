// The data file as korva-dat reads and writes it, against korva's own
// loader: texts quoted by korva-dat come back byte for byte, and the lines,
// errors and filed entries korva-dat sees are the ones korva sees.
#include "dat/data_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/console.h"
#include "dat/folded_text_table.h"
#include "dat/languages.h"
#include "dat/text_codec.h"
#include "datafile/data_loader.h"
#include "datafile/escapes.h"
#include "datafile_support.h"
#include "langkeys/lang_const.h"
#include "support/code_page.h"
#include "text/compare.h"
#include "text/text.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

using namespace std::string_literals;

// Korva's dictionary of a data file, with its console line.
struct KorvaLoad {
    bool loaded = false;
    std::string console;
    TransDictionary dict;
};

LanguageChoice Choice(std::string_view neutral, std::vector<std::string_view> dests) {
    LanguageChoice c;
    c.neutral = FindLangKey(neutral);
    for (const std::string_view d : dests) {
        c.dests.push_back(FindLangKey(d));
    }
    std::sort(c.dests.begin(), c.dests.end());
    return c;
}

KorvaLoad LoadWithKorva(const std::string& bytes, const LanguageChoice& choice) {
    DataLoadOptions options;
    options.codePage = bytes.starts_with(kUtf8Mark) ? CodePage::Utf8 : CodePage::Windows1252;
    options.languages = SelectionOf(choice);
    Result<DataLoadOutcome> loaded = LoadDataFrom(test::ReadFrom(bytes, 7), "K.DAT", options);
    EXPECT_TRUE(loaded.ok());
    KorvaLoad out;
    if (loaded) {
        out.loaded = loaded->Loaded();
        out.console = loaded->syntaxError ? loaded->syntaxError->message + "\r\n" : "";
        out.dict = std::move(loaded->dict);
    }
    return out;
}

// Texts that need every kind of care, in both code pages.
const std::vector<std::string> kHardTexts = {"plain",
                                             "ends in a backslash\\",
                                             "\\",
                                             "\\\\x41 and \\n",
                                             "say \"hi\"",
                                             "\"",
                                             "\"\"",
                                             "CR\rLF\nCRLF\r\n",
                                             "Ctrl-Z\x1A end",
                                             "NUL\0inside"s,
                                             "\0"s,
                                             "  blanks around  ",
                                             "; not a comment",
                                             "(",
                                             ")",
                                             "tab\tbell\a\b\v\f\x7F\x01",
                                             "ENGLISH,\"x\"",
                                             "50% \\x4G",
                                             "\xE9t\xE9 \x80"};

TEST(QuoteDataText, KorvaReadsBackEveryTextByteForByte) {
    std::mt19937 random(1234);
    std::vector<std::string> texts = kHardTexts;
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 300; ++i) {
        std::string t;
        for (int n = i % 12 + 1; n > 0; --n) {
            t += static_cast<char>(byte(random));
        }
        texts.push_back(t);
    }
    for (const bool utf8 : {false, true}) {
        std::string file = utf8 ? std::string(kUtf8Mark) : std::string();
        std::vector<std::string> expected;
        for (const std::string& raw : texts) {
            // A UTF-8 file holds UTF-8 texts; 1252 holds every byte.
            const std::string text = utf8 ? Cp1252ToUtf8(raw) : raw;
            const std::string quoted = QuoteDataText(text);
            std::string resolved;
            ASSERT_TRUE(ResolveEscapes(quoted.substr(1, quoted.size() - 2), resolved, utf8));
            EXPECT_EQ(resolved, text) << quoted;
            file +=
                "(\r\nENGLISH," + quoted + "\r\nGERMAN," + QuoteDataText("x" + text) + "\r\n)\r\n";
            expected.push_back(text);
        }
        const KorvaLoad korva = LoadWithKorva(file, Choice("ENGLISH", {"GERMAN"}));
        ASSERT_TRUE(korva.loaded) << korva.console;
        for (const std::string& text : expected) {
            std::size_t index = 0;
            ASSERT_TRUE(korva.dict.Find(text, index)) << QuoteDataText(text);
            EXPECT_EQ(korva.dict.Entry(index).Text(FindLangKey("GERMAN")), "x" + text);
        }
    }
    ResetLangSelection();
}

// One row: a file, and the lines korva-dat must report, in order.
struct SyntaxRow {
    const char* name;
    std::string file;
    std::vector<std::uint64_t> errorLines;
    const char* firstMessage;
};

TEST(DataDocument, ReportsEverySyntaxErrorWithItsLine) {
    const std::vector<SyntaxRow> rows = {
        {"clean", test::Lines({"; c", "(", "ENGLISH,\"a\"", "GERMAN,\"\"", ")"}), {}, ""},
        {"no comma", test::Lines({"(", "ENGLISH \"a\"", ")"}), {2}, "needs a comma"},
        {"comma last", test::Lines({"(", "ENGLISH,", ")"}), {2}, "nothing follows the comma"},
        {"no key", test::Lines({"(", "KLINGON,\"a\"", ")"}), {2}, "not a language key"},
        {"twice", test::Lines({"(", "GERMAN,\"a\"", "german,\"b\"", ")"}), {3}, "given twice"},
        {"unquoted", test::Lines({"(", "GERMAN,a", ")"}), {2}, "double quotes"},
        {"bad hex", test::Lines({"(", "GERMAN,\"\\x4G\"", ")"}), {2}, "hexadecimal"},
        {"open twice", test::Lines({"(", "(", ")"}), {2}, "lacks its ')'"},
        {"close alone", test::Lines({")"}), {1}, "without an entry"},
        {"text outside", test::Lines({"GERMAN,\"a\""}), {1}, "outside an entry"},
        {"never closed", test::Lines({"(", "GERMAN,\"a\""}), {1}, "never closed"},
        {"bad languages line",
         test::Lines({";@ languages: ENGLISH GERMAN"}),
         {1},
         "destination list"},
        {"not UTF-8", "\xEF\xBB\xBF(\n\xC3(\n)\n", {2}, "not valid UTF-8"},
        {"all of them, in order",
         test::Lines({"GERMAN,\"a\"", "(", "ENGLISH,\"a\"", "ENGLISH,\"b\"", "FRENCH,x", ")", ")",
                      "(", "X,\"\"", ")"}),
         {1, 4, 5, 7, 9},
         "outside an entry"},
    };
    for (const SyntaxRow& row : rows) {
        const DataDocument doc = ParseDataDocument(row.file, "K.DAT");
        std::vector<std::uint64_t> lines;
        for (const DataError& e : doc.errors) {
            lines.push_back(e.line);
        }
        EXPECT_EQ(lines, row.errorLines) << row.name;
        if (!doc.errors.empty()) {
            EXPECT_NE(doc.errors.front().message.find(row.firstMessage), std::string::npos)
                << row.name << ": " << doc.errors.front().message;
        }
    }
}

// Random files from line shapes that touch every rule: korva's syntax error
// line is korva-dat's first error that korva finds with the languages it
// takes in, and without one the entries korva files are korva-dat's group
// winners.
TEST(DataDocument, SeesWhatKorvasLoaderSees) {
    // Inside entries mostly, lines of every kind; now and then a line that
    // stands anywhere, so that many files have entries to compare and some
    // break the structure.
    const std::vector<std::string> inEntry = {"",
                                              "; comment",
                                              ";GERMAN,\"\"",
                                              "ENGLISH,\"Open\"",
                                              "english , \"OPEN\"",
                                              "GERMAN,\"\\xC4ffnen\"",
                                              "FRENCH,\"\"",
                                              "GERMAN,\"\\\"",
                                              "ENGLISH,\"Save\\tAs\"",
                                              "SPANISH,\"a,b\"",
                                              "SPANISH,x",
                                              "ENGLISH,\"x\\x4\"",
                                              "ENGLISH,\"\"",
                                              "GERMAN,\"Save\"",
                                              "ENGLISH,\"Close\"\x1Atail",
                                              "GERMAN,\"y\\x4G\"",
                                              "GERMAN x",
                                              "ITALIAN,",
                                              "NOKEY,\"a\"",
                                              "GERMAN,unquoted",
                                              "ITALIAN,\"\\x4G\""};
    const std::vector<std::string> anywhere = {
        "(", ")", "  (  ", "; c", "ENGLISH,\"stray\"", ";@ languages: ENGLISH GERMAN"};
    const std::vector<std::string> ends = {"\r\n", "\r", "\n", "\r\r\n"};
    std::mt19937 random(99);
    const LanguageChoice all = [] {
        LanguageChoice c;
        c.neutral = FindLangKey("ENGLISH");
        for (int i = 0; i < LangKeyCount; ++i) {
            c.dests.push_back(i);
        }
        return c;
    }();
    const LanguageChoice some = Choice("ENGLISH", {"GERMAN", "FRENCH"});
    int compared = 0;
    for (int round = 0; round < 3000; ++round) {
        const bool utf8 = round % 2 == 1;
        std::string file = utf8 ? std::string(kUtf8Mark) : std::string();
        const auto end = [&] { return ends[random() % ends.size()]; };
        for (int n = static_cast<int>(random() % 5); n > 0; --n) {
            if (random() % 8 == 0) {
                file += anywhere[random() % anywhere.size()] + end();
                continue;
            }
            file += "(" + end();
            for (int k = static_cast<int>(random() % 4); k > 0; --k) {
                // Errors only now and then: most files must be clean.
                const std::size_t pick =
                    random() % 6 == 0 ? random() % inEntry.size() : random() % 15;
                file += inEntry[pick] + end();
            }
            file += ")" + end();
        }
        const DataDocument doc = ParseDataDocument(file, "K.DAT");
        // The line korva writes: that of the first error it finds with the
        // languages it takes in.
        const auto korvaLine = [&doc](const LanguageChoice& c) -> std::string {
            for (const DataError& e : doc.errors) {
                if (e.stopsKorva &&
                    (e.lang < 0 || e.lang == c.neutral ||
                     std::find(c.dests.begin(), c.dests.end(), e.lang) != c.dests.end())) {
                    return "Syntax error in K.DAT/Line=" + std::to_string(e.line) + "\r\n";
                }
            }
            return "";
        };
        const KorvaLoad strict = LoadWithKorva(file, all);
        ASSERT_EQ(strict.console, korvaLine(all)) << file;
        const KorvaLoad korva = LoadWithKorva(file, some);
        ASSERT_EQ(korva.console, korvaLine(some)) << file;
        // Faults in the lines of languages korva passes over leave what it
        // files as korva-dat sees it.
        if (!korva.console.empty()) {
            continue;
        }
        std::size_t filedGroups = 0;
        for (const EntryGroup& g : GroupEntries(doc, some.neutral, some.dests)) {
            const DataEntry& winner = doc.entries[g.winner];
            if (!winner.FiledFor(some.neutral, some.dests)) {
                continue;
            }
            ++filedGroups;
            std::size_t index = 0;
            ASSERT_TRUE(korva.dict.Find(winner.TextOf(some.neutral)->text, index)) << file;
            for (const int lang : some.dests) {
                const EntryText* t = winner.TextOf(lang);
                EXPECT_EQ(korva.dict.Entry(index).Text(lang), t != nullptr ? t->text : "") << file;
            }
        }
        EXPECT_EQ(korva.dict.Count(), filedGroups) << file;
        compared += filedGroups > 0 ? 1 : 0;
    }
    EXPECT_GT(compared, 80); // enough files with entries to compare
}

TEST(DataDocument, KeepsEveryByteAndFindsItsOwnComments) {
    const std::string file = std::string(kUtf8Mark) +
                             ";@ languages: -O0x0409 ENGLISH (ENGLISH,GERMAN)\n\n"
                             "; mine\n;@ used in a b.exe, block #2, string id 17\n"
                             ";@ used in app.exe, block MY, TEXTS, slot 3\n;@ unused\n"
                             "(\r\nENGLISH,\"x\"\r\n ; GERMAN , \"\" \r\n)\rlast\x1A(\r\ntail";
    const DataDocument doc = ParseDataDocument(file, "K.DAT");
    std::string again = doc.bytes.substr(0, doc.headSize);
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        again += doc.LineWithEnd(i);
    }
    EXPECT_EQ(again + doc.bytes.substr(doc.tailBegin), file);
    EXPECT_EQ(doc.lineEnd, "\n");
    ASSERT_TRUE(doc.languages.has_value());
    EXPECT_EQ(doc.languages->OriginalLangId(), 0x0409);
    EXPECT_EQ(DescribeChoice(*doc.languages), "ENGLISH (ENGLISH,GERMAN)");
    ASSERT_EQ(doc.entries.size(), 1u);
    const DataEntry& e = doc.entries.front();
    EXPECT_TRUE(e.markedUnused);
    EXPECT_EQ(e.ownComments.size(), 3u);
    ASSERT_EQ(e.locations.size(), 2u);
    EXPECT_EQ(e.locations[0].program, "a b.exe");
    EXPECT_EQ(e.locations[0].number, 17u);
    EXPECT_EQ(e.locations[1].block, "MY, TEXTS");
    EXPECT_TRUE(e.locations[1].named);
    EXPECT_EQ(LocationLine(e.locations[1]), ";@ used in app.exe, block MY, TEXTS, slot 3");
    ASSERT_NE(e.PlaceholderOf(FindLangKey("GERMAN")), nullptr);
    // "last" stands before the Ctrl-Z, outside any entry.
    ASSERT_EQ(doc.errors.size(), 1u);
    EXPECT_EQ(doc.errors[0].line, 11u);
}

// Where-used comments of every kind read back as written, the item's own
// commas and the program's blanks kept apart from the label's.
TEST(DataDocument, WhereUsedCommentsOfEveryKindReadBack) {
    using K = res::ResourceKind;
    struct Row {
        K kind;
        std::string block;
        std::string where;
        std::string line;
    };
    const std::vector<Row> rows = {
        {K::Menus, "#101", "File > Open", ";@ used in my app.exe, menu #101, File > Open"},
        {K::Menus, "MAIN", "Edit > Find, Replace",
         ";@ used in my app.exe, menu MAIN, Edit > Find, Replace"},
        {K::Dialogs, "#200", "control 1001", ";@ used in my app.exe, dialog #200, control 1001"},
        {K::Dialogs, "ABOUT", "caption", ";@ used in my app.exe, dialog ABOUT, caption"},
        {K::Version, "#1", "FileDescription", ";@ used in my app.exe, version, FileDescription"},
        {K::Version, "#2", "ProductName", ";@ used in my app.exe, version #2, ProductName"},
        {K::Messages, "#1", "0x0000000C", ";@ used in my app.exe, message 0x0000000C"},
        {K::Messages, "#3", "0xC0000001", ";@ used in my app.exe, message #3, 0xC0000001"},
    };
    for (const Row& row : rows) {
        TextLocation location;
        location.program = "my app.exe";
        location.kind = row.kind;
        location.block = row.block;
        location.where = row.where;
        EXPECT_EQ(LocationLine(location), row.line);
        const std::optional<TextLocation> read = ReadLocationLine(row.line);
        ASSERT_TRUE(read.has_value()) << row.line;
        EXPECT_EQ(read->program, "my app.exe") << row.line;
        EXPECT_EQ(read->kind, row.kind) << row.line;
        EXPECT_EQ(read->block, row.block) << row.line;
        EXPECT_EQ(read->where, row.where) << row.line;
    }
    EXPECT_FALSE(ReadLocationLine(";@ used in app.exe, menu").has_value());
    EXPECT_FALSE(ReadLocationLine(";@ used in app.exe").has_value());
}

// The table that groups and finds neutral texts must agree with korva's
// comparison: a text finds exactly the texts CompareText calls equal.
TEST(FoldedTextTable, FindsWhatKorvasComparisonCallsEqual) {
    struct Row {
        const char* name;
        std::string stored;
        std::string looked;
        CodePage codePage;
    };
    const std::vector<Row> rows = {
        {"ascii case", "Ready", "READY", CodePage::Utf8},
        {"ascii differs", "Ready", "Ready.", CodePage::Utf8},
        {"cyrillic case", "\xD0\x9E\xD0\xBA", "\xD0\xBE\xD0\x9A", CodePage::Utf8},
        {"cyrillic yo", "\xD0\x81", "\xD1\x91", CodePage::Utf8},
        {"two malformed bytes", "a\xFF", "a\xFE", CodePage::Utf8},
        {"malformed and U+FFFD", "a\xFF", "a\xEF\xBF\xBD", CodePage::Utf8},
        {"1252 accented case", "\xC4nderung", "\xE4NDERUNG", CodePage::Windows1252},
        {"1252 differs",
         "Gr\xF6\xDF"
         "e",
         "Grosse", CodePage::Windows1252},
        {"empty and not", "", "x", CodePage::Utf8},
        {"prefix", "abc", "ab", CodePage::Windows1252},
    };
    for (const Row& row : rows) {
        FoldedTextTable table(row.codePage, 1);
        EXPECT_FALSE(table.Insert(row.stored, 7)) << row.name;
        const bool equal = CompareText(row.stored, row.looked, row.codePage) == 0;
        EXPECT_EQ(table.Find(row.looked), equal ? std::optional<std::size_t>(7) : std::nullopt)
            << row.name;
        if (equal) {
            EXPECT_EQ(FoldedTextHash(row.stored, row.codePage),
                      FoldedTextHash(row.looked, row.codePage))
                << row.name;
            EXPECT_EQ(table.Insert(row.looked, 8), std::optional<std::size_t>(7)) << row.name;
        }
    }
}

TEST(FoldedTextTable, KeepsEveryTextAsItGrows) {
    std::vector<std::string> texts;
    for (int i = 0; i < 5000; ++i) {
        texts.push_back("Text \xD0\x96 number " + std::to_string(i));
    }
    FoldedTextTable table(CodePage::Utf8, 1);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ASSERT_FALSE(table.Insert(texts[i], i)) << texts[i];
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string upper = texts[i];
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
        upper.replace(upper.find("\xD0\x96"), 2, "\xD0\xB6"); // the letter's lower case
        EXPECT_EQ(table.Find(upper), std::optional<std::size_t>(i)) << texts[i];
    }
    EXPECT_FALSE(table.Find("Text \xD0\x96 number 5000"));
}

} // namespace
} // namespace korva::dat
