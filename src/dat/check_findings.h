#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "dat/coverage.h"
#include "dat/data_document.h"
#include "dat/languages.h"
#include "dat/program_texts.h"

namespace korva::dat {

// How far one program is covered, as korva would count it.
struct ProgramCoverage {
    std::string path;
    Coverage coverage;       // without its notFound views
    std::size_t waiting = 0; // texts not found that are in entries with no translation yet
    std::string stopLine;    // what korva stops this program's run with; empty when it goes on
    // Without a text to translate: the languages the program is in and the
    // -O that takes them (LanguagesFoundHint); else empty.
    std::string hint = {};
    // Why korva, having counted, would fail to write the program; else empty.
    std::string writeFailure = {};
};

// What 'korva-dat check' finds in a data file.
struct CheckFindings {
    std::string errorLines; // "file:line: error: ..." lines, syntax errors first
    std::size_t errors = 0;
    std::string warningLines; // "file:line: warning: ..." lines, which change no exit code
    std::size_t warnings = 0;
    std::size_t texts = 0; // the texts korva would use (entry groups)
    // Without programs: each translated language's present and missing texts.
    std::vector<Coverage::Language> entryTranslations;
    // With programs: korva's load of the data file and what it covers.
    std::string korvaStopLine; // the line korva would stop with, empty when it goes on
    std::vector<ProgramCoverage> programs;

    // Whether every translation is there (korva would exit 0 for each program).
    bool Complete() const;
};

// Whether CheckDocument also rehearses korva's write of each program
// (FindWriteFailures), which reads the program's file again: it must be the
// file the program was read from.
enum class WriteRehearsal { Skipped, OfTheFiles };

// Without a choice of languages only the syntax is checked; with programs,
// each text an entry spells in another letter case is a warning too.
CheckFindings CheckDocument(const DataDocument& doc, const std::optional<LanguageChoice>& choice,
                            const std::vector<ProgramTables>& programs,
                            WriteRehearsal writes = WriteRehearsal::Skipped);

} // namespace korva::dat
