// Menus, dialogs, version info and message tables as korva-dat sees them:
// the texts extract collects and where it says they are used, the
// accelerators check compares per menu level and dialog, and its estimate
// of whether a dialog text fits its control.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "dat/check_findings.h"
#include "dat/program_texts.h"
#include "dat/ui_checks.h"
#include "datafile_support.h"
#include "langkeys/lang_const.h"

namespace korva::dat {
namespace {

using K = res::ResourceKind;

// The parts a format reader would give; only the texts matter here.
class ReadTemplate : public res::TextTemplate {
public:
    explicit ReadTemplate(std::vector<res::ResourceText> texts) { texts_ = std::move(texts); }
    Result<std::vector<std::uint8_t>> Build(std::span<const std::u16string_view> /*texts*/,
                                            std::uint16_t /*language*/) const override {
        return MakeError("not built here");
    }
};

struct Item {
    std::string text; // UTF-8, as a UTF-8 data file's run reads it
    res::ResourceText parts;
};

res::ResourceText Where(std::string where, int scope = -1) {
    res::ResourceText t;
    t.where = std::move(where);
    t.hotkeyScope = scope;
    return t;
}

res::ResourceText Control(std::string where, std::uint16_t width, std::uint16_t height,
                          std::uint32_t style = 0, std::uint16_t classOrdinal = 0x80) {
    res::ResourceText t = Where(std::move(where), 0);
    t.width = width;
    t.height = height;
    t.style = style;
    t.classOrdinal = classOrdinal;
    t.fontPoints = 8;
    return t;
}

// A resource in the neutral language alone, read as korva reads it.
TResInfo Record(K kind, std::string name, const std::vector<Item>& items, int copies = 1) {
    TResInfo r;
    r.Kind = kind;
    r.DisplayName = std::move(name);
    r.HasOrigNeutral = true;
    r.LangCount = copies;
    std::vector<res::ResourceText> parts;
    for (const Item& item : items) {
        r.Strings.Append(item.text, 0);
        parts.push_back(item.parts);
    }
    if (copies == 1) {
        r.Template = std::make_shared<ReadTemplate>(std::move(parts));
    }
    return r;
}

TResInfo Block(std::uint16_t id, const std::vector<std::string>& texts) {
    TResInfo r;
    r.ResName.Id = id;
    r.DisplayName = "#" + std::to_string(id);
    r.HasOrigNeutral = true;
    r.LangCount = 1;
    for (const std::string& t : texts) {
        r.Strings.Append(t, 0);
    }
    return r;
}

TEST(DatInterfaceTexts, ExtractNamesEachResourceAndItem) {
    ProgramTables program{"app.exe", {}, {}};
    program.blocks.push_back(Block(1, {"", "&Open"}));
    program.blocks.push_back(Record(K::Menus, "#101",
                                    {{"&File", Where("File", 0)},
                                     {"&Open", Where("File > Open", 1)},
                                     {"", Where("File > (empty)", 1)}}));
    program.blocks.push_back(
        Record(K::Dialogs, "ABOUT",
               {{"About", Where("caption")}, {"OPEN", Control("control 1001", 40, 14)}}));
    program.blocks.push_back(Record(K::Version, "#1", {{"Editor", Where("FileDescription")}}));
    program.blocks.push_back(Record(K::Messages, "#1", {{"Disk full\n", Where("0x0000000C")}}));
    program.blocks.push_back(Record(K::Menus, "#102", {{"Skipped", Where("Skipped", 0)}}, 2));
    const ProgramTexts texts = CollectTexts({program}, CodePage::Utf8);
    EXPECT_EQ(texts.blocks, 1u);
    EXPECT_EQ(texts.resources, 4u);
    EXPECT_EQ(texts.uses, 7u); // the empty slot and the empty item are never looked up
    EXPECT_EQ(texts.skippedBlocks, std::vector<std::string>{"app.exe menu #102"});
    std::vector<std::string> lines;
    for (const DistinctText& text : texts.texts) {
        std::string line = text.text + ":";
        for (const TextLocation& use : text.uses) {
            line += " [" + LocationLine(use) + "]";
        }
        lines.push_back(line);
    }
    const std::vector<std::string> expected = {
        std::string("&Open: [;@ used in app.exe, block #1, string id 1] ") +
            "[;@ used in app.exe, menu #101, File > Open]",
        "&File: [;@ used in app.exe, menu #101, File]",
        "About: [;@ used in app.exe, dialog ABOUT, caption]",
        "OPEN: [;@ used in app.exe, dialog ABOUT, control 1001]",
        "Editor: [;@ used in app.exe, version, FileDescription]",
        "Disk full\n: [;@ used in app.exe, message 0x0000000C]",
    };
    EXPECT_EQ(lines, expected);
}

TEST(DatInterfaceTexts, AcceleratorLetters) {
    const std::vector<std::pair<std::string, std::optional<char32_t>>> rows = {
        {"&Open", U'O'},   {"Save &As", U'A'},           {"Save && Exit", std::nullopt},
        {"&&&Quit", U'Q'}, {"trailing &", std::nullopt}, {"\xC3\x96&\xC3\xB6l", U'\u00F6'},
        {"&1 file", U'1'}, {"none", std::nullopt},
    };
    for (const auto& [text, letter] : rows) {
        EXPECT_EQ(AcceleratorLetter(text), letter) << text;
    }
}

// What the estimate says of a text in a control, against what a 8-point
// Windows dialog shows; a check box's box takes its share.
TEST(DatInterfaceTexts, EstimatesTheRoomATextTakes) {
    struct Row {
        const char* name;
        std::string text;
        res::ResourceText control;
        bool fits; // within the margin
    };
    const std::vector<Row> rows = {
        {"a push button's word", "Cancel", Control("b", 50, 14), true},
        {"a long German button",
         "Abbrechen und schlie\xC3\x9F"
         "en",
         Control("b", 50, 14), false},
        {"a check box the word fits without its box", "Automatisch speichern",
         Control("c", 70, 10, 3), false},
        {"the same in a wider check box", "Automatisch speichern", Control("c", 100, 10, 3), true},
        {"a wrapping static of three lines", "A sentence that takes a few lines to say all it has",
         Control("s", 70, 24, 0, 0x82), true},
        {"the same static in one line", "A sentence that takes a few lines to say all it has",
         Control("s", 70, 8, 0, 0x82), false},
        {"a static that does not wrap", "A sentence that takes a few lines to say all it has",
         Control("s", 70, 24, 0xC, 0x82), false},
        {"full-width characters take twice the room",
         "\xE8\xA8\xAD\xE5\xAE\x9A\xE3\x82\x92\xE4\xBF\x9D\xE5\xAD\x98", Control("b", 26, 14),
         false},
        {"an accelerator's mark takes no room", "&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&",
         Control("b", 60, 14), true},
        // A right-to-left override and its end around a text (qps-plocm's),
        // and the direction marks.
        {"direction marks take no room",
         "\xE2\x80\xAE\xE2\x80\xAE\xE2\x80\xAEOK\xE2\x80\xAC\xE2\x80\x8E\xE2\x80\x8F"
         "\xE2\x81\xA6\xE2\x81\xA9",
         Control("b", 9, 14), true},
    };
    for (const Row& row : rows) {
        const ControlFit fit = EstimateFit(row.text, row.control);
        EXPECT_EQ(fit.needed <= fit.available * 1.15, row.fits)
            << row.name << ": " << fit.needed << " for " << fit.available;
    }
    EXPECT_EQ(EstimateFit("x", Control("s", 70, 24, 0, 0x82)).lines, 3);
    EXPECT_EQ(EstimateFit("x", Control("c", 70, 24, 3)).lines, 1);
    EXPECT_EQ(EstimateFit("x", Control("c", 70, 24, 0x2003)).lines, 3); // BS_MULTILINE
    EXPECT_TRUE(ShowsLabel(Control("b", 50, 14)));
    EXPECT_FALSE(ShowsLabel(Control("e", 50, 14, 0, 0x81))); // an edit's initial text
    EXPECT_FALSE(ShowsLabel(Control("i", 50, 14, 3, 0x82))); // SS_ICON names an icon
    EXPECT_FALSE(ShowsLabel(Control("n", 50, 14, 0, 0)));    // a class by name
}

LanguageChoice EnglishToGerman() {
    LanguageChoice c;
    c.neutral = FindLangKey("ENGLISH");
    c.dests = {FindLangKey("GERMAN"), c.neutral};
    std::sort(c.dests.begin(), c.dests.end());
    c.kinds = res::ParseResourceKinds("all").value();
    return c;
}

// Entries of the neutral texts with their German translations.
DataDocument Translations(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::vector<std::string> lines = {"\xEF\xBB\xBF;"};
    for (const auto& [english, german] : pairs) {
        lines.insert(lines.end(),
                     {"(", "ENGLISH,\"" + english + "\"", "GERMAN,\"" + german + "\"", ")"});
    }
    return ParseDataDocument(test::Lines(lines), "K.DAT");
}

struct ProblemRow {
    const char* name;
    std::vector<TResInfo> records;
    std::vector<std::pair<std::string, std::string>> translations;
    std::vector<std::string> errors;   // a piece of each error line, in order
    std::vector<std::string> warnings; // a piece of each warning line, in order
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = text.find('\n', pos);
        out.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

void ExpectPieces(const std::string& lines, const std::vector<std::string>& pieces,
                  const char* name) {
    const std::vector<std::string> got = SplitLines(lines);
    ASSERT_EQ(got.size(), pieces.size()) << name << "\n" << lines;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NE(got[i].find(pieces[i]), std::string::npos) << name << ": " << got[i];
    }
}

TEST(DatInterfaceChecks, FindsSharedAcceleratorsAndTextsThatLikelyDoNotFit) {
    const TResInfo fileMenu = Record(K::Menus, "#101",
                                     {{"&File", Where("File", 0)},
                                      {"&Edit", Where("Edit", 0)},
                                      {"&Open", Where("File > Open", 1)},
                                      {"&Print", Where("File > Print", 1)},
                                      {"P&roperties", Where("File > Properties", 1)}});
    const std::vector<ProblemRow> rows = {
        {"one level, one letter, sources apart",
         {fileMenu},
         {{"&Open", "&\xC3\x96"
                    "ffnen"},
          {"&Print", "&\xC3\xB6"
                     "ffentlich drucken"}},
         {"K.DAT:8: error: GERMAN: app.exe, menu #101: the translations of \"File > Open\" "
          "(line 4) and \"File > Print\" take the same accelerator &\xC3\xB6, where their "
          "sources take &O and &P"},
         {}},
        {"items of two levels may share a letter",
         {fileMenu},
         {{"&File", "&Datei"},
          {"&Open", "&Datei \xC3\xB6"
                    "ffnen"}},
         {},
         {}},
        {"sources that already share a letter are the author's choice",
         {Record(K::Menus, "#1", {{"&Paste", Where("Paste", 0)}, {"&Print", Where("Print", 0)}})},
         {{"&Paste", "&Einf\xC3\xBCgen"}, {"&Print", "&Eindrucken"}},
         {},
         {}},
        {"a literal ampersand is no accelerator",
         {fileMenu},
         {{"&Open", "&Laden"}, {"&Print", "Laden && &Drucken"}, {"P&roperties", "&Eigenschaften"}},
         {},
         {}},
        {"four controls of one dialog, each clash named once",
         {Record(K::Dialogs, "#200",
                 {{"&Add", Control("control 1", 40, 14)},
                  {"&Browse", Control("control 2", 40, 14)},
                  {"&Copy", Control("control 3", 40, 14)},
                  {"&All", Control("control 4", 40, 14)}})},
         {{"&Add", "&Hinzu"}, {"&Browse", "&Holen"}, {"&Copy", "&hier"}, {"&All", "&Hoch"}},
         {"K.DAT:8: error: GERMAN: app.exe, dialog #200: the translations of \"control 1\" "
          "(line 4) and \"control 2\" take the same accelerator &H, where their sources take &A "
          "and &B",
          "K.DAT:12: error: GERMAN: app.exe, dialog #200: the translations of \"control 1\" "
          "(line 4) and \"control 3\" take the same accelerator &h, where their sources take &A "
          "and &C",
          "K.DAT:16: error: GERMAN: app.exe, dialog #200: the translations of \"control 2\" "
          "(line 8) and \"control 4\" take the same accelerator &H, where their sources take &B "
          "and &A"},
         {}},
        {"a translation that outgrows its button",
         {Record(
             K::Dialogs, "#300",
             {{"Cancel", Control("control 2", 40, 14)}, {"Save", Control("control 3", 20, 14)}})},
         {{"Cancel", "Vorgang jetzt abbrechen"}, {"Save", "Sichern"}},
         {},
         {"K.DAT:4: warning: GERMAN: app.exe, dialog #300, control 2: the translation likely "
          "does not fit its control: an estimated 71 dialog units of text for 40 (an estimate"}},
        {"no longer than the source: as the author sized it",
         {Record(K::Dialogs, "#301", {{"Cancel the operation now", Control("control 2", 40, 14)}})},
         {{"Cancel the operation now", "Vorgang abbrechen"}},
         {},
         {}},
    };
    for (const ProblemRow& row : rows) {
        const DataDocument doc = Translations(row.translations);
        ASSERT_TRUE(doc.errors.empty()) << row.name;
        ProgramTables program{"app.exe", row.records, {}};
        const CheckFindings found = CheckDocument(doc, EnglishToGerman(), {program});
        ExpectPieces(found.errorLines, row.errors, row.name);
        ExpectPieces(found.warningLines, row.warnings, row.name);
        EXPECT_EQ(found.errors, row.errors.size()) << row.name;
        EXPECT_EQ(found.warnings, row.warnings.size()) << row.name;
    }
}

TEST(DatInterfaceChecks, NamesEveryResourceKorvaCannotRead) {
    const DataDocument doc = Translations({{"Open", "\xC3\x96"
                                                    "ffnen"}});
    ProgramTables broken{"app.exe", {}, {"menu #101: truncated item", "dialog #7: bad count"}};
    const CheckFindings found = CheckDocument(doc, EnglishToGerman(), {broken});
    EXPECT_EQ(found.errors, 2u);
    ExpectPieces(found.errorLines,
                 {"app.exe: error: menu #101: truncated item; korva cannot read it, so it fails "
                  "the whole run (exit code 2) and leaves app.exe untouched",
                  "app.exe: error: dialog #7: bad count;"},
                 "unreadable");
    ASSERT_EQ(found.programs.size(), 1u);
    EXPECT_EQ(found.programs[0].stopLine, "app.exe: menu #101: truncated item");
    EXPECT_FALSE(found.Complete());
}

} // namespace
} // namespace korva::dat
