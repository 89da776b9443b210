// The placeholder, accelerator and shortcut checks, and PO strings written
// and read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dat/format_checks.h"
#include "dat/po_file.h"
#include "dat/po_header.h"
#include "langkeys/lang_const.h"

namespace korva::dat {
namespace {

struct FormatRow {
    const char* source;
    const char* translation;
    std::vector<const char*> problems; // a piece of each expected sentence, in order
};

TEST(CompareFormats, FindsWhatWouldBreakTheProgram) {
    const std::vector<FormatRow> rows = {
        {"Open %s",
         "%s \xC3\xB6"
         "ffnen",
         {}},
        {"%d of %s",
         "%s von %d",
         {"in number, order or type: %d %s in the source, %s %d in the translation"}},
        {"%d files", "%ld Dateien", {"printf"}},
        {"%-10.3f%%", "%.2f %%", {}},
        {"%I64u bytes", "%llu Bytes", {}},
        {"%*d", "%d", {"printf"}},
        {"%i items", "%d items", {}},
        {"Done", "Fertig: %s", {"none in the source, %s in the translation"}},
        {"50% off", "50 % de remise", {}},
        {"100%", "100 %", {}},
        {"%1 of %2", "%2 von %1", {}},
        {"%1!d! of %2",
         "%2 von %1!s!",
         {"numbered placeholders differ from the source's: %1!d! %2 in the source, %1 %2"}},
        {"Copy %1 to %2", "%1 kopieren", {"numbered"}},
        {"%1 files", "%1 Dateien %3", {"numbered"}},
        {"&File", "&Datei", {}},
        {"&File", "Datei", {"1 accelerator (&), the translation 0"}},
        {"Save && Exit", "Speichern && Beenden", {}},
        {"&Save && E&xit", "&Speichern", {"2 accelerators"}},
        {"&Save\tCtrl+S", "&Speichern\tStrg+S", {}},
        {"&Save\tCtrl+S", "&Speichern", {"shortcut after a tab"}},
        {"Save", "Speichern\tStrg+S", {"the translation has a part after a tab"}},
        {"&Copy %s\tCtrl+C", "Kopieren %d", {"printf", "accelerator", "tab"}},
    };
    for (const FormatRow& row : rows) {
        const std::vector<std::string> problems = CompareFormats(row.source, row.translation);
        ASSERT_EQ(problems.size(), row.problems.size()) << row.source << " / " << row.translation;
        for (std::size_t i = 0; i < problems.size(); ++i) {
            EXPECT_NE(problems[i].find(row.problems[i]), std::string::npos)
                << row.source << " / " << row.translation << ": " << problems[i];
        }
    }
}

// What export-po marks c-format: printf's placeholders, not FormatMessage's.
TEST(CompareFormats, TellsPrintfFormatsFromFormatMessageOnes) {
    const std::vector<std::pair<const char*, bool>> rows = {
        {"%s", true},           {"%d of %s done, 50% more", true},
        {"%-10.3f", true},      {"100%%", true},
        {"%I64u bytes", true},  {"%*d", true},
        {"50% off", false},     {"plain", false},
        {"100%", false},        {"%1", false},
        {"%1 of %2", false},    {"%1!s! of %2!d!", false},
        {"%s in %1!s!", false}, {"Line%nnext", false},
        {"%1 files", false},    {"%0", false},
        {"%d files%n", false},
    };
    for (const auto& [text, printf] : rows) {
        EXPECT_EQ(IsPrintfFormat(text), printf) << text;
    }
}

TEST(PoFile, WritesStringsThatReadBackUnchanged) {
    const std::vector<std::string> texts = {
        "plain",
        "quote \" and backslash \\",
        "tab\tCR\rbell\aBS\bFF\fVT\v",
        "two\nlines\nand more",
        "ends in a line break\n",
        "\nbegins with one",
        "\xD0\x9E\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82\xD1\x8C \xF0\x9F\x98\x80",
        "ctl\x01\x1A"};
    std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    for (const std::string& t : texts) {
        po += PoField("msgid", t) + PoField("msgstr", "x" + t) + "\n";
    }
    const Result<std::vector<PoMessage>> read = ParsePo(po, "t.po");
    ASSERT_TRUE(read) << read.error().message;
    ASSERT_EQ(read->size(), texts.size() + 1);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ((*read)[i + 1].msgid, texts[i]);
        EXPECT_EQ((*read)[i + 1].msgstr.front(), "x" + texts[i]);
    }
    EXPECT_EQ(HeaderField(read->front(), "content-type"), "text/plain; charset=UTF-8");
}

TEST(PoFile, ReadsWhatOtherToolsWrite) {
    const std::string po =
        "\xEF\xBB\xBF# translator comment\r\n"
        "msgid \"\"\r\nmsgstr \"\"\r\n\"Language: de\\n\"\r\n\r\n"
        "#. korva-dat: note\n#: a.exe:1 b.exe:2\n#, fuzzy, c-format\n"
        "msgid \"\"\n\"wrapped \"\n\"text\"\nmsgstr \"\"\n\"ge\"\n\"wrapped\\x21\\041\"\n\n"
        "#, fuzzy\n#~ msgid \"old\"\n#~ msgstr \"alt\"\n\n"
        "msgctxt \"menu\"\nmsgid \"File\"\nmsgstr \"Datei\"\n\n"
        "#| msgid \"Prev\"\nmsgid \"One\"\nmsgid_plural \"Many\"\nmsgstr[0] \"Eins\"\n"
        "msgstr[1] \"Viele\"\n";
    const Result<std::vector<PoMessage>> read = ParsePo(po, "t.po");
    ASSERT_TRUE(read) << read.error().message;
    ASSERT_EQ(read->size(), 4u);
    EXPECT_EQ(HeaderField((*read)[0], "Language"), "de");
    const PoMessage& wrapped = (*read)[1];
    EXPECT_EQ(wrapped.msgid, "wrapped text");
    EXPECT_EQ(wrapped.msgstr.front(), "gewrapped!!");
    EXPECT_TRUE(wrapped.Fuzzy());
    EXPECT_EQ(wrapped.references, (std::vector<std::string>{"a.exe:1", "b.exe:2"}));
    EXPECT_EQ(wrapped.extractedComments, std::vector<std::string>{"korva-dat: note"});
    EXPECT_EQ((*read)[2].context, "menu");
    EXPECT_FALSE((*read)[2].Fuzzy()); // the obsolete message's flag stays with it
    EXPECT_EQ((*read)[3].msgstr.size(), 2u);
}

// A PO header's Language field against its X-Korva-Language: a region of
// the same language agrees, another language or another region does not.
TEST(PoHeader, LanguageFieldAgreesWithTheLanguageOfTheSameIdOnly) {
    struct Row {
        const char* code;
        const char* language; // a key or a tag
        bool agrees;
    };
    const std::vector<Row> rows = {
        {"de", "GERMAN", true},
        {"DE", "GERMAN", true},
        {"de_AT", "GERMAN", true},
        {"de_DE.UTF-8", "GERMAN", true},
        {"de_XX", "GERMAN", true}, // a region korva does not know
        {"", "GERMAN", true},      // names nothing
        {"fr", "GERMAN", false},
        {"GERMAN", "GERMAN", false}, // a key name is no code
        {"pt_BR", "PORTUGUESE", true},
        {"pt", "pt-BR", true},
        {"pt_BR", "pt-BR", true},
        {"pt-br", "pt-BR", true},
        {"pt_PT", "pt-BR", false},
        {"es", "pt-BR", false},
        {"zh_TW", "zh-TW", true},
        {"zh_CN", "zh-TW", false},
        {"zh_Hans", "zh-TW", false}, // a script, named by the key's own id
        {"zh_TW", "CHINESE", true},
        {"sr@latin", "SERBIAN", true},
        {"sr@latin", "sr-Cyrl-RS", true}, // a modifier names no id
        {"hr", "SERBIAN", false},         // one primary id, two languages
        {"bs", "CROATIAN", false},
        {"nn", "NORWEGIAN", true},
        {"no_NO", "NORWEGIAN", true},
        {"nb_NO", "nb-NO", true},
        {"bn_IN", "bn", true}, // a tag with no key and no region
        {"en_US", "en-GB", false},
        {"xx", "GERMAN", false},
    };
    for (const Row& row : rows) {
        const int language = FindLanguage(row.language);
        ASSERT_GE(language, 0) << row.language;
        EXPECT_EQ(PoCodeCanName(row.code, language), row.agrees)
            << row.code << " / " << row.language;
    }
}

TEST(PoFile, NamesTheLineOfWhatItCannotRead) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"msgid \"a\"\nmsgstr \"b\n", "t.po:2: the string has no closing quote"},
        {"msgid \"a\"\nmsgstr \"\\q\"\n", "t.po:2: unknown escape \\q"},
        {"msgid \"a\"\n\nmsgid \"b\"\nmsgstr \"\"\n",
         "t.po:3: the message at line 1 has no msgstr"},
        {"msgstr \"b\"\n", "t.po:1: msgstr before msgid"},
        {"\"b\"\n", "t.po:1: a string continues no msgid or msgstr"},
        {"msgid \"a\" x\nmsgstr \"\"\n", "t.po:1: text after the closing quote"},
        {"msgid \"a\"\nmsgstr \"\\xC3\"\n",
         "t.po:2: the message at line 1 is not valid UTF-8 text"},
        {"msgid \"a\"\nmsgstr \"\"\nmsgfoo \"\"\n", "t.po:3: unknown keyword 'msgfoo'"},
    };
    for (const auto& [po, message] : rows) {
        const Result<std::vector<PoMessage>> read = ParsePo(po, "t.po");
        ASSERT_FALSE(read) << po;
        EXPECT_EQ(read.error().message, message);
    }
}

} // namespace
} // namespace korva::dat
