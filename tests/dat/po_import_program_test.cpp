// import-po on PO files gettext refuses: the built korva-dat names the file
// and line, exits 2 and leaves every file as it was. The same file without
// its fault is imported, so the fault is what stops it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "dat_support.h"
#include "support/workspace.h"

namespace korva::dat::test {
namespace {

using korva::test::ProcessResult;
using korva::test::Workspace;

const std::string kData = "(\r\nENGLISH,\"Open\"\r\n;GERMAN,\"\"\r\n)\r\n";

// Lines 1 to 4; what a row adds begins on line 5.
const std::string kHead = "msgid \"\"\nmsgstr \"\"\n\"X-Korva-Neutral: ENGLISH\\n\"\n"
                          "\"X-Korva-Language: GERMAN\\n\"\n";
const std::string kLong(40, 'x');
const std::string kOpen = "msgid \"Open\"\nmsgstr \"\\303\\226ffnen\"\n";

TEST(DatPoImport, RefusesMalformedFilesAndWritesNothing) {
    Workspace ws;
    const std::string dir = ws.path().string();
    WriteText(dir + "/K.DAT", kData);
    WriteText(dir + "/de.po", kHead);
    const std::vector<std::pair<std::string, std::string>> rows = {
        // Once a double free, or a use after free under ASan: strings too
        // long to live inside a std::string object.
        {"msgctxt \"" + kLong + "\"\n#~ msgid \"b\"\n\"" + kLong + "\"\n" + kOpen,
         "de.po:6: inconsistent use of #~ in the message at line 5"},
        {"msgid \"a\"\nmsgid_plural \"" + kLong + "\"\n#~ msgid \"c\"\n\"" + kLong + "\"\n" + kOpen,
         "de.po:7: the message at line 5 has no msgstr[0]"},
        {kOpen + "msgstr \"Auf\"\n", "de.po:7: a second msgstr for the message at line 5"},
        {"msgid \"a\"\nmsgid_plural \"as\"\nmsgstr[1] \"x\"\nmsgstr[0] \"y\"\n" + kOpen,
         "de.po:7: msgstr[1] where msgstr[0] belongs"},
        {"msgid \"Open\"\nmsgstr \"\\x4142\"\n", "de.po:6: a hexadecimal escape above \\xFF"},
        {kOpen + "msgid \"Close\nmsgstr \"\"\n", "de.po:7: the string has no closing quote"},
        // What a PO editor leaves when a German catalogue becomes a French one.
        {"\"Language: fr\\n\"\n" + kOpen,
         "de.po names two languages in its header, fr (Language) and GERMAN "
         "(X-Korva-Language); correct the one that is wrong"},
    };
    const auto listing = ws.Listing();
    for (const auto& [body, message] : rows) {
        SCOPED_TRACE(body);
        WriteText(dir + "/de.po", kHead + body);
        const ProcessResult run = RunDat({"import-po", "K.DAT", "de.po"}, dir);
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_EQ(run.output, "korva-dat import-po: nothing written: " + message + "\n");
        EXPECT_EQ(ws.Listing(), listing);
        EXPECT_EQ(ReadText(dir + "/K.DAT"), kData);
    }

    WriteText(dir + "/de.po", kHead + "\n#~ msgid \"b\"\n#~ msgstr \"c\"\n" + kOpen);
    const ProcessResult run = RunDat({"import-po", "K.DAT", "de.po"}, dir);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    // A file without a byte-order mark is in Windows-1252.
    EXPECT_EQ(ReadText(dir + "/K.DAT"), "(\r\nENGLISH,\"Open\"\r\nGERMAN,\"\xD6"
                                        "ffnen\"\r\n)\r\n");
}

std::string Repeated(std::string_view piece, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out += piece;
    }
    return out;
}

// PO files as export-po wrote them and a translator's tools changed them,
// each passing msgfmt --check: the header's languages decide, plural
// messages are counted and change the exit code, and a translation is
// taken only when korva can write it, counted in UTF-16 code units.
TEST(DatPoImport, TakesWhatTheHeaderNamesAndKorvaCanWrite) {
    Workspace ws;
    const std::string dir = ws.path().string();
    const std::string entries = ";@ languages: ENGLISH (GERMAN,PORTUGUESE,zh-TW)\r\n(\r\n"
                                "ENGLISH,\"Open\"\r\n;GERMAN,\"\"\r\n;PORTUGUESE,\"\"\r\n"
                                ";zh-TW,\"\"\r\n)\r\n";
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::string acute = "\xC3\xA9"; // \xE9 in Windows-1252
    const std::string plural = "\n#, c-format\nmsgid \"%d file\"\nmsgid_plural \"%d files\"\n"
                               "msgstr[0] \"%d Datei\"\nmsgstr[1] \"%d Dateien\"\n";
    const std::string generator = "\"X-Generator: korva-dat\\n\"\n";
    struct Row {
        const char* name;
        bool cp1252;
        std::string dest;
        std::string from, to; // a change to the header
        std::string more;     // messages added at the end
        std::string translation;
        int exitCode;
        std::string said;
    };
    const std::vector<Row> rows = {
        {"Language a region of the key", false, "GERMAN", "Language: de", "Language: de_AT", "",
         "Auf", 0, "GERMAN from x.po into K.DAT: 1 imported"},
        {"Language pt_BR, key PORTUGUESE", false, "PORTUGUESE", "Language: pt", "Language: pt_BR",
         "", "Abrir", 0, "PORTUGUESE from x.po into K.DAT: 1 imported"},
        {"Language zh_TW, tag zh-TW", false, "zh-TW", "", "", "", "Open-tw", 0,
         "zh-TW from x.po into K.DAT: 1 imported"},
        {"Language zh_CN, tag zh-TW", false, "zh-TW", "Language: zh_TW", "Language: zh_CN", "", "x",
         2,
         "nothing written: x.po names two languages in its header, zh_CN (Language) and zh-TW "
         "(X-Korva-Language)"},
        {"a plural message", false, "GERMAN", generator,
         generator + "\"Plural-Forms: nplurals=2; plural=(n != 1);\\n\"\n", plural, "Auf", 1,
         "x.po:24: a plural message, left out: korva's texts have no plural forms\n"
         "korva-dat import-po: GERMAN from x.po into K.DAT: 1 imported, 0 unchanged, 0 "
         "untranslated, 0 fuzzy left out, 0 not in the data file, 1 plural left out\n"},
        {"UTF-8: 65535 code units", false, "GERMAN", "", "", "", Repeated(emoji, 32767) + "a", 0,
         "1 imported"},
        {"UTF-8: 65536 code units", false, "GERMAN", "", "", "", Repeated(emoji, 32768), 2,
         "x.po:18: \"Open\": the translation is 65536 UTF-16 code units long; korva can write at "
         "most 65535, so it would fail\nkorva-dat import-po: nothing written: 1 error in x.po\n"},
        {"UTF-8: 65535 two-byte characters", false, "GERMAN", "", "", "", Repeated(acute, 65535), 0,
         "1 imported"},
        {"1252: 65535 bytes", true, "GERMAN", "", "", "", Repeated(acute, 65535), 0, "1 imported"},
        {"1252: 65536 bytes", true, "GERMAN", "", "", "", Repeated(acute, 65536), 2,
         "x.po:18: \"Open\": the translation is 65536 UTF-16 code units long"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string data = (row.cp1252 ? "" : "\xEF\xBB\xBF") + entries;
        WriteText(dir + "/K.DAT", data);
        const ProcessResult exported =
            RunDat({"export-po", "K.DAT", "ENGLISH", row.dest, "-o", "x.po"}, dir);
        ASSERT_EQ(exported.exitCode, 0) << exported.output;
        std::string po = ReadText(dir + "/x.po");
        if (!row.from.empty()) {
            ASSERT_NE(po.find(row.from), std::string::npos) << po;
            po.replace(po.find(row.from), row.from.size(), row.to);
        }
        const std::string untranslated = "msgid \"Open\"\nmsgstr \"\"\n";
        ASSERT_NE(po.find(untranslated), std::string::npos) << po;
        po.replace(po.find(untranslated), untranslated.size(),
                   "msgid \"Open\"\nmsgstr \"" + row.translation + "\"\n");
        WriteText(dir + "/x.po", po + row.more);
        korva::test::RunOrThrow("cd " + korva::test::ShellQuote(dir) +
                                " && msgfmt --check -o /dev/null x.po");

        const auto listing = ws.Listing();
        const ProcessResult imported = RunDat({"import-po", "K.DAT", "x.po"}, dir);
        EXPECT_EQ(imported.exitCode, row.exitCode) << imported.output.substr(0, 300);
        EXPECT_NE(imported.output.find(row.said), std::string::npos)
            << imported.output.substr(0, 300);
        const std::string after = ReadText(dir + "/K.DAT");
        if (row.exitCode == 2) {
            EXPECT_EQ(after, data);
            EXPECT_EQ(ws.Listing(), listing);
            continue;
        }
        std::string written = row.translation;
        for (std::size_t at = 0; row.cp1252 && (at = written.find(acute, at)) != std::string::npos;
             ++at) {
            written.replace(at, acute.size(), "\xE9");
        }
        EXPECT_NE(after.find("\r\n" + row.dest + ",\"" + written + "\"\r\n"), std::string::npos);
    }
}

// In a Windows-1252 data file a LF is no line end, so a program's name
// with one stays on its comment line; written raw into the PO file it
// would start a line of its own that no PO reader takes.
TEST(DatPoImport, NamesWithControlCharactersStayOnTheirLine) {
    Workspace ws;
    const std::string dir = ws.path().string();
    const std::string name = "K\nmsgid \"x\"\x1A.DAT";
    const std::string data = ";@ used in a\nmsgid\"x\".exe, block #1, string id 1\r\n"
                             ";@ used in b\x7F\x01.exe, block N\nO, slot 2\r\n" +
                             kData;
    WriteText(dir + "/" + name, data);
    const ProcessResult exported =
        RunDat({"export-po", name, "ENGLISH", "GERMAN", "-o", "de.po"}, dir);
    ASSERT_EQ(exported.exitCode, 0) << exported.output;
    const std::string po = ReadText(dir + "/de.po");
    EXPECT_NE(po.find("#: a\\nmsgid\"x\".exe:1 b\\x7f\\x01.exe:N\\nO/2\n"), std::string::npos)
        << po;
    EXPECT_NE(po.find("\"Project-Id-Version: K\\\\nmsgid \\\"x\\\"\\\\x1a.DAT\\n\"\n"),
              std::string::npos)
        << po;
    const ProcessResult imported = RunDat({"import-po", name, "de.po", "-o", "-"}, dir);
    EXPECT_EQ(imported.exitCode, 0);
    EXPECT_EQ(imported.output.substr(0, data.size()), data);
}

// A translator's PO file checked before it is imported: what check finds
// in a data file, at the PO file's lines and with each msgid, including
// what msgfmt --check lets through (accelerators, a tab's shortcut).
TEST(DatPoCheck, FindsWhatCheckFindsInADataFileAtThePoFilesLines) {
    Workspace ws;
    const std::string dir = ws.path().string();
    WriteText(dir + "/de.po", "msgid \"\"\nmsgstr \"\"\n"
                              "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
                              "\"X-Korva-Neutral: ENGLISH\\n\"\n"
                              "\"X-Korva-Language: GERMAN\\n\"\n\n"
                              "msgid \"Open\"\nmsgstr \"&\xC3\x96"
                              "ffnen\"\n\n"                                                // line 7
                              "#, c-format\nmsgid \"%d files\"\nmsgstr \"%d Dateien\"\n\n" // fine
                              "msgid \"Save\\tCtrl+S\"\nmsgstr \"Speichern\"\n\n" // line 14
                              "msgid \"Copy %1\"\nmsgstr \"Kopieren\"\n\n"        // line 17
                              "#, fuzzy\nmsgid \"Close\"\nmsgstr \"&&\"\n\n"      // not taken
                              "msgid \"Help\"\nmsgstr \"\"\n");                   // untranslated
    ASSERT_EQ(
        korva::test::RunProgram("msgfmt", {"--check", "-o", "/dev/null", dir + "/de.po"}).exitCode,
        0);
    const ProcessResult check = RunDat({"check", "de.po"}, dir);
    EXPECT_EQ(check.exitCode, 2) << check.output;
    EXPECT_EQ(
        check.output,
        "de.po:7: error: GERMAN: the source has 0 accelerators (&), the translation 1 "
        "(msgid \"Open\")\n"
        "de.po:14: error: GERMAN: the source has a shortcut after a tab, the translation none "
        "(msgid \"Save\tCtrl+S\")\n"
        "de.po:17: error: GERMAN: numbered placeholders differ from the source's: %1 in the "
        "source, none in the translation (msgid \"Copy %1\")\n"
        "Translations in de.po for ENGLISH (GERMAN), 6 texts:\n"
        "  GERMAN            4 translated        2 without translation\n"
        "korva-dat check: de.po: 3 errors, incomplete\n");
}

} // namespace
} // namespace korva::dat::test
