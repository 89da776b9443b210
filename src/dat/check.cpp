#include <iomanip>
#include <ostream>

#include "dat/check_findings.h"
#include "dat/po_check.h"
#include "dat/subcommand_driver.h"
#include "dat/subcommands.h"
#include "strtables/read_text_resources.h"

namespace korva::dat {
namespace {

constexpr std::string_view kCommand = "check";

struct CheckRequest {
    std::string dataPath;
    std::optional<LanguageChoice> languages; // given after the data file
    ChoiceOptions options;
    std::vector<std::string> programPaths;
};

struct CheckOutcome {
    std::optional<LanguageChoice> choice;
    CheckFindings findings;
    std::size_t suggestions = 0; // translations carried over by update, to be confirmed
    std::optional<PoAsData> po;  // when check was given a PO file
};

Result<CheckRequest> ParseCheck(CommandArgs args) {
    if (args.positional.empty()) {
        return MakeError("give the data file");
    }
    CheckRequest request;
    request.dataPath = args.positional.front();
    request.programPaths.assign(args.positional.begin() + 1, args.positional.end());
    KORVA_ASSIGN_OR_RETURN(request.languages, TakeLanguages(request.programPaths));
    request.options = args.Choice();
    return request;
}

// The programs as korva reads them; one with resources korva would stop at
// is named with every one of them instead.
Result<std::vector<ProgramTables>> ReadCheckedPrograms(const std::vector<std::string>& paths,
                                                       const StringTableOptions& options) {
    std::vector<ProgramTables> out;
    for (const std::string& path : paths) {
        if (!options.kinds.IsStringsOnly()) {
            const Result<std::vector<UnreadableResource>> unreadable =
                FindUnreadableResources(path, options);
            if (unreadable && !unreadable->empty()) {
                ProgramTables program{.path = path, .blocks = {}, .unreadable = {}};
                for (const UnreadableResource& r : *unreadable) {
                    program.unreadable.push_back(r.name + ": " + r.reason);
                }
                out.push_back(std::move(program));
                continue;
            }
        }
        KORVA_ASSIGN_OR_RETURN(std::vector<ProgramTables> read, ReadPrograms({path}, options));
        out.push_back(std::move(read.front()));
    }
    return out;
}

Computed<CheckOutcome> ComputeCheck(const CheckRequest& request) {
    CheckOutcome out;
    if (IsPoFileName(request.dataPath)) {
        KORVA_ASSIGN_OR_RETURN(PoAsData po, ReadPoAsData(request.dataPath));
        out.po = std::move(po);
    }
    // A PO file's document is read where it is, not copied.
    Result<DataDocument> loaded =
        out.po ? Result<DataDocument>(DataDocument()) : LoadDataDocument(request.dataPath);
    if (!loaded) {
        return loaded.error();
    }
    const DataDocument& doc = out.po ? out.po->doc : *loaded;
    Result<std::optional<LanguageChoice>> choice =
        CommandChoice(request.languages, doc.languages, request.options);
    if (!choice) {
        return UsageRefusal(choice.error().message);
    }
    out.choice = std::move(choice).value();
    if (!out.choice && !request.programPaths.empty()) {
        return UsageRefusal(request.dataPath + " has no languages line: give NeutralLang "
                                               "(DestLang,...) before the programs");
    }
    std::vector<ProgramTables> programs;
    if (out.choice) {
        KORVA_ASSIGN_OR_RETURN(
            programs,
            ReadCheckedPrograms(request.programPaths,
                                {doc.codePage, out.choice->OriginalLangId(), out.choice->kinds}));
    }
    out.findings = CheckDocument(doc, out.choice, programs, WriteRehearsal::OfTheFiles);
    for (const DataEntry& entry : doc.entries) {
        out.suggestions += entry.suggestions.size();
    }
    return out;
}

// Of `texts`, how many have the language's translation and how many not,
// whatever the reason: an entry without it, or no entry korva takes in.
void WriteLanguageRow(const Coverage::Language& lang, std::int64_t texts, std::ostream& out) {
    out << "  " << std::left << std::setw(11) << LangName(lang.lang) << std::right << std::setw(8)
        << lang.present << " translated " << std::setw(8) << texts - lang.present
        << " without translation\n";
}

void WriteCoverage(const ProgramCoverage& program, const LanguageChoice& choice,
                   const std::string& stopLine, std::ostream& out) {
    const Coverage& c = program.coverage;
    out << "Coverage of " << program.path << ", as 'korva " << KorvaArguments(choice) << " "
        << program.path << "' would count it:\n";
    if (!program.stopLine.empty()) {
        out << "  korva would stop with: " << program.stopLine << "; exit code 2\n";
        return;
    }
    out << "  " << c.texts << " texts in " << c.blocks << " blocks";
    if (c.resources > 0) {
        out << " and " << c.resources
            << (c.resources == 1 ? " other resource" : " other resources");
    }
    out << ", " << c.found << " found in the data file, " << c.texts - c.found << " not found";
    if (program.waiting > 0) {
        out << " (" << program.waiting << " of them in entries with no translation yet)";
    }
    out << "\n";
    for (const Coverage::Language& lang : c.languages) {
        WriteLanguageRow(lang, c.texts, out);
    }
    if (!stopLine.empty()) {
        out << "  korva would stop with: " << stopLine << "; exit code 2\n";
    } else {
        out << "  korva would count: Translations found " << c.translationsFound
            << ", Source strings missing " << c.sourceStringsMissing
            << ", Translation strings missing " << c.translationStringsMissing;
        if (program.writeFailure.empty()) {
            out << "; exit code " << c.KorvaExitCode() << "\n";
        } else {
            out << "\n  korva would then stop with: Error writing to file " << program.path << ": "
                << program.writeFailure << "; exit code 2\n";
        }
    }
    if (!program.hint.empty()) {
        out << "  korva would then say: " << program.hint << "\n";
    }
}

int ReportCheck(const CheckRequest& request, CheckOutcome& outcome, Streams io) {
    std::ostream& out = io.out;
    const CheckFindings& found = outcome.findings;
    if (outcome.po) {
        out << WithMsgids(found.errorLines, *outcome.po)
            << WithMsgids(found.warningLines, *outcome.po);
    } else {
        out << found.errorLines << found.warningLines;
    }
    if (!outcome.choice) {
        out << "korva-dat check: " << request.dataPath
            << " has no languages line, so only its syntax was checked; give NeutralLang "
               "(DestLang,...) for the rest\n";
    } else if (found.programs.empty()) {
        out << "Translations in " << request.dataPath << " for " << KorvaArguments(*outcome.choice)
            << ", " << found.texts << " texts:\n";
        for (const Coverage::Language& lang : found.entryTranslations) {
            WriteLanguageRow(lang, lang.present + lang.missing, out);
        }
    } else {
        for (const ProgramCoverage& program : found.programs) {
            WriteCoverage(program, *outcome.choice, found.korvaStopLine, out);
        }
    }
    if (outcome.suggestions > 0) {
        out << "korva-dat check: " << request.dataPath << ": " << outcome.suggestions
            << (outcome.suggestions == 1 ? " translation of a similar earlier text waits"
                                         : " translations of similar earlier texts wait")
            << " to be confirmed (the lines that begin with '" << kFuzzyPrefix
            << "'); korva does not use them\n";
    }
    const std::size_t errors = found.errors;
    const bool complete = found.Complete();
    out << "korva-dat check: " << request.dataPath << ": " << errors
        << (errors == 1 ? " error" : " errors");
    if (found.warnings > 0) {
        out << ", " << found.warnings << (found.warnings == 1 ? " warning" : " warnings");
    }
    out << ", " << (complete ? "complete" : "incomplete") << "\n";
    if (errors > 0) {
        return 2;
    }
    return complete ? 0 : 1;
}

} // namespace

int RunCheck(const std::vector<std::string>& args, Streams io) {
    static constexpr SubcommandSteps<CheckRequest, CheckOutcome> kSteps{
        .name = kCommand,
        .options = {.original = true, .resources = true, .fallback = true},
        .parse = ParseCheck,
        .compute = ComputeCheck,
        .report = ReportCheck,
    };
    return RunSubcommand(args, io, kSteps);
}

} // namespace korva::dat
