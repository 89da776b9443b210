// korva-dat on real programs built by mingw-w64 and by clang with llvm-rc
// and lld-link: what it extracts, korva translates completely; what check
// counts, korva counts; update keeps what translators did; and the data file
// goes through gettext's and polib's PO files and comes back unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dat_support.h"
#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "support/workspace.h"

namespace korva::dat::test {
namespace {

using e2e::Builder;
using korva::test::ProcessResult;
using korva::test::Workspace;

const std::string kLangs = "(ENGLISH,FRENCH,GERMAN)";

// One string of the program, and the text of the entry it is translated
// from: its own, or that of an earlier string korva takes for the same.
struct Row {
    std::uint32_t id;
    std::u16string text;
    std::u16string entryText;
};

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = [] {
        std::vector<Row> r = {
            {1, u"&Open...", {}},
            {2, u"&Save\tCtrl+S", {}},
            {3, u"Say \"hi\"", {}},
            {4, u"\"", {}},
            {5, u"C:\\Temp\\", {}},
            {6, u"\\x41 is not an escape, \\n neither", {}},
            {7, u"Line 1\r\nLine 2", {}},
            {8, u"Ctrl-Z \x001A inside, bell \x0007, DEL \x007F", {}},
            {9, std::u16string(u"NUL\0inside", 10), {}},
            {10, u"  blanks around  ", {}},
            {11, u"; not a comment", {}},
            {12, u"(", {}},
            {13, u")", {}},
            {16, u"Open", {}},
            {17, u"OPEN", u"Open"},
            {18, u"\x041E\x0442\x043A\x0440\x044B\x0442\x044C", {}},
            {19, u"\x041E\x0422\x041A\x0420\x042B\x0422\x042C",
             u"\x041E\x0442\x043A\x0440\x044B\x0442\x044C"},
            {20, u"%d of %s done, 50% more", {}},
            {21, u"\x6587\x4EF6 \xD83D\xDE00", {}},
            {22, u"lone \xD800 surrogate", {}},
            {23, u"ends in a line break\n", {}},
            {24, u"tab at the end\t", {}},
            {100, u"Block seven", {}},
        };
        for (Row& row : r) {
            if (row.entryText.empty()) {
                row.entryText = row.text;
            }
        }
        return r;
    }();
    return rows;
}

// Block 13 is already in German as well; korva and korva-dat leave it.
const std::string kLanguageDependent =
    "LANGUAGE 7, 1\nSTRINGTABLE\nBEGIN\n  200 L\"Schon deutsch\"\nEND\n"
    "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n  201 L\"Also neutral\"\nEND\n";

std::string RowsProgram(Builder builder) {
    std::map<std::uint32_t, std::u16string> texts;
    for (const Row& row : Rows()) {
        texts[row.id] = row.text;
    }
    return e2e::BuildProgram(builder, {StringTableScript(texts, kLanguageDependent), {}, 0});
}

std::size_t Count(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos;
         at = text.find(piece, at + 1)) {
        ++n;
    }
    return n;
}

class DatRoundTrip : public testing::TestWithParam<Builder> {};

TEST_P(DatRoundTrip, ExtractedAndFilledKorvaTranslatesEveryTextExactly) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string app = ws.Copy(RowsProgram(GetParam()), "app.exe");
    const std::string dir = ws.path().string();

    const ProcessResult extract =
        RunDat({"extract", "ENGLISH", kLangs, "app.exe", "-o", "new.dat"}, dir);
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    EXPECT_NE(extract.output.find("app.exe block #13 left out"), std::string::npos)
        << extract.output;
    const std::string extracted = ReadText(dir + "/new.dat");
    // One entry per text korva tells apart; two pairs differ only in case.
    EXPECT_EQ(Count(extracted, "\r\n(\r\n"), Rows().size() - 2);
    EXPECT_EQ(Count(extracted, ";@ used in app.exe, block #2, string id 17\r\n"), 1u);

    const std::string filled = Fill(extracted, "ENGLISH", {{"FRENCH", "[fr]"}, {"GERMAN", "[de]"}});
    korva.WriteDataFile(filled);
    const ProcessResult check = RunDat({"check", "KORVA.DAT", "app.exe"}, dir);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find("KORVA.DAT: 0 errors, complete"), std::string::npos);

    const ProcessResult run = korva.Run({"-Q", "ENGLISH", kLangs, app});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(CheckCounters(check), KorvaCounters(run));
    const Texts texts = StringTableTexts(app);
    for (const Row& row : Rows()) {
        EXPECT_EQ(texts.at({0x0C, row.id}), u"[fr]" + row.entryText) << row.id;
        EXPECT_EQ(texts.at({0x07, row.id}), u"[de]" + row.entryText) << row.id;
        EXPECT_EQ(texts.at({0x09, row.id}), row.entryText) << row.id; // the entry's own
    }
}

INSTANTIATE_TEST_SUITE_P(Builders, DatRoundTrip,
                         testing::Values(Builder::MingwX64, Builder::ClangX86),
                         [](const auto& instance) { return e2e::BuilderName(instance.param); });

// Data files in several states of translation: check's counts and verdict
// are korva's, whatever the state.
TEST(DatCheck, CountsExactlyAsKorva) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string program = RowsProgram(Builder::ClangX64);
    const std::string dir = ws.path().string();
    ws.Copy(program, "app.exe");
    const ProcessResult extract =
        RunDat({"extract", "ENGLISH", kLangs, "app.exe", "-o", "x.dat"}, dir);
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    const std::string extracted = ReadText(dir + "/x.dat");
    const std::string full = Fill(extracted, "ENGLISH", {{"FRENCH", "fr "}, {"GERMAN", "de "}});
    const auto replaced = [](std::string data, const std::string& from, const std::string& to) {
        const std::size_t at = data.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? data : data.replace(at, from.size(), to);
    };
    const std::map<std::string, std::string> states = {
        {"untranslated", extracted},
        {"complete", full},
        {"French only", Fill(extracted, "ENGLISH", {{"FRENCH", "fr "}})},
        {"a text missing",
         replaced(full, "(\r\nENGLISH,\"Block seven\"", "(\r\nENGLISH,\"Block 7\"")},
        {"an empty translation", replaced(full, "GERMAN,\"de (\"", "GERMAN,\"\"")},
        {"a later entry wins", full + "(\r\nENGLISH,\"open\"\r\nFRENCH,\"ouvrir\"\r\n)\r\n"},
        {"a translation empty after its escapes",
         replaced(full, "GERMAN,\"de Block seven\"", "GERMAN,\"\\\"")},
        {"a block without any usable translation",
         replaced(full, "FRENCH,\"fr Block seven\"\r\nGERMAN,\"de Block seven\"",
                  "FRENCH,\"\\\"\r\nGERMAN,\"\\\"")},
    };
    for (const auto& [name, data] : states) {
        korva.WriteDataFile(data);
        const std::string app = ws.Copy(program, "app.exe");
        const ProcessResult check = RunDat({"check", "KORVA.DAT", "app.exe"}, dir);
        const ProcessResult run = korva.Run({"ENGLISH", kLangs, app});
        EXPECT_EQ(CheckCounters(check), KorvaCounters(run)) << name << "\n"
                                                            << check.output << run.output;
        // A shadowed entry is an error of the data file, whatever korva counts.
        const bool clean = check.output.find("KORVA.DAT: 0 errors") != std::string::npos;
        EXPECT_EQ(check.exitCode, !clean              ? 2
                                  : run.exitCode == 0 ? 0
                                                      : 1)
            << name << "\n"
            << check.output;
        EXPECT_EQ(clean, name != "a later entry wins") << name;
    }
}

// Version 2 of a program drops two texts and adds two.
TEST(DatUpdate, KeepsEveryTranslationAddsNewTextsAndMarksUnusedOnes) {
    Workspace ws;
    const std::string dir = ws.path().string();
    const std::map<std::uint32_t, std::u16string> v1 = {
        {1, u"Open"}, {2, u"Save"}, {3, u"Close"}, {4, u"Exit"}};
    std::map<std::uint32_t, std::u16string> v2 = v1;
    v2.erase(2);
    v2.erase(3);
    v2[5] = u"Print";
    v2[20] = u"SAVE"; // the same text for korva as Save, elsewhere
    v2[21] = u"Preview";
    ws.Copy(e2e::BuildProgram(Builder::ClangX64, {StringTableScript(v1), {}, 0}), "v1.exe");
    ws.Copy(e2e::BuildProgram(Builder::ClangX64, {StringTableScript(v2), {}, 0}), "v2.exe");

    ASSERT_EQ(RunDat({"extract", "ENGLISH", "(GERMAN)", "v1.exe", "-o", "K.DAT"}, dir).exitCode, 0);
    std::string translated = Fill(ReadText(dir + "/K.DAT"), "ENGLISH", {{"GERMAN", "de "}});
    translated.insert(translated.find(";@ used in v1.exe, block #1, string id 3"),
                      "; a comment of the translator\r\n");
    WriteText(dir + "/K.DAT", translated);

    const ProcessResult update = RunDat({"update", "K.DAT", "v2.exe"}, dir);
    ASSERT_EQ(update.exitCode, 0) << update.output;
    EXPECT_NE(update.output.find("kept 4 entries (1 marked unused, 1 of them newly), added 2"),
              std::string::npos)
        << update.output;
    const std::string updated = ReadText(dir + "/K.DAT");
    // Every line but korva-dat's own comments stays, in its order.
    std::size_t at = 0;
    std::istringstream lines(translated);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with(";@ used in")) {
            at = updated.find(line + "\n", at);
            ASSERT_NE(at, std::string::npos) << line;
        }
    }
    EXPECT_NE(updated.find("; a comment of the translator\r\n;@ unused: no program given to the "
                           "last korva-dat update holds this text\r\n(\r\nENGLISH,\"Close\""),
              std::string::npos)
        << updated;
    EXPECT_NE(updated.find(";@ used in v2.exe, block #1, string id 1\r\n(\r\nENGLISH,\"Open\""),
              std::string::npos);
    EXPECT_NE(updated.find(";@ used in v2.exe, block #2, string id 20\r\n(\r\nENGLISH,\"Save\""),
              std::string::npos);
    EXPECT_NE(updated.find(";@ used in v2.exe, block #1, string id "
                           "5\r\n(\r\nENGLISH,\"Print\"\r\n;GERMAN,\"\"\r\n)"),
              std::string::npos)
        << updated;

    const ProcessResult again = RunDat({"update", "K.DAT", "v2.exe"}, dir);
    EXPECT_NE(again.output.find("K.DAT unchanged"), std::string::npos) << again.output;
    EXPECT_EQ(ReadText(dir + "/K.DAT"), updated);
    const ProcessResult check = RunDat({"check", "K.DAT", "v2.exe"}, dir);
    EXPECT_EQ(check.exitCode, 1) << check.output;

    const ProcessResult back = RunDat({"update", "K.DAT", "v1.exe"}, dir);
    EXPECT_NE(back.output.find("kept 6 entries (2 marked unused, 2 of them newly), added 0"),
              std::string::npos)
        << back.output;
    EXPECT_NE(
        ReadText(dir + "/K.DAT")
            .find("; a comment of the translator\r\n;@ used in v1.exe, block #1, string id 3\r\n("),
        std::string::npos);
}

// A polib script that does what a translator's tool does to a PO file:
// translates, wraps long lines, marks a message fuzzy, keeps a text that
// is not in the data file.
constexpr const char* kPolibEdit = R"PY(
import polib, sys
po = polib.pofile(sys.argv[1], wrapwidth=30)
for entry in po:
    if entry.msgid == 'Close':
        entry.msgstr = 'Schliessen, ein langer Text, der umbrochen wird, wenn polib ihn schreibt'
    if entry.msgid == 'Open':
        entry.msgstr = 'Oeffnen?'
        entry.flags.append('fuzzy')
    if entry.msgid == 'Untranslated':
        entry.msgstr = 'Nicht uebersetzt'
    if entry.msgid.endswith('t\u00e9'):
        entry.msgstr = 'Sommer'
po.append(polib.POEntry(msgid='Not in the data file', msgstr='Nicht da'))
po.save(sys.argv[2])
)PY";

TEST(DatPo, DataFileSurvivesGettextAndPolibUnchanged) {
    Workspace ws;
    const std::string dir = ws.path().string();
    const std::map<std::uint32_t, std::u16string> texts = {
        {1, u"Open"},         {2, u"Close"},           {3, u"Nothing"},
        {4, u"Two\nlines\n"}, {5, u"Quote \" and \\"}, {6, u"lone \xD800"},
        {7, u"Untranslated"}, {8, u"\x00C9t\x00E9"}};
    ws.Copy(e2e::BuildProgram(Builder::ClangX64, {StringTableScript(texts), {}, 0}), "app.exe");
    for (const bool cp1252 : {false, true}) {
        SCOPED_TRACE(cp1252 ? "1252" : "UTF-8");
        std::vector<std::string> extract = {"extract", "ENGLISH", "(GERMAN)",
                                            "app.exe", "-o",      "K.DAT"};
        if (cp1252) {
            extract.emplace_back("--cp1252");
            ws.Copy(
                e2e::BuildProgram(Builder::ClangX64, {StringTableScript({{1, u"Open"},
                                                                         {2, u"Close"},
                                                                         {3, u"Nothing"},
                                                                         {4, u"Two\nlines\n"},
                                                                         {7, u"Untranslated"},
                                                                         {8, u"\x00C9t\x00E9"}}),
                                                      {},
                                                      0}),
                "app.exe");
        }
        ASSERT_EQ(RunDat(extract, dir).exitCode, 0);
        std::string data = ReadText(dir + "/K.DAT");
        const auto translate = [&](const std::string& neutral, const std::string& german) {
            const std::string line = "ENGLISH," + neutral + "\r\n;GERMAN,\"\"";
            const std::size_t at = data.find(line);
            ASSERT_NE(at, std::string::npos) << line;
            data.replace(at, line.size(), "ENGLISH," + neutral + "\r\nGERMAN," + german);
        };
        translate("\"Open\"", "\"\\x4Ffnen\""); // spelt with an escape, which must stay
        translate("\"Close\"", "\"Schlie\xC3\x9F"
                               "en\"");
        translate("\"Nothing\"", "\"\"");
        translate("\"Two\\nlines\\n\"", "\"Zwei Zeilen\""); // line breaks differ: fuzzy
        // An entry written by hand, without placeholders.
        const std::string placeholder = "ENGLISH,\"Untranslated\"\r\n;GERMAN,\"\"\r\n";
        data.replace(data.find(placeholder), placeholder.size(), "ENGLISH,\"Untranslated\"\r\n");
        if (cp1252) {
            data.replace(data.find("Schlie\xC3\x9F"), 8, "Schlie\xDF");
        } else {
            translate("\"Quote \" and \\\\\"", "\"Zitat \" und \\\\\"");
        }
        WriteText(dir + "/K.DAT", data);

        const ProcessResult exported =
            RunDat({"export-po", "K.DAT", "ENGLISH", "GERMAN", "-o", "de.po"}, dir);
        ASSERT_EQ(exported.exitCode, 0) << exported.output;
        EXPECT_NE(exported.output.find("1 empty on purpose, 1 fuzzy"), std::string::npos)
            << exported.output;
        if (!cp1252) {
            EXPECT_NE(exported.output.find("left out: its text holds a lone surrogate"),
                      std::string::npos);
        }
        korva::test::RunOrThrow("cd " + korva::test::ShellQuote(dir) +
                                " && msgfmt --check -o /dev/null de.po");
        korva::test::RunOrThrow("cd " + korva::test::ShellQuote(dir) +
                                " && msgcat --width=20 de.po -o wrapped.po");
        for (const std::string po : {"de.po", "wrapped.po"}) {
            const ProcessResult imported = RunDat({"import-po", "K.DAT", po}, dir);
            EXPECT_EQ(imported.exitCode, 0) << imported.output;
            EXPECT_NE(imported.output.find(": 0 imported"), std::string::npos) << imported.output;
            EXPECT_EQ(ReadText(dir + "/K.DAT"), data) << po;
        }

        korva::test::RunOrThrow("cd " + korva::test::ShellQuote(dir) + " && /usr/bin/python3 -c " +
                                korva::test::ShellQuote(kPolibEdit) + " de.po edited.po");
        const ProcessResult imported = RunDat({"import-po", "K.DAT", "edited.po"}, dir);
        EXPECT_EQ(imported.exitCode, 1) << imported.output;
        EXPECT_NE(imported.output.find("\"Not in the data file\" is not in K.DAT"),
                  std::string::npos);
        EXPECT_NE(imported.output.find(": 3 imported"), std::string::npos) << imported.output;
        EXPECT_NE(imported.output.find("2 fuzzy left out"), std::string::npos) << imported.output;
        const std::string after = ReadText(dir + "/K.DAT");
        EXPECT_NE(after.find("GERMAN,\"Schliessen, ein langer Text, der umbrochen wird, wenn polib "
                             "ihn schreibt\"\r\n"),
                  std::string::npos)
            << after;
        EXPECT_NE(after.find("GERMAN,\"\\x4Ffnen\"\r\n"), std::string::npos);
        EXPECT_NE(after.find("GERMAN,\"\"\r\n"), std::string::npos);
        EXPECT_NE(after.find("ENGLISH,\"Untranslated\"\r\nGERMAN,\"Nicht uebersetzt\"\r\n)"),
                  std::string::npos);
        EXPECT_NE(after.find((cp1252 ? "t\xE9" : "t\xC3\xA9") +
                             std::string("\"\r\nGERMAN,\"Sommer\"\r\n)")),
                  std::string::npos)
            << after;
    }
}

// Two entries with one text: korva uses the last one it files for the
// destinations of the languages line, and export-po hands the translator
// that one's translation and import-po puts the new one there, where korva
// finds it. Without a languages line the PO file's language alone decides.
TEST(DatPo, ShadowedEntriesGiveWayToTheEntryKorvaUses) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string dir = ws.path().string();
    const std::string program = e2e::BuildProgram(
        Builder::ClangX64, {StringTableScript({{1, u"Open"}, {2, u"Save"}}), {}, 0});
    const std::string entries = "(\r\nENGLISH,\"Open\"\r\nFRENCH,\"Ouvrir (jamais)\"\r\n)\r\n"
                                "(\r\nENGLISH,\"Open\"\r\nGERMAN,\"\xC3\x96"
                                "ffnen\"\r\n;FRENCH,\"\"\r\n)\r\n"
                                "(\r\nENGLISH,\"Save\"\r\nFRENCH,\"Enregistrer\"\r\n"
                                "GERMAN,\"Speichern\"\r\n)\r\n";
    const std::string bom = "\xEF\xBB\xBF";
    WriteText(dir + "/KORVA.DAT", bom + entries);
    ASSERT_EQ(RunDat({"export-po", "KORVA.DAT", "ENGLISH", "FRENCH", "-o", "old.po"}, dir).exitCode,
              0);
    EXPECT_NE(ReadText(dir + "/old.po").find("msgid \"Open\"\nmsgstr \"Ouvrir (jamais)\"\n"),
              std::string::npos);

    const std::string data = bom + ";@ languages: ENGLISH (FRENCH,GERMAN)\r\n" + entries;
    WriteText(dir + "/KORVA.DAT", data);
    const ProcessResult check = RunDat({"check", "KORVA.DAT"}, dir);
    EXPECT_NE(check.output.find("KORVA.DAT:2: error: this entry's ENGLISH text \"Open\" is the "
                                "same for korva as that of the entry at line 6, which korva uses"),
              std::string::npos)
        << check.output;
    const ProcessResult exported =
        RunDat({"export-po", "KORVA.DAT", "ENGLISH", "FRENCH", "-o", "fr.po"}, dir);
    ASSERT_EQ(exported.exitCode, 0) << exported.output;
    EXPECT_NE(exported.output.find("1 entries left out"), std::string::npos) << exported.output;
    std::string po = ReadText(dir + "/fr.po");
    const std::string open = "msgid \"Open\"\nmsgstr \"\"\n";
    ASSERT_NE(po.find(open), std::string::npos) << po;
    po.replace(po.find(open), open.size(), "msgid \"Open\"\nmsgstr \"Ouvrir\"\n");
    WriteText(dir + "/fr.po", po);
    korva::test::RunOrThrow("cd " + korva::test::ShellQuote(dir) +
                            " && msgfmt --check -o /dev/null fr.po");

    const ProcessResult imported = RunDat({"import-po", "KORVA.DAT", "fr.po"}, dir);
    EXPECT_EQ(imported.exitCode, 0) << imported.output;
    EXPECT_NE(imported.output.find(": into the entry at KORVA.DAT:6, which korva uses; the entry "
                                   "at KORVA.DAT:2 has the same text and korva never uses it"),
              std::string::npos)
        << imported.output;
    const std::string placeholder = ";FRENCH,\"\"";
    std::string expected = data;
    expected.replace(expected.find(placeholder), placeholder.size(), "FRENCH,\"Ouvrir\"");
    EXPECT_EQ(ReadText(dir + "/KORVA.DAT"), expected);

    const std::string app = ws.Copy(program, "app.exe");
    const ProcessResult run = korva.Run({"ENGLISH", "(FRENCH,GERMAN)", app});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const Texts texts = StringTableTexts(app);
    EXPECT_EQ(texts.at({0x0C, 1}), u"Ouvrir");
    EXPECT_EQ(texts.at({0x07, 1}), u"\x00D6"
                                   u"ffnen");
}

// A translation longer than korva can write: check reports it where korva
// fails, and only there, counting UTF-16 code units in either code page.
TEST(DatCheck, TooLongATranslationIsAnErrorExactlyWhereKorvaFails) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string dir = ws.path().string();
    const std::string program =
        e2e::BuildProgram(Builder::ClangX64, {StringTableScript({{1, u"Open"}}), {}, 0});
    const auto repeated = [](const std::string& piece, std::size_t count) {
        std::string out;
        for (std::size_t i = 0; i < count; ++i) {
            out += piece;
        }
        return out;
    };
    const std::string emoji = "\xF0\x9F\x98\x80";
    struct LengthRow {
        const char* name;
        bool utf8;
        std::string translation; // as the file spells it
        std::size_t units;
    };
    const std::vector<LengthRow> rows = {
        {"UTF-8, two units a character", true, repeated(emoji, 32767) + "a", 65535},
        {"UTF-8, two units a character", true, repeated(emoji, 32768), 65536},
        {"UTF-8, two bytes a unit", true, repeated("\xC3\xA9", 65535), 65535},
        {"UTF-8, two bytes a unit", true, repeated("\xC3\xA9", 65535) + "a", 65536},
        {"1252", false, repeated("\xE9", 65535), 65535},
        {"1252", false, repeated("\xE9", 65536), 65536},
    };
    for (const LengthRow& row : rows) {
        SCOPED_TRACE(std::string(row.name) + ", " + std::to_string(row.units));
        korva.WriteDataFile(std::string(row.utf8 ? "\xEF\xBB\xBF" : "") +
                            ";@ languages: ENGLISH (FRENCH)\r\n(\r\nENGLISH,\"Open\"\r\nFRENCH,\"" +
                            row.translation + "\"\r\n)\r\n");
        const std::string app = ws.Copy(program, "app.exe");
        const ProcessResult check = RunDat({"check", "KORVA.DAT", "app.exe"}, dir);
        const ProcessResult run = korva.Run({"ENGLISH", "(FRENCH)", app});
        const bool tooLong = row.units > 65535;
        EXPECT_EQ(run.exitCode, tooLong ? 2 : 0) << run.output;
        EXPECT_EQ(check.exitCode, tooLong ? 2 : 0) << check.output.substr(0, 500);
        EXPECT_EQ(check.output.find("KORVA.DAT:4: error: FRENCH: the translation is " +
                                    std::to_string(row.units) + " UTF-16 code units long") !=
                      std::string::npos,
                  tooLong)
            << check.output.substr(0, 500);
    }
}

// A program of a thousand blocks, every text in its own entry but those
// shared on purpose.
TEST(DatLarge, ThousandsOfBlocksExtractAndTranslate) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string dir = ws.path().string();
    std::map<std::uint32_t, std::u16string> texts;
    std::set<std::string> distinct;
    for (std::uint32_t id = 0; id < 1000 * 16; ++id) {
        const std::string text = id % 10 == 9
                                     ? "Shared text " + std::to_string(id % 70)
                                     : "Text " + std::to_string(id) + " of the large program";
        texts[id] = std::u16string(text.begin(), text.end());
        distinct.insert(text);
    }
    const std::string app =
        ws.Copy(e2e::BuildProgram(Builder::ClangX64, {StringTableScript(texts), {}, 0}), "app.exe");
    const ProcessResult extract =
        RunDat({"extract", "ENGLISH", "(FRENCH)", "app.exe", "-o", "x.dat"}, dir);
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    EXPECT_NE(
        extract.output.find(std::to_string(distinct.size()) + " texts (16000 uses in 1000 blocks)"),
        std::string::npos)
        << extract.output;
    korva.WriteDataFile(Fill(ReadText(dir + "/x.dat"), "ENGLISH", {{"FRENCH", "fr "}}));
    const ProcessResult check = RunDat({"check", "KORVA.DAT", "app.exe"}, dir);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const ProcessResult run = korva.Run({"-Q", "ENGLISH", "(FRENCH)", app});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(CheckCounters(check), KorvaCounters(run));
}

TEST(DatErrors, BadInputIsNamedAndChangesNothing) {
    Workspace ws;
    const std::string dir = ws.path().string();
    ws.Copy(e2e::BuildProgram(Builder::ClangX64,
                              {StringTableScript({{1, u"Open"}, {2, u"\x0416"}}), {}, 0}),
            "app.exe");
    const std::string broken =
        "\xEF\xBB\xBF;@ languages: ENGLISH (GERMAN)\r\n(\r\nENGLISH,\"Open\"\r\n"
        "GERMAN,\xC3\r\n)\r\n)\r\n(\r\nKLINGON,\"x\"\r\n";
    WriteText(dir + "/bad.dat", broken);
    const ProcessResult check = RunDat({"check", "bad.dat"}, dir);
    EXPECT_EQ(check.exitCode, 2);
    for (const char* line :
         {"bad.dat:4: error: the line is not valid UTF-8", "bad.dat:6: error: ')' without an entry",
          "bad.dat:7: error: the entry that begins here is never closed",
          "bad.dat:8: error: 'KLINGON' is not a language key or tag"}) {
        EXPECT_NE(check.output.find(line), std::string::npos) << check.output;
    }
    WriteText(dir + "/de.po",
              "msgid \"\"\nmsgstr \"Language: de\\n\"\n\nmsgid \"Open\"\nmsgstr \"\\z\"\n");
    WriteText(dir + "/good.dat", "(\r\nENGLISH,\"Open\"\r\n)\r\n");
    std::filesystem::create_directory(dir + "/sub");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"update", "bad.dat", "app.exe"}, "bad.dat:4: error:"},
        {{"import-po", "bad.dat", "de.po"}, "bad.dat has syntax errors"},
        {{"export-po", "bad.dat", "ENGLISH", "GERMAN", "-o", "out.po"}, "bad.dat:8:"},
        {{"import-po", "good.dat", "de.po"}, "de.po:5: unknown escape \\z"},
        {{"extract", "ENGLISH", "(GERMAN)", "app.exe", "--cp1252", "-o", "out.dat"},
         "app.exe, block #1, string id 2: the text holds characters that Windows-1252 cannot"},
        {{"extract", "ENGLISH", "(GERMAN)", "app.exe", "-o", "no/such/dir/out.dat"},
         "nothing written"},
        {{"extract", "ENGLISH", "(CROATIAN,SERBIAN)", "app.exe"}, "share one language id"},
        {{"extract", "ENGLISH", "(GERMAN)", "missing.exe"}, "missing.exe: no such file"},
        {{"extract", "ENGLISH", "(GERMAN)", "sub"}, "sub: no such file"},
        {{"check", "good.dat", "ENGLISH", "(GERMAN)", "good.dat"},
         "good.dat: not a Windows program with string tables"},
        {{"update", "good.dat", "app.exe"}, "good.dat has no languages line"},
        {{"check", "good.dat", "-x"}, "unknown option -x"},
    };
    const auto listing = ws.Listing();
    for (const auto& [args, message] : refusals) {
        const ProcessResult run = RunDat(args, dir);
        EXPECT_EQ(run.exitCode, 2) << args[0] << " " << args[1];
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
    }
    EXPECT_EQ(ws.Listing(), listing);
    EXPECT_EQ(ReadText(dir + "/bad.dat"), broken);
    EXPECT_EQ(ReadText(dir + "/good.dat"), "(\r\nENGLISH,\"Open\"\r\n)\r\n");
}

// Texts in US English rather than neutral: -O finds them, and the
// languages line keeps it for update.
TEST(DatOriginalLanguage, IsRecordedForUpdate) {
    Workspace ws;
    const std::string dir = ws.path().string();
    const std::string rc =
        "LANGUAGE 9, 1\nSTRINGTABLE\nBEGIN\n  1 L\"Open\"\n  2 L\"Close\"\nEND\n";
    ws.Copy(e2e::BuildProgram(Builder::ClangX64, {rc, {}, 0}), "app.exe");
    const ProcessResult neutral = RunDat({"extract", "ENGLISH", "(GERMAN)", "app.exe"}, dir);
    EXPECT_EQ(neutral.exitCode, 2);
    EXPECT_NE(neutral.output.find("no text to translate"), std::string::npos) << neutral.output;
    const std::string hint = "the program's are in 0x0409 (en-US, a sublanguage of ENGLISH): "
                             "-Oen-US takes them";
    EXPECT_NE(neutral.output.find(hint), std::string::npos) << neutral.output;
    const ProcessResult us =
        RunDat({"extract", "-O$409", "ENGLISH", "(GERMAN)", "app.exe", "-o", "K.DAT"}, dir);
    ASSERT_EQ(us.exitCode, 0) << us.output;
    EXPECT_NE(ReadText(dir + "/K.DAT").find(";@ languages: -O0x0409 ENGLISH (GERMAN)\r\n"),
              std::string::npos);
    const ProcessResult update = RunDat({"update", "K.DAT", "app.exe"}, dir);
    EXPECT_NE(update.output.find("K.DAT unchanged: kept 2 entries (0 marked unused"),
              std::string::npos)
        << update.output;

    // Without the -O, update would mark every entry unused: it refuses, and
    // check and update both say which -O would take the texts.
    const std::string data = ReadText(dir + "/K.DAT");
    const std::string withoutO =
        std::string(data).replace(data.find("-O0x0409 "), std::string("-O0x0409 ").size(), "");
    WriteText(dir + "/N.DAT", withoutO);
    const ProcessResult refused = RunDat({"update", "N.DAT", "app.exe"}, dir);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.output.find("nothing written: no text to translate"), std::string::npos);
    EXPECT_NE(refused.output.find(hint), std::string::npos) << refused.output;
    EXPECT_EQ(ReadText(dir + "/N.DAT"), withoutO);
    const ProcessResult check = RunDat({"check", "N.DAT", "app.exe"}, dir);
    EXPECT_NE(check.output.find("korva would then say: no resource is in the language id 0x0000"),
              std::string::npos)
        << check.output;
    EXPECT_NE(check.output.find(hint), std::string::npos) << check.output;
}

// Regional languages named by tags go from extract through a PO file to
// korva: the data file and the PO header name them, a PO file that names
// its language only by gettext's code finds its region, and korva writes
// each under its own id.
TEST(DatRegional, TagsGoFromExtractThroughPoToKorva) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string dir = ws.path().string();
    // windres writes what names no language as US English.
    const std::string rc = "STRINGTABLE\nBEGIN\n  1 \"Open\"\n  2 \"Close\"\nEND\n";
    ws.Copy(e2e::BuildProgram(Builder::MingwX64, {rc, {}, 0}), "app.exe");
    const ProcessResult extract = RunDat(
        {"extract", "-Oen-US", "ENGLISH", "(zh-TW,GERMAN,pt_br)", "app.exe", "-o", "K.DAT"}, dir);
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    const std::string data = ReadText(dir + "/K.DAT");
    EXPECT_NE(data.find(";@ languages: -O0x0409 ENGLISH (GERMAN,zh-TW,pt-BR)\r\n"),
              std::string::npos)
        << data;
    EXPECT_NE(data.find("ENGLISH,\"Open\"\r\n;GERMAN,\"\"\r\n;zh-TW,\"\"\r\n;pt-BR,\"\"\r\n"),
              std::string::npos)
        << data;
    WriteText(dir + "/K.DAT", Fill(data, "ENGLISH", {{"GERMAN", "de "}, {"zh-TW", "tw "}}));

    ASSERT_EQ(RunDat({"export-po", "K.DAT", "ENGLISH", "pt-BR", "-o", "pt.po"}, dir).exitCode, 0);
    std::string po = ReadText(dir + "/pt.po");
    EXPECT_NE(po.find("\"Language: pt_BR\\n\"\n"), std::string::npos) << po;
    const std::string korvaField = "\"X-Korva-Language: pt-BR\\n\"\n";
    ASSERT_NE(po.find(korvaField), std::string::npos) << po;
    po.erase(po.find(korvaField), korvaField.size());
    for (std::size_t at = 0; (at = po.find("msgstr \"\"\n\n", at + 1)) != std::string::npos;) {
        po.replace(at, 9, "msgstr \"br\"");
    }
    WriteText(dir + "/pt.po", po);
    const ProcessResult imported = RunDat({"import-po", "K.DAT", "pt.po"}, dir);
    ASSERT_EQ(imported.exitCode, 0) << imported.output;
    EXPECT_NE(imported.output.find("pt-BR from pt.po into K.DAT: 2 imported"), std::string::npos)
        << imported.output;

    const ProcessResult check = RunDat({"check", "K.DAT", "app.exe"}, dir);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    korva.WriteDataFile(ReadText(dir + "/K.DAT"));
    const ProcessResult run =
        korva.Run({"-Oen-US", "ENGLISH", "(GERMAN,zh-TW,pt-BR)", dir + "/app.exe"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const Texts texts = StringTableTexts(dir + "/app.exe");
    const std::map<std::uint32_t, std::u16string> expected = {{0x0007, u"de Open"},
                                                              {0x0404, u"tw Open"},
                                                              {0x0004, u"tw Open"},
                                                              {0x0416, u"br"},
                                                              {0x0016, u"br"}};
    std::map<std::uint32_t, std::u16string> written;
    for (const auto& [key, text] : texts) {
        if (key.second == 1) {
            written[key.first] = text;
        }
    }
    EXPECT_EQ(written, expected);
}

// The korva command check prints runs as printed, with -O, --resources and
// --fallback as extract recorded them, also when check is given the
// languages: it exits as check says, and German reaches other users.
TEST(DatCheck, PrintsAKorvaCommandThatRuns) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string dir = ws.path().string();
    const std::string rc =
        "LANGUAGE 9, 1\nSTRINGTABLE\nBEGIN\n  1 L\"Open\"\n  2 L\"Close\"\nEND\n";
    ws.Copy(e2e::BuildProgram(Builder::ClangX64, {rc, {}, 0}), "app.exe");
    const std::string langs = "(FRENCH,GERMAN)";
    const ProcessResult extract =
        RunDat({"extract", "-Oen-US", "--resources=all", "--fallback=GERMAN", "ENGLISH", langs,
                "app.exe", "-o", "KORVA.DAT"},
               dir);
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    korva.WriteDataFile(
        Fill(ReadText(dir + "/KORVA.DAT"), "ENGLISH", {{"FRENCH", "fr "}, {"GERMAN", "de "}}));
    const auto printed = [](const std::string& output) {
        const std::size_t from = output.find("as 'korva ");
        const std::size_t to = output.find("' would count it");
        return from == std::string::npos || to == std::string::npos
                   ? std::string()
                   : output.substr(from + 10, to - from - 10);
    };
    const ProcessResult recorded = RunDat({"check", "KORVA.DAT", "app.exe"}, dir);
    const ProcessResult given = RunDat({"check", "KORVA.DAT", "ENGLISH", langs, "app.exe"}, dir);
    const std::string command = printed(recorded.output);
    EXPECT_EQ(command, "-O0x0409 --resources=all --fallback=GERMAN ENGLISH (FRENCH,GERMAN) app.exe")
        << recorded.output;
    EXPECT_EQ(printed(given.output), command) << given.output;
    std::vector<std::string> args;
    for (std::size_t at = 0; at < command.size();) {
        const std::size_t blank = std::min(command.find(' ', at), command.size());
        args.push_back(command.substr(at, blank - at));
        at = blank + 1;
    }
    const ProcessResult run = korva.Run(args, "cd " + korva::test::ShellQuote(dir) + " && ");
    EXPECT_EQ(KorvaCounters(run), CheckCounters(recorded)) << run.output << recorded.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const Texts texts = StringTableTexts(dir + "/app.exe");
    const auto fallback = texts.find({0x0409, 1});
    ASSERT_NE(fallback, texts.end());
    EXPECT_EQ(fallback->second, u"de Open");
}

// A text edited in letter case only still finds its old entry, and korva
// would write the entry's spelling back into the neutral copy: check and
// update name both spellings.
TEST(DatLetterCase, CheckAndUpdateNameBothSpellings) {
    Workspace ws;
    const std::string dir = ws.path().string();
    const std::string rc = "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n  1 \"READY\"\n  2 \"Close\"\nEND\n";
    ws.Copy(e2e::BuildProgram(Builder::MingwX64, {rc, {}, 0}), "app.exe");
    WriteText(dir + "/K.DAT", ";@ languages: ENGLISH (ENGLISH,GERMAN)\r\n(\r\nENGLISH,\"Ready\"\r\n"
                              "GERMAN,\"Bereit\"\r\n)\r\n(\r\nENGLISH,\"Close\"\r\nGERMAN,"
                              "\"Schlie\xC3\x9F"
                              "en\"\r\n)\r\n");
    const std::string warning =
        "K.DAT:3: warning: ENGLISH: app.exe, block #1, string id 1 reads \"READY\", which this "
        "entry spells \"Ready\" (letter case aside)";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"check", "K.DAT", "app.exe"},
          std::vector<std::string>{"update", "K.DAT", "app.exe", "-o", "-"}}) {
        const ProcessResult run = RunDat(args, dir);
        EXPECT_EQ(Count(run.output, warning), 1U) << run.output;
        EXPECT_EQ(Count(run.output, "warning:"), 1U) << run.output; // Close is spelt alike
        EXPECT_EQ(run.exitCode, 0) << run.output;
    }
}

// Each language's row adds up to the program's texts: those in an entry
// that still waits for any translation, which korva does not take in, count
// as without translation too.
TEST(DatCheck, LanguageRowsAddUpToTheProgramsTexts) {
    Workspace ws;
    const std::string dir = ws.path().string();
    const std::string rc =
        "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n  1 \"Open\"\n  2 \"Close\"\n  3 \"Help\"\nEND\n";
    ws.Copy(e2e::BuildProgram(Builder::MingwX64, {rc, {}, 0}), "app.exe");
    ASSERT_EQ(
        RunDat({"extract", "ENGLISH", "(FRENCH,GERMAN)", "app.exe", "-o", "K.DAT"}, dir).exitCode,
        0);
    std::string data = ReadText(dir + "/K.DAT");
    data = Fill(data, "ENGLISH", {{"GERMAN", "de "}});
    // Only Open keeps its German; Close waits for any translation.
    const std::size_t close = data.find("GERMAN,\"de Close\"");
    data.replace(close, std::string("GERMAN,\"de Close\"").size(), ";GERMAN,\"\"");
    const std::size_t help = data.find("GERMAN,\"de Help\"");
    data.replace(help, 0, "FRENCH,\"fr Help\"\r\n;");
    WriteText(dir + "/K.DAT", data);
    const ProcessResult check = RunDat({"check", "K.DAT", "app.exe"}, dir);
    EXPECT_NE(check.output.find("  FRENCH            1 translated        2 without translation\n"),
              std::string::npos)
        << check.output;
    EXPECT_NE(check.output.find("  GERMAN            1 translated        2 without translation\n"),
              std::string::npos)
        << check.output;
}

// A text that changed a little brings its translations along as
// suggestions: korva does not use them until the prefix is taken away.
TEST(DatUpdate, CarriesTranslationsOfASimilarTextAsSuggestions) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string dir = ws.path().string();
    const auto program = [](const std::string& text) {
        return e2e::BuildProgram(Builder::MingwX64, {"LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n  1 \"" +
                                                         text + "\"\n  2 \"Quit\"\nEND\n",
                                                     {},
                                                     0});
    };
    ws.Copy(program("%d files copied"), "app.exe");
    ASSERT_EQ(RunDat({"extract", "ENGLISH", "(GERMAN)", "app.exe", "-o", "K.DAT"}, dir).exitCode,
              0);
    WriteText(dir + "/K.DAT", Fill(ReadText(dir + "/K.DAT"), "ENGLISH", {{"GERMAN", "de "}}));
    ws.Copy(program("%d file(s) copied"), "app.exe");
    const ProcessResult update = RunDat({"update", "K.DAT", "app.exe"}, dir);
    EXPECT_NE(update.output.find("added 1 (1 with translations of a similar earlier text"),
              std::string::npos)
        << update.output;
    const std::string data = ReadText(dir + "/K.DAT");
    const std::string suggested = "ENGLISH,\"%d file(s) copied\"\r\n"
                                  ";@ fuzzy: made for \"%d files copied\"\r\n"
                                  ";@ fuzzy GERMAN,\"de %d files copied\"\r\n)";
    ASSERT_NE(data.find(suggested), std::string::npos) << data;
    const ProcessResult check = RunDat({"check", "K.DAT", "app.exe"}, dir);
    EXPECT_NE(check.output.find("1 translation of a similar earlier text waits"), std::string::npos)
        << check.output;

    // In a PO file, as msgmerge gives a fuzzy match; confirmed there, it
    // comes back as the translation, and the suggestion's lines go.
    ASSERT_EQ(RunDat({"export-po", "K.DAT", "ENGLISH", "GERMAN", "-o", "de.po"}, dir).exitCode, 0);
    std::string po = ReadText(dir + "/de.po");
    const std::string fuzzy = "#, fuzzy, c-format\n#| msgid \"%d files copied\"\n"
                              "msgid \"%d file(s) copied\"\nmsgstr \"de %d files copied\"\n";
    ASSERT_NE(po.find(fuzzy), std::string::npos) << po;
    EXPECT_EQ(
        korva::test::RunProgram("msgfmt", {"--check", "-o", "/dev/null", dir + "/de.po"}).exitCode,
        0);
    ASSERT_EQ(RunDat({"import-po", "K.DAT", "de.po", "-o", "still.dat"}, dir).exitCode, 0);
    EXPECT_EQ(ReadText(dir + "/still.dat"), data); // still fuzzy: left as a suggestion
    po.replace(po.find(fuzzy), 10, "#, ");
    WriteText(dir + "/de.po", po);
    ASSERT_EQ(RunDat({"import-po", "K.DAT", "de.po", "-o", "confirmed.dat"}, dir).exitCode, 0);
    const std::string confirmedByPo = ReadText(dir + "/confirmed.dat");
    EXPECT_NE(
        confirmedByPo.find("ENGLISH,\"%d file(s) copied\"\r\nGERMAN,\"de %d files copied\"\r\n)"),
        std::string::npos)
        << confirmedByPo;

    korva.WriteDataFile(data);
    const std::string before = ws.Copy(dir + "/app.exe", "before.exe");
    const ProcessResult unconfirmed = korva.Run({"ENGLISH", "(GERMAN)", before});
    EXPECT_NE(unconfirmed.output.find("Not Found: ENGLISH,%d file(s) copied"), std::string::npos)
        << unconfirmed.output;
    std::string confirmed = data;
    confirmed.erase(confirmed.find(";@ fuzzy GERMAN"), std::string(";@ fuzzy ").size());
    korva.WriteDataFile(confirmed);
    const ProcessResult run = korva.Run({"ENGLISH", "(GERMAN)", dir + "/app.exe"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(StringTableTexts(dir + "/app.exe").at({0x0007, 1}), u"de %d files copied");
}

TEST(DatHelp, EveryCommandHasItsManualPage) {
    for (const std::string command : {"extract", "update", "check", "export-po", "import-po"}) {
        const ProcessResult help = RunDat({command, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        for (const std::string section : {"NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS"}) {
            EXPECT_NE(help.output.find(section + "\n"), std::string::npos) << command << section;
        }
        EXPECT_NE(help.output.find("korva-dat " + command + " "), std::string::npos);
        EXPECT_NE(RunDat({"--help"}).output.find("korva-dat " + command + " "), std::string::npos);
    }
    EXPECT_EQ(RunDat({}).exitCode, 2);
    EXPECT_EQ(RunDat({"frobnicate"}).exitCode, 2);
}

} // namespace
} // namespace korva::dat::test
