#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dat/languages.h"
#include "dat/program_texts.h"
#include "datafile/trans_dict.h"

namespace korva::dat {

// What korva would count translating one program with a dictionary, per
// destination language and in its own three counters.
struct Coverage {
    struct Language {
        int lang = -1;
        std::int64_t present = 0; // texts found whose entry has this language's text
        std::int64_t missing = 0; // texts found whose entry lacks it
    };
    std::int64_t blocks = 0;        // string-table blocks korva would translate
    std::int64_t resources = 0;     // resources of other kinds korva would translate
    std::int64_t skippedBlocks = 0; // already language dependent, or no translation found
    std::int64_t texts = 0;         // non-empty texts of what korva would translate
    std::int64_t found = 0;
    std::vector<Language> languages; // the translated destinations
    // Korva's counters, which its verdict reads.
    std::int64_t translationsFound = 0;
    std::int64_t sourceStringsMissing = 0;
    std::int64_t translationStringsMissing = 0;
    // The texts korva would not find, one per use; they view the program's.
    std::vector<std::string_view> notFound;

    // The exit code korva would give: 0 complete, 1 incomplete, 2 when it
    // would translate nothing (and so write nothing).
    int KorvaExitCode() const;
};

// Counts as korva's block translation does with the choice's languages,
// looking texts up in `dict` (in the code page it was loaded in).
Coverage CountCoverage(const ProgramTables& program, const TransDictionary& dict,
                       const LanguageChoice& choice);

} // namespace korva::dat
