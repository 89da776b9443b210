#include "translate/translate_blocks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/console.h"
#include "common/settings.h"
#include "datafile/data_file.h"
#include "datafile/datafile_support.h"
#include "driver/command_line.h"
#include "langkeys/lang_const.h"
#include "platform/platform.h"
#include "strtables/string_tables.h"

namespace korva {
namespace {

using Entries = std::vector<std::pair<Text, std::int32_t>>;

class TranslateBlocksTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        ResetLangSelection();
        ResetResBlocks();
        ResetTransDict();
        ResetCounters();
        RunCodePage = CodePage::Windows1252;
        out_.str("");
        SetConsole(out_);
    }

    // Options and languages as the command line gives them.
    void Select(std::vector<std::string> args) {
        args.push_back("target.exe");
        ASSERT_TRUE(ParseCommandLine(args));
    }

    // Loads a data file (lines joined with CR LF) through the real loader.
    void LoadDict(const std::vector<std::string>& lines) {
        DataFileName = "translate_test_" + std::to_string(::getpid()) + ".dat";
        const std::string path = DirectoryOf(OwnExecutablePath()) + DataFileName;
        {
            std::ofstream file(path, std::ios::binary);
            for (const std::string& line : lines) {
                file << line << "\r\n";
            }
        }
        const bool loaded = LoadDataFile();
        std::remove(path.c_str());
        ASSERT_TRUE(loaded);
    }

    static TResInfo& AddBlock(int id, const std::vector<Text>& texts, std::int32_t lang = 0,
                              int langCount = 1) {
        TResInfo block;
        block.ResType.Id = 6;
        block.ResName.Id = static_cast<std::uint16_t>(id);
        block.DisplayName = "#" + std::to_string(id);
        block.HasOrigNeutral = lang == OrigNeutralLangId;
        block.LangCount = langCount;
        for (const Text& t : texts) {
            block.Strings.Append(t, lang);
        }
        ResBlocks.push_back(std::move(block));
        return ResBlocks.back();
    }

    static Entries StringsOf(const TResInfo& block) {
        Entries entries;
        for (const auto& item : block.Strings.Items()) {
            entries.emplace_back(item.text, item.object);
        }
        return entries;
    }

    // The console output with CR LF turned into '|' separators.
    std::string Output() const {
        std::string s = out_.str();
        std::string joined;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s.compare(i, 2, "\r\n") == 0) {
                joined += '|';
                ++i;
            } else {
                joined += s[i];
            }
        }
        return joined;
    }

    static std::string Stats(int found, int source, int translation) {
        return "Translations found          : " + std::to_string(found) +
               "|Source strings missing      : " + std::to_string(source) +
               "|Translation strings missing : " + std::to_string(translation) + "|";
    }

    std::ostringstream out_;
};

const std::vector<std::string> kOpenGerman = {"(", "ENGLISH,\"open\"", "GERMAN,\"\326ffnen\"", ")"};

TEST_F(TranslateBlocksTest, NeutralLanguageAlsoAsDestination) {
    Select({"ENGLISH", "(GERMAN,ENGLISH)"});
    LoadDict(kOpenGerman);
    AddBlock(1, {"", "Open"});
    ASSERT_TRUE(TranslateBlocks());
    // The ENGLISH run takes the entry's own text, which matched in another case.
    EXPECT_EQ(StringsOf(ResBlocks[0]), (Entries{{"", 9}, {"open", 9}, {"", 7}, {"\326ffnen", 7}}));
    EXPECT_EQ(Output(), "Translating block #1|" + Stats(2, 0, 0));
    EXPECT_FALSE(ResBlocks[0].Skipped);
}

TEST_F(TranslateBlocksTest, PlaceholdersOnlyWhereATranslationIsMissing) {
    for (const bool placeholders : {true, false}) {
        SetUp();
        Select(placeholders ? std::vector<std::string>{"-P", "ENGLISH", "(GERMAN,FRENCH)"}
                            : std::vector<std::string>{"ENGLISH", "(GERMAN,FRENCH)"});
        LoadDict(kOpenGerman);
        AddBlock(1, {"", "Open"});
        ASSERT_TRUE(TranslateBlocks());
        // FRENCH comes first: destinations run in key-table order.
        EXPECT_EQ(
            StringsOf(ResBlocks[0]),
            (Entries{{"", 12}, {placeholders ? "###" : "Open", 12}, {"", 7}, {"\326ffnen", 7}}));
        EXPECT_EQ(TranslationsFound, 3);
        EXPECT_EQ(TranslationStringsMissing, 1);
        EXPECT_EQ(SourceStringsMissing, 0);
    }
}

// Every row of the outcome table: slot kinds (gap, unknown, found, found with
// a missing translation, found with an empty translation) against the neutral
// language and other destinations, with and without placeholders.
TEST_F(TranslateBlocksTest, OutcomeOfEachSlotKindPerDestination) {
    for (const bool placeholders : {false, true}) {
        SetUp();
        std::vector<std::string> args = {"ENGLISH", "(GERMAN,ENGLISH,FRENCH)"};
        if (placeholders) {
            args.insert(args.begin(), "-P");
        }
        Select(args);
        LoadDict({"(", "ENGLISH,\"FOUND\"", "GERMAN,\"Gefunden\"", ")", //
                  "(", "ENGLISH,\"Blank\"", "GERMAN,\"\"", "FRENCH,\"Vide\"", ")"});
        AddBlock(1, {"", "Unknown", "found", "blank"});
        ASSERT_TRUE(TranslateBlocks());
        const Text ph = placeholders ? "###" : "";
        EXPECT_EQ(StringsOf(ResBlocks[0]),
                  (Entries{// ENGLISH: gaps stay, unknown texts stay, found texts as filed
                           {"", 9},
                           {"Unknown", 9},
                           {"FOUND", 9},
                           {"Blank", 9},
                           // FRENCH: no FRENCH text for FOUND
                           {"", 12},
                           {placeholders ? ph : "Unknown", 12},
                           {placeholders ? ph : "found", 12},
                           {"Vide", 12},
                           // GERMAN: the empty translation is written empty
                           {"", 7},
                           {placeholders ? ph : "Unknown", 7},
                           {"Gefunden", 7},
                           {"", 7}}));
        EXPECT_EQ(TranslationsFound, 5);         // FRENCH gap, Vide; GERMAN gap, Gefunden, ""
        EXPECT_EQ(SourceStringsMissing, 1);      // once per slot, not per destination
        EXPECT_EQ(TranslationStringsMissing, 1); // FOUND in FRENCH
        EXPECT_EQ(Output(), "Translating block #1|Not Found: ENGLISH,Unknown|" + Stats(5, 1, 1));
    }
}

TEST_F(TranslateBlocksTest, BlocksThatAreSkippedAndWhy) {
    Select({"ENGLISH", "(GERMAN)"});
    // An entry with no usable destination text: its GERMAN line resolves to empty.
    LoadDict({"(", "ENGLISH,\"Open\"", "GERMAN,\"x\"", ")", //
              "(", "ENGLISH,\"Lonely\"", "GERMAN,\"\\\"", ")"});
    AddBlock(1, {"Open"}, 0, 2);   // also in another language
    AddBlock(2, {"Open"}, 0x0409); // only in a language other than the neutral one
    AddBlock(3, {});               // no text at all
    // Nothing known; a line end in a text must not end the line shown.
    AddBlock(4, {"", "Gone", "Away\r\nFinished\t!"});
    AddBlock(5, {"Lonely"}); // known, but no destination text
    AddBlock(6, {"open"});   // translated
    ASSERT_TRUE(TranslateBlocks());
    EXPECT_EQ(Output(), "Block #1 is already language dependent. Skipped|"
                        "Block #2 is already language dependent. Skipped|"
                        "Translating block #3|No strings found for block #3. Skipped|"
                        "Translating block #4|Not Found: ENGLISH,Gone|"
                        "Not Found: ENGLISH,Away\\r\\nFinished\t!|"
                        "No strings found for block #4. Skipped|"
                        "Translating block #5|No strings found for block #5. Skipped|"
                        "Translating block #6|" +
                            Stats(1, 2, 0));
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(ResBlocks[static_cast<std::size_t>(i)].Skipped) << i;
    }
    EXPECT_FALSE(ResBlocks[5].Skipped);
    EXPECT_EQ(StringsOf(ResBlocks[0]), (Entries{{"Open", 0}})); // untouched
    EXPECT_EQ(StringsOf(ResBlocks[1]), (Entries{{"Open", 0x0409}}));
    EXPECT_EQ(StringsOf(ResBlocks[3]),
              (Entries{{"", -1}, {"Gone", -1}, {"Away\r\nFinished\t!", -1}}));
    EXPECT_EQ(StringsOf(ResBlocks[5]), (Entries{{"x", 7}}));
}

TEST_F(TranslateBlocksTest, QuietModeKeepsOnlyTheStatistics) {
    Select({"-Q", "ENGLISH", "(GERMAN)"});
    LoadDict(kOpenGerman);
    AddBlock(1, {"Open", "Unknown"});
    AddBlock(2, {"Open"}, 0, 2);
    ASSERT_TRUE(TranslateBlocks());
    EXPECT_EQ(Output(), Stats(1, 1, 0));
}

TEST_F(TranslateBlocksTest, ResultFollowsFoundCountAndAbortOnMissing) {
    struct Case {
        std::vector<std::string> args;
        std::vector<Text> texts;
        bool expected;
    };
    const std::vector<Case> cases = {
        {{"ENGLISH", "(GERMAN)"}, {"Open", "Unknown"}, true},
        {{"-A", "ENGLISH", "(GERMAN)"}, {"Open", "Unknown"}, false},
        {{"-A", "ENGLISH", "(GERMAN,FRENCH)"}, {"Open"}, false}, // one translation missing
        {{"-A", "ENGLISH", "(GERMAN)"}, {"", "Open"}, true},
        {{"ENGLISH", "(GERMAN)"}, {"Unknown"}, false},           // nothing found
        {{"-A", "ENGLISH", "(ENGLISH,GERMAN)"}, {"Open"}, true}, // the neutral run misses nothing
    };
    for (const Case& c : cases) {
        SetUp();
        Select(c.args);
        LoadDict(kOpenGerman);
        AddBlock(1, c.texts);
        EXPECT_EQ(TranslateBlocks(), c.expected) << c.args.size() << " " << c.texts.size();
    }
}

TEST_F(TranslateBlocksTest, CroatianAndSerbianShareOneLanguageId) {
    Select({"ENGLISH", "(SERBIAN,CROATIAN)"});
    LoadDict({"(", "ENGLISH,\"Yes\"", "CROATIAN,\"Da\"", "SERBIAN,\"Da!\"", ")"});
    AddBlock(1, {"Yes"});
    ASSERT_TRUE(TranslateBlocks());
    EXPECT_EQ(StringsOf(ResBlocks[0]), (Entries{{"Da", 0x1A}, {"Da!", 0x1A}}));
}

TEST_F(TranslateBlocksTest, OriginalNeutralLanguageFromOption) {
    Select({"-O$409", "ENGLISH", "(GERMAN)"});
    LoadDict(kOpenGerman);
    AddBlock(1, {"Open"}, 0x0409);
    AddBlock(2, {"Open"}, 0);
    ASSERT_TRUE(TranslateBlocks());
    EXPECT_EQ(StringsOf(ResBlocks[0]), (Entries{{"\326ffnen", 7}}));
    EXPECT_TRUE(ResBlocks[1].Skipped);
}

// Two threads translate what one does: the same lines in the same order,
// the same counts and outcome, the same runs in every block, whatever the
// options; the second thread's share holds skipped blocks, texts not found
// and a block with nothing found.
TEST_F(TranslateBlocksTest, TwoThreadsTranslateWhatOneDoes) {
    const std::vector<std::vector<std::string>> options = {
        {"ENGLISH", "(GERMAN,FRENCH)"},
        {"-Q", "ENGLISH", "(GERMAN,FRENCH)"},
        {"-P", "ENGLISH", "(ENGLISH,GERMAN)"},
        {"-A", "ENGLISH", "(GERMAN)"},
    };
    const std::vector<std::string> dict = {
        "(", "ENGLISH,\"Open\"",   "GERMAN,\"\326ffnen\"",    "FRENCH,\"Ouvrir\"",
        ")",                                                       //
        "(", "ENGLISH,\"Close\"",  "GERMAN,\"Schlie\337en\"", ")", //
        "(", "ENGLISH,\"Lonely\"", "GERMAN,\"\\\"",           ")"};
    const std::vector<Text> texts = {"Open", "", "close", "Unknown", "Lonely", "CLOSE", "x\ry"};
    struct Run {
        bool result = false;
        std::string output;
        std::int32_t counts[3] = {};
        std::vector<Entries> blocks;
        std::vector<bool> skipped;
    };
    const auto translate = [&](const std::vector<std::string>& args, bool twoThreads) {
        SetUp();
        Select(args);
        LoadDict(dict);
        for (int id = 1; id <= 40; ++id) {
            std::vector<Text> block;
            for (std::size_t i = 0; i < static_cast<std::size_t>(id % 9); ++i) {
                block.push_back(texts[(static_cast<std::size_t>(id) * 3 + i) % texts.size()]);
            }
            AddBlock(id, block, id % 13 == 5 ? 0x0409 : 0, id % 11 == 7 ? 2 : 1);
        }
        Run run;
        out_.str("");
        run.result = TranslateBlocks(twoThreads ? 0 : SIZE_MAX);
        run.output = out_.str();
        run.counts[0] = TranslationsFound;
        run.counts[1] = SourceStringsMissing;
        run.counts[2] = TranslationStringsMissing;
        for (const TResInfo& block : ResBlocks) {
            run.blocks.push_back(StringsOf(block));
            run.skipped.push_back(block.Skipped);
        }
        return run;
    };
    for (const std::vector<std::string>& args : options) {
        const Run one = translate(args, false);
        const Run two = translate(args, true);
        EXPECT_EQ(two.result, one.result) << args[0];
        EXPECT_EQ(two.output, one.output) << args[0];
        EXPECT_TRUE(
            std::equal(std::begin(two.counts), std::end(two.counts), std::begin(one.counts)))
            << args[0];
        EXPECT_EQ(two.blocks, one.blocks) << args[0];
        EXPECT_EQ(two.skipped, one.skipped) << args[0];
    }
}

// Translations that take their languages, options, dictionaries (in code
// pages of their own) and streams as values, made in turns in one process,
// give what korva's stage gives for each in a run of its own, and touch
// none of the run's settings and counters.
TEST_F(TranslateBlocksTest, TranslationsOfTheirOwnGiveWhatKorvasStageGivesAlone) {
    const std::string mark = "\xEF\xBB\xBF";
    struct Job {
        std::vector<std::string> args; // as korva's command line
        LangSelection languages;       // the same, as a value
        TranslateOptions options;
        CodePage page;
        std::vector<std::string> dict;
        std::vector<std::vector<Text>> blocks;
    };
    // Under UTF-8 the Cyrillic texts are equal in any case; under 1252 they
    // are not, so each job's code page shows in what it finds.
    const std::vector<Job> jobs = {
        {{"-P", "ENGLISH", "(GERMAN,FRENCH)"},
         test::Selection("ENGLISH", {"GERMAN", "FRENCH"}),
         {false, true},
         CodePage::Windows1252,
         {"(", "ENGLISH,\"open\"", "GERMAN,\"\326ffnen\"", ")", "(", "ENGLISH,\"\xD0\xBE\xD1\x82\"",
          "GERMAN,\"ot\"", ")"},
         {{"", "Open", "Unknown"}, {"\xD0\x9E\xD0\xA2"}}},
        {{"-Q", "ENGLISH", "(ITALIAN,GERMAN)"},
         test::Selection("ENGLISH", {"ITALIAN", "GERMAN"}),
         {true, false},
         CodePage::Utf8,
         {mark + "(", "ENGLISH,\"\xD0\xBE\xD1\x82\"", "ITALIAN,\"da\"", ")"},
         {{"\xD0\x9E\xD0\xA2", "Open"}}},
    };
    struct Outcome {
        std::string output;
        TranslationCounts counts;
        std::vector<Entries> blocks;
    };
    const auto blocksOf = [](const std::vector<TResInfo>& blocks) {
        std::vector<Entries> out;
        for (const TResInfo& block : blocks) {
            out.push_back(StringsOf(block));
        }
        return out;
    };
    std::vector<Outcome> alone;
    for (const Job& job : jobs) {
        SetUp();
        Select(job.args);
        LoadDict(job.dict);
        for (std::size_t b = 0; b < job.blocks.size(); ++b) {
            AddBlock(static_cast<int>(b) + 1, job.blocks[b]);
        }
        TranslateBlocks();
        alone.push_back({out_.str(),
                         {TranslationsFound, SourceStringsMissing, TranslationStringsMissing},
                         blocksOf(ResBlocks)});
    }
    SetUp();
    std::deque<DataLoadOutcome> dicts; // kept in place: a dictionary is not copied
    std::vector<std::vector<TResInfo>> blocks(jobs.size());
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        Result<DataLoadOutcome> loaded =
            test::LoadText(test::Lines(jobs[j].dict), jobs[j].languages, jobs[j].page);
        ASSERT_TRUE(loaded.ok() && loaded->Loaded()) << j;
        dicts.push_back(std::move(loaded).value());
        for (std::size_t b = 0; b < jobs[j].blocks.size(); ++b) {
            TResInfo& block = blocks[j].emplace_back();
            block.DisplayName = "#" + std::to_string(b + 1);
            block.HasOrigNeutral = true;
            block.LangCount = 1;
            for (const Text& text : jobs[j].blocks[b]) {
                block.Strings.Append(text, 0);
            }
        }
    }
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        std::ostringstream out;
        const TranslationCounts counts =
            TranslateBlocks(blocks[j], dicts[j].dict, jobs[j].languages, jobs[j].options, out);
        EXPECT_EQ(out.str(), alone[j].output) << j;
        EXPECT_EQ(counts.translationsFound, alone[j].counts.translationsFound) << j;
        EXPECT_EQ(counts.sourceStringsMissing, alone[j].counts.sourceStringsMissing) << j;
        EXPECT_EQ(counts.translationStringsMissing, alone[j].counts.translationStringsMissing) << j;
        EXPECT_EQ(blocksOf(blocks[j]), alone[j].blocks) << j;
    }
    // The code pages made the difference they should: 1252 missed the
    // Cyrillic text in the other case, UTF-8 found it.
    EXPECT_EQ(alone[0].counts.sourceStringsMissing, 2);
    EXPECT_EQ(alone[1].blocks[0][2], (std::pair<Text, std::int32_t>{"da", 0x10}));
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(TranslationsFound, 0);
    EXPECT_EQ(SourceStringsMissing, 0);
    EXPECT_FALSE(QuietMode);
}

} // namespace
} // namespace korva
