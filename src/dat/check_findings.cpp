#include "dat/check_findings.h"

#include <algorithm>

#include "dat/case_checks.h"
#include "dat/document_checks.h"
#include "dat/format_checks.h"
#include "dat/text_codec.h"
#include "dat/ui_checks.h"
#include "dat/write_checks.h"
#include "datafile/data_loader.h"
#include "platform/platform.h"
#include "text/text.h"

namespace korva::dat {
namespace {

// Entries that korva never uses because another entry has the same neutral
// text, one error line each.
void FindShadowed(const DataDocument& doc, const EntryGroups& groups, int neutral,
                  CheckFindings& out) {
    for (const EntryGroup& group : groups) {
        const DataEntry& winner = doc.entries[group.winner];
        for (const std::size_t member : group.members) {
            if (member == group.winner) {
                continue;
            }
            const DataEntry& entry = doc.entries[member];
            out.errorLines +=
                doc.Where(entry.start) + ": error: this entry's " + LangName(neutral) + " text " +
                Shown(entry.TextOf(neutral)->text, doc.codePage) +
                " is the same for korva as that of the entry at line " +
                std::to_string(winner.start + 1) + ", which korva uses; this one is never used\n";
            ++out.errors;
        }
    }
}

// Translations that would break the program or its look, or that korva
// cannot write, one error line each.
void FindFormatProblems(const DataDocument& doc, int neutral, CheckFindings& out) {
    for (const DataEntry& entry : doc.entries) {
        const EntryText* source = entry.TextOf(neutral);
        if (source == nullptr || source->text.empty() || source->text == EmptyTextMarker) {
            continue;
        }
        for (const EntryText& t : entry.texts) {
            if (t.lang == neutral || t.text.empty() || t.text == EmptyTextMarker) {
                continue; // a translation left empty on purpose shows nothing to break
            }
            std::vector<std::string> problems = CompareFormats(source->text, t.text);
            if (std::string tooLong = TooLongForKorva(t.text, doc.codePage); !tooLong.empty()) {
                problems.push_back(std::move(tooLong));
            }
            for (const std::string& problem : problems) {
                out.errorLines +=
                    doc.Where(t.line) + ": error: " + LangName(t.lang) + ": " + problem + "\n";
                ++out.errors;
            }
        }
    }
}

// Without programs: how many of the texts korva would use have each
// translation.
std::vector<Coverage::Language> CountEntryTranslations(const DataDocument& doc,
                                                       const EntryGroups& groups,
                                                       const LanguageChoice& choice) {
    std::vector<Coverage::Language> out;
    for (const int lang : choice.TranslatedDests()) {
        std::int64_t present = 0;
        for (const EntryGroup& group : groups) {
            const EntryText* t = doc.entries[group.winner].TextOf(lang);
            present += t != nullptr && !t->text.empty() ? 1 : 0;
        }
        out.push_back({.lang = lang,
                       .present = present,
                       .missing = static_cast<std::int64_t>(groups.size()) - present});
    }
    return out;
}

// Korva's dictionary for the choice, loaded by korva's own loader, and the
// line korva would stop with, empty when it would go on.
struct KorvaLoad {
    TransDictionary dict;
    std::string stopLine;
};

KorvaLoad LoadDictionary(const DataDocument& doc, const LanguageChoice& choice) {
    const std::string name = PathString(FileSystemPath(doc.name).filename());
    DataLoadOptions options;
    options.codePage = doc.codePage;
    options.languages = SelectionOf(choice);
    Result<DataLoadOutcome> loaded = LoadDataFrom(ReadFromMemory(doc.bytes), name, options);
    KorvaLoad out;
    if (!loaded) {
        out.stopLine = loaded.error().message;
        return out;
    }
    if (loaded->syntaxError) {
        out.stopLine = loaded->syntaxError->message;
    } else if (!loaded->Loaded()) {
        out.stopLine = "Error reading " + name;
    }
    out.dict = std::move(loaded->dict);
    return out;
}

// How far each program is covered by the entries korva would load.
std::vector<ProgramCoverage> CoverPrograms(const EntryGroups& groups, const LanguageChoice& choice,
                                           const std::vector<ProgramTables>& programs,
                                           const TransDictionary& dict) {
    const NeutralTextIndex allEntries(groups);
    std::vector<ProgramCoverage> out;
    for (const ProgramTables& program : programs) {
        if (!program.unreadable.empty()) {
            out.push_back({.path = program.path,
                           .coverage = {},
                           .waiting = 0,
                           .stopLine = program.path + ": " + program.unreadable.front()});
            continue;
        }
        ProgramCoverage covered{.path = program.path,
                                .coverage = CountCoverage(program, dict, choice),
                                .waiting = 0,
                                .stopLine = {}};
        // Korva takes in no entry that has no translation yet, so their texts
        // count as not found; told apart, they are work to do, not to add.
        for (const std::string_view text : covered.coverage.notFound) {
            covered.waiting += allEntries.Find(text) ? 1U : 0U;
        }
        covered.coverage.notFound.clear(); // its views die with the programs
        if (covered.coverage.texts == 0) {
            covered.hint = LanguagesFoundHint(program.blocks, choice.OriginalLangId());
        }
        out.push_back(std::move(covered));
    }
    return out;
}

// Each resource korva would stop at, one error line each.
void FindUnreadable(const std::vector<ProgramTables>& programs, CheckFindings& out) {
    for (const ProgramTables& program : programs) {
        for (const std::string& resource : program.unreadable) {
            out.errorLines += program.path + ": error: " + resource +
                              "; korva cannot read it, so it fails the whole run (exit code 2) "
                              "and leaves " +
                              program.path + " untouched\n";
            ++out.errors;
        }
    }
}

} // namespace

CheckFindings CheckDocument(const DataDocument& doc, const std::optional<LanguageChoice>& choice,
                            const std::vector<ProgramTables>& programs, WriteRehearsal writes) {
    CheckFindings out;
    out.errorLines = SyntaxErrorLines(doc);
    out.errors = doc.errors.size();
    if (!choice) {
        return out;
    }
    const EntryGroups groups = GroupEntries(doc, choice->neutral, choice->dests);
    out.texts = groups.size();
    FindShadowed(doc, groups, choice->neutral, out);
    FindFormatProblems(doc, choice->neutral, out);
    if (programs.empty()) {
        out.entryTranslations = CountEntryTranslations(doc, groups, *choice);
    } else {
        const KorvaLoad korva = LoadDictionary(doc, *choice);
        out.korvaStopLine = korva.stopLine;
        FindUnreadable(programs, out);
        FindInterfaceProblems(doc, groups, *choice, programs, out);
        out.programs = CoverPrograms(groups, *choice, programs, korva.dict);
        if (writes == WriteRehearsal::OfTheFiles && korva.stopLine.empty()) {
            FindWriteFailures(programs, korva.dict, *choice, doc.codePage, out);
        }
        out.warningLines += LetterCaseWarnings(doc, groups, choice->neutral,
                                               CollectTexts(programs, doc.codePage), out.warnings);
    }
    return out;
}

bool CheckFindings::Complete() const {
    if (!korvaStopLine.empty() && !programs.empty()) {
        return false; // korva counts nothing when it cannot load the data file
    }
    for (const Coverage::Language& lang : entryTranslations) {
        if (lang.missing > 0) {
            return false;
        }
    }
    return std::all_of(programs.begin(), programs.end(), [](const ProgramCoverage& p) {
        return p.coverage.KorvaExitCode() == 0 && p.writeFailure.empty();
    });
}

} // namespace korva::dat
