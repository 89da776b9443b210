// import-po on PO files gettext refuses: the built korva-dat names the file
// and line, exits 2 and leaves every file as it was. The same file without
// its fault is imported, so the fault is what stops it.
#include <gtest/gtest.h>

#include <string>
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

} // namespace
} // namespace korva::dat::test
