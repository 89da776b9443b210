#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "dat/data_document.h"
#include "dat/languages.h"
#include "dat/subcommand_driver.h"
#include "strtables/string_tables.h"

namespace korva::dat {

// The string-table blocks of one program, read as korva reads them: in a
// run's code page, with its original neutral language deciding which blocks
// korva would translate.
struct ProgramTables {
    std::string path;
    std::vector<TResInfo> blocks;
    // Resources korva would translate but cannot read ("menu #101: why"):
    // korva stops at them, so `blocks` is empty then.
    std::vector<std::string> unreadable;
};

// Reads each program with korva's string-table reader, and the other kinds
// of resource the options choose.
Result<std::vector<ProgramTables>> ReadPrograms(const std::vector<std::string>& paths,
                                                const StringTableOptions& options);

// Korva translates a block only when its one and only copy is in the
// original neutral language; a resource of another kind, only when its
// reader took that copy apart (Template).
bool IsTranslatable(const TResInfo& block);

// How a message names a record: "block #3", "menu #101", "version info #1".
std::string RecordName(const TResInfo& record);

// One use of a text in a block korva would translate.
struct TextUse {
    std::string text; // in the run's code page
    TextLocation location;
};

// The distinct texts of the programs, in the order of their first use, with
// all their uses; distinct under korva's comparison in `codePage`, the one
// the programs were read in.
struct DistinctText {
    std::string text; // as first used
    std::vector<TextLocation> uses;
};

struct ProgramTexts {
    std::vector<DistinctText> texts;
    std::size_t uses = 0;
    std::size_t blocks = 0;                 // string-table blocks korva would translate
    std::size_t resources = 0;              // resources of other kinds korva would translate
    std::vector<std::string> skippedBlocks; // "app.exe block #8", "app.exe menu #2"
    // Uses whose characters the run's code page cannot all hold (they came
    // out with '?'): korva never looks them up, and no data file in that
    // code page can spell them.
    std::vector<TextLocation> lost;
};

// " and 3 other resources" after a count of blocks, or nothing without them.
std::string OtherResources(const ProgramTexts& texts);

ProgramTexts CollectTexts(const std::vector<ProgramTables>& programs, CodePage codePage);

// Why programs that gave no text at all have none to translate, and a hint
// that names the languages they are in and the -O that takes them.
Refusal NothingToTranslate(const std::vector<ProgramTables>& programs,
                           const LanguageChoice& choice);

// Where the texts that Windows-1252 cannot hold are used, one
// "korva-dat <command>: ..." line each.
std::string LostTextLines(const ProgramTexts& texts, std::string_view command);

} // namespace korva::dat
