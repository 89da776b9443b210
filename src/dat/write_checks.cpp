#include "dat/write_checks.h"

#include <sstream>
#include <string>

#include "strtables/string_tables.h"
#include "translate/translate_blocks.h"

namespace korva::dat {
namespace {

// Why korva would stop at writing the program after its counters, or
// nothing when it would write it (or stop before).
std::string RehearseWrite(const ProgramTables& program, const TransDictionary& dict,
                          const LangSelection& languages, CodePage codePage) {
    // Translation rewrites the records; the program as read stays for the
    // other checks.
    std::vector<TResInfo> records = program.blocks;
    std::ostringstream lines; // korva's progress and counter lines, told by the coverage
    const TranslationCounts counts =
        TranslateBlocks(records, dict, languages, TranslateOptions{.quiet = true}, lines);
    if (!counts.Accepted(false)) {
        return {};
    }
    const Result<void> written = WriteStringTables(
        program.path, records, {.codePage = codePage, .languages = languages, .rehearse = true});
    return written ? std::string() : written.error().message;
}

} // namespace

void FindWriteFailures(const std::vector<ProgramTables>& programs, const TransDictionary& dict,
                       const LanguageChoice& choice, CodePage codePage, CheckFindings& out) {
    const LangSelection languages = SelectionOf(choice);
    for (std::size_t i = 0; i < programs.size() && i < out.programs.size(); ++i) {
        ProgramCoverage& covered = out.programs[i];
        if (!covered.stopLine.empty()) {
            continue; // korva stops at reading it
        }
        covered.writeFailure = RehearseWrite(programs[i], dict, languages, codePage);
        if (covered.writeFailure.empty()) {
            continue;
        }
        out.errorLines += covered.path + ": error: " + covered.writeFailure +
                          "; korva cannot write the program, so it fails the whole run (exit "
                          "code 2) after translating and leaves " +
                          covered.path + " untouched\n";
        ++out.errors;
    }
}

} // namespace korva::dat
