#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "datafile/trans_dict.h"
#include "langkeys/lang_selection.h"
#include "strtables/string_tables.h"

namespace korva {

extern std::int32_t TranslationsFound;
extern std::int32_t SourceStringsMissing;
extern std::int32_t TranslationStringsMissing;

// What translating the blocks counted.
struct TranslationCounts {
    std::int32_t translationsFound = 0;
    std::int32_t sourceStringsMissing = 0;
    std::int32_t translationStringsMissing = 0;

    // Whether the translated blocks are to be written: something was
    // translated and, under -A, nothing was missing.
    bool Accepted(bool abortOnMissing) const;
};

// Blocks holding `textsForTwoThreads` texts or more are shared between two
// threads (fewer take less time than starting one); the outcome and the
// lines are the same either way.
inline constexpr std::size_t kTextsForTwoThreads = 16384;

struct TranslateOptions {
    bool quiet = false;             // -Q: no progress lines, the statistics still
    bool writePlaceholders = false; // -P: "###" for a missing translation
    std::size_t textsForTwoThreads = kTextsForTwoThreads;
};

// Replaces each translatable block's neutral texts by one run per
// destination of `languages`, looking them up in `dict`. Writes the
// progress lines (unless quiet) and the three statistics lines to `out`,
// each ended by CR LF, and returns the counts.
TranslationCounts TranslateBlocks(std::vector<TResInfo>& blocks, const TransDictionary& dict,
                                  const LangSelection& languages, const TranslateOptions& options,
                                  std::ostream& out);

// korva's stage: translates ResBlocks with TransDict, the language
// selection and the options of the command line, on the console; adds the
// counts to the counters above and accepts them as -A says.
bool TranslateBlocks(std::size_t textsForTwoThreads = kTextsForTwoThreads);

void ResetCounters();

} // namespace korva
