// korva-dat pseudo on real programs built by mingw-w64 and by clang with
// llvm-rc and lld-link: its data file is the same every time, check finds
// nothing wrong with it, and korva makes a pseudo build from it whose every
// text a user sees under Wine is the pseudo translation.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dat_support.h"
#include "e2e/ui_program.h"
#include "e2e/user_locale.h"
#include "support/wine.h"
#include "support/workspace.h"

namespace korva::dat::test {
namespace {

using e2e::Builder;
using korva::test::ProcessResult;
using korva::test::Workspace;

// A data-file text between its quotes, its escapes resolved.
std::string Unescaped(const std::string& quoted) {
    std::string out;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != '\\' || i + 1 >= quoted.size()) {
            out += quoted[i];
            continue;
        }
        const char c = quoted[++i];
        const std::string from = "tnrabvf\\";
        const std::string to = "\t\n\r\a\b\v\f\\";
        if (c == 'x') {
            out += static_cast<char>(std::stoi(quoted.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += to.at(from.find(c));
        }
    }
    return out;
}

// The texts of each entry of a data file by language, under its ENGLISH
// text: entries["&File"]["qps-ploc"].
using Entries = std::map<std::string, std::map<std::string, std::string>>;
Entries ReadEntries(const std::string& data) {
    Entries out;
    std::map<std::string, std::string> entry;
    std::istringstream lines(data);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t comma = line.find(",\"");
        if (line == ")") {
            out[entry.at("ENGLISH")] = entry;
            entry.clear();
        } else if (comma != std::string::npos && !line.starts_with(';')) {
            entry[line.substr(0, comma)] =
                Unescaped(line.substr(comma + 2, line.size() - comma - 3));
        }
    }
    return out;
}

std::u16string Utf16(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8.at(k)); };
        const unsigned lead = byte(i);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? lead : lead & (0x3FU >> extra);
        for (int k = 1; k <= extra; ++k) {
            c = (c << 6) | (byte(i + static_cast<std::size_t>(k)) & 0x3FU);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

// A text as show_ui prints it; FormatMessage ends a message's lines with
// CR LF.
std::string Shown(const std::string& utf8, bool message) {
    std::string out = "\"";
    for (const char16_t unit : Utf16(utf8)) {
        if (unit == u'\n' && message) {
            out += "\\u000d";
        }
        if (unit >= 0x20 && unit < 0x7F && unit != '\\' && unit != '"') {
            out += static_cast<char>(unit);
        } else {
            out += "\\u" + e2e::Hex(unit, 4);
        }
    }
    return out + "\"";
}

class PseudoBuild : public testing::TestWithParam<Builder> {};

TEST_P(PseudoBuild, UsersSeeThePseudoTranslationOfEveryText) {
    Workspace ws;
    const e2e::Installed korva(ws);
    const std::string dir = ws.path().string();
    const std::string original = e2e::BuildProgram(GetParam(), e2e::ui::Sources(GetParam()));
    const std::string app = ws.Copy(original, "app.exe");

    const std::vector<std::string> pseudo{
        "pseudo", "--resources=all", "--mirrored", "ENGLISH", "app.exe", "-o", "PSEUDO.DAT"};
    const ProcessResult made = RunDat(pseudo, dir);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_NE(made.output.find(
                  ") pseudo-translated into qps-ploc and qps-plocm, written to "
                  "PSEUDO.DAT\nkorva-dat pseudo: with it, 'korva --data=PSEUDO.DAT --resources=all "
                  "ENGLISH (qps-ploc,qps-plocm) Program' makes a pseudo build\n"),
              std::string::npos)
        << made.output;
    const std::string data = ReadText(dir + "/PSEUDO.DAT");
    EXPECT_TRUE(data.starts_with("\xEF\xBB\xBF; Pseudo-translations for korva"));
    EXPECT_NE(data.find("\r\n;@ languages: --resources=all ENGLISH (qps-ploc,qps-plocm)\r\n"),
              std::string::npos);
    ASSERT_EQ(RunDat(pseudo, dir).exitCode, 0);
    EXPECT_EQ(ReadText(dir + "/PSEUDO.DAT"), data); // the same bytes again

    // Placeholders, accelerators and shortcuts as the program's own.
    const ProcessResult check = RunDat({"check", "PSEUDO.DAT", "app.exe"}, dir);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find("korva-dat check: PSEUDO.DAT: 0 errors"), std::string::npos)
        << check.output;
    EXPECT_EQ(check.output.find(": error: "), std::string::npos) << check.output;

    korva.WriteDataFile(data);
    const ProcessResult run =
        korva.Run({"--resources=all", "ENGLISH", "(qps-ploc,qps-plocm)", app});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(CheckCounters(check), KorvaCounters(run)) << check.output << run.output;

    const Entries entries = ReadEntries(data);
    const auto pseudoOf = [&](const std::string& english, const char* tag) {
        return entries.at(english).at(tag);
    };
    // The mirrored copy is there for a program that asks for it.
    EXPECT_EQ(StringTableTexts(app).at({0x09FF, 1}), Utf16(pseudoOf("&File", "qps-plocm")));

    // Every user gets qps-ploc, the lowest id left; Wine has no such locale.
    const e2e::UserLocale locale("de_DE.UTF-8");
    const ProcessResult shown = korva::test::RunUnderWineWithoutDisplay(
        std::string(KORVA_WINEPREFIX) + "-nodisplay", app,
        {"menu=65", "dialog=c8", "dialog=c9", "version", "message=1", "message=100", "string=1",
         "string=11"});
    ASSERT_EQ(shown.exitCode, 0) << shown.output;
    const std::vector<std::pair<std::string, std::string>> lines = {
        {" popup ", "&File"},
        {"  item 3e9 ", "&Open...\tCtrl+O"},
        {"  item 3eb ", "E&xit"},
        {"dialog c8 ", "Find"},
        {" control 44e Button ", "Match &case"},
        {" control 1 Button ", "&Find Next"},
        {" control 4b2 Static ", "UI Sample, version 1.2"},
        {"version FileDescription ", "User interface sample"},
        {"version LegalCopyright ", "Copyright (C) 2024 Example Ltd"},
        {"message 1 ", "Caf\xC3\xA9 %1 closed.\nSecond line.\n"},
        {"message 100 ", "Ready \xE2\x86\x92 %1!s!\n"},
        {"string 1 ", "&File"},
        {"string 11 ", "%1 lines, %2!d! words"},
    };
    for (const auto& [before, english] : lines) {
        const std::string line =
            before + Shown(pseudoOf(english, "qps-ploc"), before.starts_with("message"));
        EXPECT_NE(shown.output.find("\n" + line + "\n"), std::string::npos) << line << "\n"
                                                                            << shown.output;
    }
    EXPECT_NE(shown.output.find("\nversion translation 0501 04b0\n"), std::string::npos)
        << shown.output;
}

// A program built the usual way, its texts in US English: -O takes them,
// and the languages line and korva's command carry it. What the command
// line gets wrong is named before anything is read.
TEST(PseudoCommand, TakesTheProgramsLanguageAndRefusesWhatItCannotDo) {
    Workspace ws;
    const std::string dir = ws.path().string();
    std::string script = StringTableScript({{1, u"&Open"}, {2, u"%d of %s"}});
    script.replace(0, script.find('\n'), "LANGUAGE 9, 1");
    ws.Copy(e2e::BuildProgram(Builder::ClangX64, {script, {}, 0}), "app.exe");
    struct Row {
        std::vector<std::string> args;
        int exitCode;
        std::string output; // its beginning
    };
    const std::vector<Row> rows = {
        {{"pseudo", "ENGLISH", "app.exe"},
         2,
         "korva-dat pseudo: no text to translate: no string-table block is in the original "
         "neutral language alone (see -O)\nkorva-dat pseudo: no resource is in the language id "
         "0x0000 looked for (-O); the program's are in 0x0409 (en-US, a sublanguage of "
         "ENGLISH): -Oen-US takes them\n"},
        {{"pseudo", "-Oen-US", "ENGLISH", "app.exe", "-o", "P.DAT"},
         0,
         "korva-dat pseudo: 2 texts (2 uses in 1 blocks) pseudo-translated into qps-ploc, "
         "written to P.DAT\nkorva-dat pseudo: with it, 'korva --data=P.DAT -O0x0409 ENGLISH "
         "(qps-ploc) "
         "Program' makes a pseudo build\n"},
        {{"pseudo", "app.exe"}, 2, "korva-dat pseudo: give NeutralLang and at least one program\n"},
        {{"pseudo", "qps-ploc", "app.exe"},
         2,
         "korva-dat pseudo: the programs' language cannot be a pseudo-locale: qps-ploc\n"},
        {{"pseudo", "--cp1252", "ENGLISH", "app.exe"},
         2,
         "korva-dat pseudo: unknown option --cp1252\n"},
        {{"pseudo", "--fallback=ENGLISH", "ENGLISH", "app.exe"},
         2,
         "korva-dat pseudo: unknown option --fallback=ENGLISH\n"},
        {{"extract", "--mirrored", "ENGLISH", "(GERMAN)", "app.exe"},
         2,
         "korva-dat extract: unknown option --mirrored\n"},
    };
    for (const Row& row : rows) {
        const ProcessResult run = RunDat(row.args, dir);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.output;
        EXPECT_TRUE(run.output.starts_with(row.output)) << run.output;
    }
    const std::string data = ReadText(dir + "/P.DAT");
    EXPECT_NE(data.find("\r\n;@ languages: -O0x0409 ENGLISH (qps-ploc)\r\n"), std::string::npos)
        << data;
    EXPECT_NE(data.find("\r\nENGLISH,\"%d of %s\"\r\nqps-ploc,\"[%d \xC3\xB6\xC6\x92 "
                        "%s\xC2\xB7\xC2\xB7\xC2\xB7]\"\r\n)\r\n"),
              std::string::npos)
        << data;
}

INSTANTIATE_TEST_SUITE_P(Builders, PseudoBuild,
                         testing::Values(Builder::MingwX64, Builder::ClangX64),
                         [](const auto& instance) { return e2e::BuilderName(instance.param); });

} // namespace
} // namespace korva::dat::test
