// What the built korva prints after its banner, and what it leaves in a real
// program, for the runs a build script meets: everything translated, texts or
// translations missing (with and without -A and -P), quiet mode, two keys
// sharing one language id, a broken data file, a target it may not write.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "support/fixtures.h"
#include "support/process.h"
#include "support/workspace.h"

namespace korva::e2e {
namespace {

namespace fs = std::filesystem;

// Block 1: a gap, Open, Save. Block 2: Quit, Help.
const char* const kScript = R"RC(
LANGUAGE 0, 0
STRINGTABLE
BEGIN
  1 "Open"
  2 "Save"
  16 "Quit"
  17 "Help"
END
)RC";

std::string ProgramImage() {
    return BuildProgram(Builder::MingwX86, {kScript, {}});
}

// One data file entry: the ENGLISH text and its translations ("KEY,text").
std::vector<std::string> Entry(const std::string& english,
                               const std::vector<std::string>& translations) {
    std::vector<std::string> lines{"(", "ENGLISH," + DataFileText(english)};
    for (const std::string& t : translations) {
        const auto comma = t.find(',');
        lines.push_back(t.substr(0, comma + 1) + DataFileText(t.substr(comma + 1)));
    }
    lines.emplace_back(")");
    return lines;
}

std::string DataFile(const std::vector<std::vector<std::string>>& entries) {
    std::vector<std::string> lines{"; test translations"};
    for (const auto& entry : entries) {
        lines.insert(lines.end(), entry.begin(), entry.end());
    }
    return CrLfLines(lines);
}

// \326 is Ö in Windows-1252; an octal escape, unlike \x, ends after three
// digits.
const std::vector<std::string> kOpen = Entry("Open", {"FRENCH,Ouvrir", "GERMAN,\326ffnen"});
const std::vector<std::string> kSave = Entry("Save", {"FRENCH,Enregistrer", "GERMAN,Speichern"});
const std::vector<std::string> kQuit = Entry("Quit", {"FRENCH,Quitter", "GERMAN,Beenden"});
const std::vector<std::string> kHelp = Entry("Help", {"FRENCH,Aide", "GERMAN,Hilfe"});

const std::string kAll = DataFile({kOpen, kSave, kQuit, kHelp});
const std::string kWithoutSave = DataFile({kOpen, kQuit, kHelp});
// Save has no French text, Quit is not there at all.
const std::string kGaps = DataFile({kOpen, Entry("Save", {"GERMAN,Speichern"}), kHelp});

// A string-table resource the run must leave: block, language, texts.
struct Table {
    std::uint32_t block;
    std::uint32_t language;
    std::vector<std::string> texts;
};

const std::vector<Table> kAllTranslated{
    {1, 0x0C, {"", "Ouvrir", "Enregistrer"}},
    {1, 0x07, {"", "\326ffnen", "Speichern"}},
    {2, 0x0C, {"Quitter", "Aide"}},
    {2, 0x07, {"Beenden", "Hilfe"}},
};

const std::vector<std::string> kStatistics{"Translations found          : 10",
                                           "Source strings missing      : 0",
                                           "Translation strings missing : 0"};

struct Scenario {
    const char* name;
    std::vector<std::string> options;
    const char* destinations;
    std::string dataFile;
    std::vector<std::string> output; // the lines after the banner
    int exitCode;
    std::vector<Table> tables; // every string table afterwards; none: the file is unchanged
};

std::vector<std::string> Lines(std::vector<std::string> head,
                               const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The blocks' slots, counted per destination other than ENGLISH: block 1
// has 3 (the gap included), block 2 has 2.
const Scenario kScenarios[] = {
    {"AllTranslated",
     {},
     "(GERMAN,FRENCH)",
     kAll,
     Lines({"Translating block #1", "Translating block #2"}, Lines(kStatistics, {"Finished"})),
     0,
     kAllTranslated},
    {"Quiet", {"-Q"}, "(GERMAN,FRENCH)", kAll, Lines(kStatistics, {"Finished"}), 0, kAllTranslated},
    {"MissingSourceTextIsWrittenAsItStands",
     {},
     "(GERMAN,FRENCH)",
     kWithoutSave,
     {"Translating block #1", "Not Found: ENGLISH,Save", "Translating block #2",
      "Translations found          : 8", "Source strings missing      : 1",
      "Translation strings missing : 0", "Finished", "Translation incomplete"},
     1,
     {{1, 0x0C, {"", "Ouvrir", "Save"}},
      {1, 0x07, {"", "\326ffnen", "Save"}},
      {2, 0x0C, {"Quitter", "Aide"}},
      {2, 0x07, {"Beenden", "Hilfe"}}}},
    {"MissingSourceTextAbortsUnderA",
     {"-A"},
     "(GERMAN,FRENCH)",
     kWithoutSave,
     {"Translating block #1", "Not Found: ENGLISH,Save", "Translating block #2",
      "Translations found          : 8", "Source strings missing      : 1",
      "Translation strings missing : 0", "Translation incomplete. Abort."},
     2,
     {}},
    {"PlaceholdersUnderP",
     {"-P"},
     "(GERMAN,FRENCH)",
     kGaps,
     {"Translating block #1", "Translating block #2", "Not Found: ENGLISH,Quit",
      "Translations found          : 7", "Source strings missing      : 1",
      "Translation strings missing : 1", "Finished", "Translation incomplete"},
     1,
     {{1, 0x0C, {"", "Ouvrir", "###"}},
      {1, 0x07, {"", "\326ffnen", "Speichern"}},
      {2, 0x0C, {"###", "Aide"}},
      {2, 0x07, {"###", "Hilfe"}}}},
    {"SourceTextsWithoutP",
     {},
     "(GERMAN,FRENCH)",
     kGaps,
     {"Translating block #1", "Translating block #2", "Not Found: ENGLISH,Quit",
      "Translations found          : 7", "Source strings missing      : 1",
      "Translation strings missing : 1", "Finished", "Translation incomplete"},
     1,
     {{1, 0x0C, {"", "Ouvrir", "Save"}},
      {1, 0x07, {"", "\326ffnen", "Speichern"}},
      {2, 0x0C, {"Quit", "Aide"}},
      {2, 0x07, {"Quit", "Hilfe"}}}},
    {"ABlockWithoutKnownTextsStaysNeutral",
     {},
     "(GERMAN,FRENCH)",
     DataFile({kOpen}),
     {"Translating block #1", "Not Found: ENGLISH,Save", "Translating block #2",
      "Not Found: ENGLISH,Quit", "Not Found: ENGLISH,Help",
      "No strings found for block #2. Skipped", "Translations found          : 4",
      "Source strings missing      : 3", "Translation strings missing : 0", "Finished",
      "Translation incomplete"},
     1,
     {{1, 0x0C, {"", "Ouvrir", "Save"}},
      {1, 0x07, {"", "\326ffnen", "Save"}},
      {2, 0x00, {"Quit", "Help", "", "", "", "", "", "", "", "", "", "", "", "", "", ""}}}},
    // Both keys carry language id 0x1A: their texts would share one
    // resource, so the list is refused before anything is read.
    {"CroatianAndSerbianAreRefusedTogether",
     {},
     "(SERBIAN,CROATIAN)",
     DataFile({Entry("Open", {"CROATIAN,Otvori", "SERBIAN,Otvori"})}),
     {"CROATIAN and SERBIAN share the language id 26 (0x1A), so their texts would go into one "
      "resource: name only one of them"},
     2,
     {}},
    // Line 4 gives a text without quotes.
    {"DataFileSyntaxError",
     {},
     "(GERMAN,FRENCH)",
     CrLfLines({"; broken", "(", "ENGLISH,\"Open\"", "GERMAN,\326ffnen", ")"}),
     {"Syntax error in KORVA.DAT/Line=4", "Error reading KORVA.DAT"},
     2,
     {}},
};

// Names, not bytes, in test listings.
void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

class ConsoleOutput : public testing::TestWithParam<Scenario> {};

TEST_P(ConsoleOutput, PrintsTheExpectedLinesAndLeavesTheExpectedTables) {
    const Scenario& s = GetParam();
    test::Workspace ws;
    const Installed korva(ws);
    korva.WriteDataFile(s.dataFile);
    const std::string original = ProgramImage();
    const std::string target = ws.Copy(original, "app.exe");
    const Bytes before = test::ReadWholeFile(target);

    std::vector<std::string> args = s.options;
    args.insert(args.end(), {"ENGLISH", s.destinations, target});
    const test::ProcessResult run = korva.Run(args);
    EXPECT_EQ(run.output, Output(s.output));
    EXPECT_EQ(run.exitCode, s.exitCode);

    if (s.tables.empty()) {
        EXPECT_EQ(test::ReadWholeFile(target), before);
    } else {
        StringTables expected;
        for (const Table& t : s.tables) {
            expected[{t.block, t.language}] = StringTableData(t.texts);
        }
        const auto neutral = expected.find({2, 0});
        if (neutral != expected.end()) {
            // As the compiler wrote it: 16 slots and no closing word.
            neutral->second.resize(neutral->second.size() - 2);
        }
        EXPECT_EQ(StringTablesOf(Leaves(target)), expected);
    }
    EXPECT_EQ(ws.Listing(), (std::set<std::string>{"KORVA.DAT", "app.exe", "korva"}));
}

INSTANTIATE_TEST_SUITE_P(Runs, ConsoleOutput, testing::ValuesIn(kScenarios),
                         [](const auto& instance) { return std::string(instance.param.name); });

// A write that cannot happen. Root may write where permissions forbid it,
// so as root the tool runs as nobody.
struct WriteFailure {
    const char* name;
    std::string dataFile;
    fs::perms file;
    fs::perms directory;
    std::string reason; // the line that says why, "{}" standing for the target
};

constexpr fs::perms kReadOnly =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms kReadWrite =
    kReadOnly | fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
constexpr fs::perms kNoNewFiles =
    kReadOnly | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;

const WriteFailure kWriteFailures[] = {
    {"ReadOnlyTarget", kAll, kReadOnly, fs::perms::all,
     "cannot open {} for writing: Permission denied"},
    // The temporary file that replaces the target cannot be made.
    {"DirectoryNotWritable", kAll, kReadWrite, kNoNewFiles,
     "cannot create a temporary file beside {}: Permission denied"},
    // A length word cannot count 65536 code units.
    {"TextTooLong",
     DataFile({Entry("Open", {"FRENCH,Ouvrir", "GERMAN," + std::string(65536, 'x')}), kSave, kQuit,
               kHelp}),
     kReadWrite, fs::perms::all,
     "a text of block #1 is longer than the 65535 UTF-16 code units a string can hold"},
};

void PrintTo(const WriteFailure& c, std::ostream* os) {
    *os << c.name;
}

class WriteFailures : public testing::TestWithParam<WriteFailure> {};

TEST_P(WriteFailures, AreReportedAndLeaveTheTargetAlone) {
    const WriteFailure& c = GetParam();
    test::Workspace ws;
    const Installed korva(ws);
    korva.WriteDataFile(c.dataFile);
    const std::string target = ws.Copy(ProgramImage(), "app.exe");
    const Bytes before = test::ReadWholeFile(target);
    fs::permissions(target, c.file);
    fs::permissions(ws.path(), c.directory);
    const std::string prefix =
        ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";

    const test::ProcessResult run = korva.Run({"ENGLISH", "(GERMAN,FRENCH)", target}, prefix);
    fs::permissions(ws.path(), fs::perms::all);
    std::string reason = c.reason;
    if (const std::size_t at = reason.find("{}"); at != std::string::npos) {
        reason.replace(at, 2, target);
    }
    EXPECT_EQ(run.output,
              Output(Lines({"Translating block #1", "Translating block #2"},
                           Lines(kStatistics, {"Error writing to file " + target, reason}))));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(test::ReadWholeFile(target), before);
    EXPECT_EQ(ws.Listing(), (std::set<std::string>{"KORVA.DAT", "app.exe", "korva"}));
}

INSTANTIATE_TEST_SUITE_P(Runs, WriteFailures, testing::ValuesIn(kWriteFailures),
                         [](const auto& instance) { return std::string(instance.param.name); });

} // namespace
} // namespace korva::e2e
