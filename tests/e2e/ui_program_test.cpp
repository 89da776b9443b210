// A program with the whole user interface a user sees: menus (MENU and
// MENUEX), dialogs (DIALOG and DIALOGEX), version info with two string
// tables, a message table of ANSI and Unicode entries made by windmc, and
// string tables. korva --resources=all translates it into four languages;
// under Wine each user then gets every text in their own language from the
// calls programs make, and an independent reader finds nothing but texts and
// language ids changed. Without the option only the string tables change.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "e2e/ui_program.h"
#include "e2e/user_locale.h"
#include "support/fixtures.h"
#include "support/process.h"
#include "support/wine.h"
#include "support/workspace.h"

namespace korva::e2e {
namespace {

using ui::Catalogue;
using ui::Destination;
using ui::kDestinations;
using ui::Sources;
using ui::Windres;

// What the probe prints, line by line, for the program as it was built.
enum class Kind { None, String, Menu, Dialog, Version, Message, AnsiMessage, Pairs };
struct Shown {
    std::string before;
    Kind kind;
    std::u16string text; // for Kind::None nothing is printed between
    std::string after;
    bool windresOnly = false;
};

const std::vector<Shown>& Golden() {
    static const std::vector<Shown> lines = {
        {"menu 65", Kind::None, u"", ""},
        {" popup ", Kind::Menu, u"&File", ""},
        {"  item 3e9 ", Kind::Menu, u"&Open...\tCtrl+O", ""},
        {"  item 3ea ", Kind::Menu, u"&Save", " state 1"},
        {"  separator state 3", Kind::None, u"", ""},
        {"  popup ", Kind::Menu, u"Recent &files", ""},
        {"   item 3f2 ", Kind::Menu, u"(empty)", " state 2"},
        {"  separator state 3", Kind::None, u"", ""},
        {"  item 3eb ", Kind::Menu, u"E&xit", ""},
        {" popup ", Kind::Menu, u"&Help", ""},
        {"  item 3ec ", Kind::Menu, u"&About...", " state 8"},
        {"menuex 66", Kind::None, u"", "", true},
        {" popup c8 ", Kind::Menu, u"&Edit", "", true},
        {"  item c9 ", Kind::Menu, u"&Undo", " state 3", true},
        {"  separator", Kind::None, u"", "", true},
        {"  popup d2 ", Kind::Menu, u"&Insert", "", true},
        {"   item d3 ", Kind::Menu, u"&Date", "", true},
        {"   popup dc ", Kind::Menu, u"&Symbol", "", true},
        {"    item dd ", Kind::Menu, u"&Euro sign", " type 200 state 8", true},
        {" item 12c ", Kind::Menu, u"&Right", " type 4000", true},
        {"dialog c8 ", Kind::Dialog, u"Find", ""},
        {" control ffff Static ", Kind::Dialog, u"Fi&nd what:", ""},
        {" control 44d Edit \"\"", Kind::None, u"", ""},
        {" control 44e Button ", Kind::Dialog, u"Match &case", ""},
        {" control 1 Button ", Kind::Dialog, u"&Find Next", ""},
        {" control 2 Button ", Kind::Dialog, u"Cancel", ""},
        {" control 451 Edit ", Kind::Dialog, u"Find", ""},
        {"dialog c9 ", Kind::Dialog, u"About UI Sample", ""},
        // Wine keeps an ordinal text as the window's text.
        {R"( control 4b1 Static "\uffff\u0001")", Kind::None, u"", ""},
        {" control 4b2 Static ", Kind::Dialog, u"UI Sample, version 1.2", ""},
        {" control 4b3 UiProbeSwatch ", Kind::Dialog, u"Swatch", ""},
        {" control 4b4 Button \"\"", Kind::None, u"", ""},
        {" control 1 Button ", Kind::Dialog, u"OK", ""},
        {"version fixed 00010002 00030004 00010002 00000000 00000020 00040004 00000001", Kind::None,
         u"", ""},
        {"", Kind::Pairs, u"", ""},
        {"version FileDescription ", Kind::Version, u"User interface sample", ""},
        {"version ProductName ", Kind::Version, u"UI Sample", ""},
        {"version Comments ", Kind::Version, u"Shows every kind of text", ""},
        {"version LegalCopyright ", Kind::Version, u"Copyright (C) 2024 Example Ltd", ""},
        {"version LegalTrademarks ", Kind::Version, u"UI Sample is a trademark", ""},
        {"version CompanyName \"UI Sample\"", Kind::None, u"", ""},
        {"version FileVersion \"1.2.3.4\"", Kind::None, u"", ""},
        {"version ProductVersion \"1.2\"", Kind::None, u"", ""},
        {"version InternalName \"uisample\"", Kind::None, u"", ""},
        {"version OriginalFilename \"uisample.exe\"", Kind::None, u"", ""},
        {"message 1 ", Kind::AnsiMessage, u"Café %1 closed.\nSecond line.\n", ""},
        {"message 2 none", Kind::None, u"", ""},
        {"message 3 ", Kind::AnsiMessage, u"Third\n", ""},
        {"message 100 ", Kind::Message, u"Ready → %1!s!\n", ""},
        {"message 101 ", Kind::Message, u"%1 of %2 files copied.\n", ""},
        {"string 1 ", Kind::String, u"&File", ""},
        {"string 2 ", Kind::String, u"Ready", ""},
        {"string 11 ", Kind::String, u"%1 lines, %2!d! words", ""},
    };
    return lines;
}

const std::vector<std::string> kProbeArguments{
    "menu=65",   "menuex=66",   "dialog=c8",   "dialog=c9", "version",  "message=1", "message=2",
    "message=3", "message=100", "message=101", "string=1",  "string=2", "string=11"};

// A text as the probe prints it. FormatMessage gives each line end of a
// message as CR LF.
std::string Quoted(const std::u16string& text, Kind kind) {
    std::string out = "\"";
    for (const char16_t unit : text) {
        if (unit == u'\n' && (kind == Kind::Message || kind == Kind::AnsiMessage)) {
            out += "\\u000d";
        }
        if (unit >= 0x20 && unit < 0x7F && unit != '\\' && unit != '"') {
            out += static_cast<char>(unit);
        } else {
            out += "\\u" + Hex(unit, 4);
        }
    }
    return out + "\"";
}

// An ANSI message's text, which is Windows-1252, as a user of `d` sees it.
std::u16string InUserCodePage(std::u16string text, const Destination& d) {
    for (char16_t& unit : text) {
        if (unit == u'\u00E9') {
            unit = d.ansiE9 != 0 ? d.ansiE9 : throw std::invalid_argument("no such test");
        }
    }
    return text;
}

// What the probe prints for a user of `d`, the kinds in `translated` having
// been translated; no destination: the program as it was built.
std::string Expected(bool windres, const std::set<Kind>& translated, std::optional<std::size_t> d) {
    std::string out;
    for (const Shown& line : Golden()) {
        if (line.windresOnly && !windres) {
            continue;
        }
        if (line.kind == Kind::Pairs) {
            out += d && translated.contains(Kind::Version)
                       ? "version translation " + Hex(kDestinations.at(*d).language, 4) + " 04b0\n"
                       : "version translation 0000 04b0\nversion translation 0407 04b0\n";
            continue;
        }
        out += line.before;
        const Kind kind = line.kind == Kind::AnsiMessage ? Kind::Message : line.kind;
        if (d && translated.contains(kind)) {
            out += Quoted(Catalogue().at(line.text).at(*d), line.kind);
        } else if (line.kind == Kind::AnsiMessage && d) {
            out += Quoted(InUserCodePage(line.text, kDestinations.at(*d)), line.kind);
        } else if (line.kind != Kind::None) {
            out += Quoted(line.text, line.kind);
        }
        out += line.after + "\n";
    }
    return out;
}

// A data-file text: UTF-8, with the escapes the texts need.
std::string DataFileText(const std::u16string& text) {
    std::string out = "\"";
    for (const char16_t unit : text) {
        out += unit == u'\n' ? "\\n" : unit == u'\t' ? "\\t" : Utf8(std::u16string(1, unit));
    }
    return out + "\"";
}

std::string DataFile() {
    std::vector<std::string> lines{"\xEF\xBB\xBF; The user interface of the UI sample"};
    for (const auto& [english, translations] : Catalogue()) {
        lines.emplace_back("(");
        lines.push_back("ENGLISH," + DataFileText(english));
        for (std::size_t d = 0; d < kDestinations.size(); ++d) {
            lines.push_back(std::string(kDestinations.at(d).key) + "," +
                            DataFileText(translations.at(d)));
        }
        lines.emplace_back(")");
    }
    return CrLfLines(lines);
}

class UiProgram : public testing::TestWithParam<Builder> {
protected:
    void SetUp() override {
        original_ = BuildProgram(GetParam(), Sources(GetParam()));
        target_ = ws_.Copy(original_, "app.exe");
        korva_.WriteDataFile(DataFile());
    }

    static bool windres() { return Windres(GetParam()); }

    test::ProcessResult Translate(const std::vector<std::string>& options,
                                  const std::string& target) const {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"ENGLISH", "(GERMAN,FRENCH,RUSSIAN,JAPANESE)", target});
        return korva_.Run(args);
    }

    // What the independent reader says of the result: one line per
    // resource copy, in its order.
    test::ProcessResult Compare(const std::string& types) const {
        std::vector<std::string> args{KORVA_E2E_UI_RESOURCES_SCRIPT, original_, target_, "0",
                                      types};
        for (const Destination& d : kDestinations) {
            args.push_back(Hex(d.language, 4));
        }
        return test::RunProgram("/usr/bin/python3", args);
    }

    test::ProcessResult Probe(const Destination& d) const {
        const UserLocale locale(d.locale);
        std::vector<std::string> args = kProbeArguments;
        if (!windres()) {
            args.erase(args.begin() + 1); // no MENUEX
        }
        return test::RunUnderWineWithoutDisplay(std::string(KORVA_WINEPREFIX) + "-nodisplay",
                                                target_, args);
    }

    test::Workspace ws_;
    Installed korva_{ws_};
    std::string original_;
    std::string target_;
};

// Lines of the reader's listing for every resource of the program: each
// translated one once per destination, the rest once as kept.
std::string Listing(bool windres, const std::set<std::string>& translatedTypes) {
    std::vector<std::string> resources{"3/1", "4/101"};
    if (windres) {
        resources.emplace_back("4/102");
    }
    resources.insert(resources.end(), {"5/200", "5/201", "6/1", "6/2", "11/1", "14/1", "16/1"});
    std::string out;
    for (const std::string& resource : resources) {
        if (!translatedTypes.contains(resource.substr(0, resource.find('/')))) {
            out += resource + "/0000 kept\n";
            continue;
        }
        for (const Destination& d : kDestinations) {
            out += resource + "/" + Hex(d.language, 4) + " same structure\n";
        }
    }
    return out;
}

TEST_P(UiProgram, EveryUserGetsEveryTextInTheirLanguage) {
    const test::ProcessResult run = Translate({"--resources=all"}, target_);
    // Per destination: 3 + 2 string-table slots (the gaps at 0 and 16
    // count), 8 MENU and 7 MENUEX texts, 7 texts of the DIALOG (the empty
    // EDITTEXT counts) and 5 of the DIALOGEX (the icon's ordinal does not),
    // 5 version values, 4 messages.
    const int found = 4 * (5 + 8 + (windres() ? 7 : 0) + 7 + 5 + 5 + 4);
    // Progress goes by kind, in the order of the words of --resources.
    std::vector<std::string> lines{"Translating block #1", "Translating block #2",
                                   "Translating menu #101"};
    if (windres()) {
        lines.emplace_back("Translating menu #102");
    }
    lines.insert(lines.end(), {"Translating dialog #200", "Translating dialog #201",
                               "Translating version info #1", "Translating message table #1",
                               "Translations found          : " + std::to_string(found),
                               "Source strings missing      : 0", "Translation strings missing : 0",
                               "Finished"});
    EXPECT_EQ(run.output, Output(lines));
    ASSERT_EQ(run.exitCode, 0) << run.output;

    const test::ProcessResult compared = Compare("4,5,6,11,16");
    EXPECT_EQ(compared.output, Listing(windres(), {"4", "5", "6", "11", "16"}));
    EXPECT_EQ(compared.exitCode, 0);

    const std::set<Kind> all{Kind::String, Kind::Menu, Kind::Dialog, Kind::Version, Kind::Message};
    for (std::size_t d = 0; d < kDestinations.size(); ++d) {
        const test::ProcessResult shown = Probe(kDestinations.at(d));
        EXPECT_EQ(shown.exitCode, 0) << kDestinations.at(d).key;
        EXPECT_EQ(shown.output, Expected(windres(), all, d)) << kDestinations.at(d).key;
    }

    // Every copy is in a destination's language now: a second run finds
    // nothing neutral and leaves the file alone.
    const Bytes translated = test::ReadWholeFile(target_);
    const test::ProcessResult again = Translate({"--resources=all"}, target_);
    std::vector<std::string> skipped{"Block #1", "Block #2", "Menu #101"};
    if (windres()) {
        skipped.emplace_back("Menu #102");
    }
    skipped.insert(skipped.end(),
                   {"Dialog #200", "Dialog #201", "Version info #1", "Message table #1"});
    for (std::string& line : skipped) {
        line += " is already language dependent. Skipped";
    }
    skipped.insert(skipped.end(),
                   {"Translations found          : 0", "Source strings missing      : 0",
                    "Translation strings missing : 0", "Nothing translated. Abort."});
    EXPECT_EQ(again.output, Output(skipped));
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_EQ(test::ReadWholeFile(target_), translated);
}

// Without --resources the run is the one it always was, byte for byte, and
// equal to --resources=strings: a user gets translated strings inside the
// menus, dialogs, version info and messages as they were built.
TEST_P(UiProgram, WithoutTheOptionOnlyStringTablesAreTranslated) {
    const std::string other = ws_.Copy(original_, "strings.exe");
    const test::ProcessResult run = Translate({}, target_);
    EXPECT_EQ(
        run.output,
        Output({"Translating block #1", "Translating block #2", "Translations found          : 20",
                "Source strings missing      : 0", "Translation strings missing : 0", "Finished"}));
    ASSERT_EQ(run.exitCode, 0);
    const test::ProcessResult strings = Translate({"--resources=strings"}, other);
    EXPECT_EQ(strings.output, run.output);
    EXPECT_EQ(strings.exitCode, 0);
    EXPECT_EQ(test::ReadWholeFile(other), test::ReadWholeFile(target_));

    const test::ProcessResult compared = Compare("6");
    EXPECT_EQ(compared.output, Listing(windres(), {"6"}));
    EXPECT_EQ(compared.exitCode, 0);

    const std::size_t russian = 2;
    const test::ProcessResult shown = Probe(kDestinations.at(russian));
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.output, Expected(windres(), {Kind::String}, russian));
}

INSTANTIATE_TEST_SUITE_P(Toolchains, UiProgram,
                         testing::Values(Builder::MingwX64, Builder::MingwX86, Builder::ClangX64),
                         [](const auto& instance) { return BuilderName(instance.param); });

} // namespace
} // namespace korva::e2e
