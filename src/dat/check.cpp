#include <iomanip>
#include <ostream>

#include "common/console.h"
#include "dat/coverage.h"
#include "dat/document_checks.h"
#include "dat/format_checks.h"
#include "dat/program_texts.h"
#include "dat/subcommands.h"
#include "dat/text_codec.h"
#include "datafile/data_loader.h"
#include "platform/platform.h"
#include "text/text.h"

namespace korva::dat {
namespace {

constexpr std::string_view kCommand = "check";

// Entries that korva never uses because another entry has the same neutral
// text; returns how many.
std::size_t ReportShadowed(const DataDocument& doc, const std::vector<EntryGroup>& groups,
                           int neutral, std::ostream& out) {
    std::size_t count = 0;
    for (const EntryGroup& group : groups) {
        const DataEntry& winner = doc.entries[group.winner];
        for (const std::size_t member : group.members) {
            if (member == group.winner) {
                continue;
            }
            const DataEntry& entry = doc.entries[member];
            out << doc.Where(entry.start) << ": error: this entry's " << KeyName(neutral)
                << " text " << Shown(entry.TextOf(neutral)->text, doc.codePage)
                << " is the same for korva as that of the entry at line " << winner.start + 1
                << ", which korva uses; this one is never used\n";
            ++count;
        }
    }
    return count;
}

// Translations that would break the program or its look; returns how many.
std::size_t ReportFormats(const DataDocument& doc, int neutral, std::ostream& out) {
    std::size_t count = 0;
    for (const DataEntry& entry : doc.entries) {
        const EntryText* source = entry.TextOf(neutral);
        if (source == nullptr || source->text.empty() || source->text == EmptyTextMarker) {
            continue;
        }
        for (const EntryText& t : entry.texts) {
            if (t.lang == neutral || t.text.empty() || t.text == EmptyTextMarker) {
                continue; // a translation left empty on purpose shows nothing to break
            }
            for (const std::string& problem : CompareFormats(source->text, t.text)) {
                out << doc.Where(t.line) << ": error: " << KeyName(t.lang) << ": " << problem
                    << "\n";
                ++count;
            }
        }
    }
    return count;
}

// Without programs: how many of the texts korva would use have each
// translation; true when all do.
bool ReportEntryCompleteness(const DataDocument& doc, const std::vector<EntryGroup>& groups,
                             const LanguageChoice& choice, std::ostream& out) {
    out << "Translations in " << doc.name << " for " << DescribeChoice(choice) << ", "
        << groups.size() << " texts:\n";
    bool complete = true;
    for (const int lang : choice.TranslatedDests()) {
        std::size_t present = 0;
        for (const EntryGroup& group : groups) {
            const EntryText* t = doc.entries[group.winner].TextOf(lang);
            present += t != nullptr && !t->text.empty() ? 1U : 0U;
        }
        out << "  " << std::left << std::setw(11) << KeyName(lang) << std::right << std::setw(8)
            << present << " present " << std::setw(8) << groups.size() - present << " missing\n";
        complete = complete && present == groups.size();
    }
    return complete;
}

// Korva's dictionary for the choice, loaded by korva's own loader, and the
// line korva would stop with, empty when it would go on.
struct KorvaLoad {
    TransDictionary dict;
    std::string stopLine;
};

KorvaLoad LoadDictionary(const DataDocument& doc, const LanguageChoice& choice) {
    std::size_t served = 0;
    const ReadBlock read = [&](char* buffer, std::size_t size) -> long long {
        const std::size_t n = std::min(size, doc.bytes.size() - served);
        doc.bytes.copy(buffer, n, served);
        served += n;
        return static_cast<long long>(n);
    };
    const std::string name = PathString(FileSystemPath(doc.name).filename());
    DataLoadOptions options;
    options.codePage = doc.codePage;
    options.languages = SelectionOf(choice);
    Result<DataLoadOutcome> loaded = LoadDataFrom(read, name, options);
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

bool ReportCoverage(const Coverage& c, const ProgramTables& program, const LanguageChoice& choice,
                    const std::string& loadMessage, const NeutralTextIndex& allEntries,
                    std::ostream& out) {
    out << "Coverage of " << program.path << ", as 'korva " << DescribeChoice(choice) << " "
        << program.path << "' would count it:\n";
    out << "  " << c.texts << " texts in " << c.blocks << " blocks, " << c.found
        << " found in the data file, " << c.texts - c.found << " not found";
    // Korva takes in no entry that has no translation yet, so their texts
    // count as not found; told apart, they are work to do, not to add.
    std::size_t waiting = 0;
    for (const std::string_view text : c.notFound) {
        waiting += allEntries.Find(text) ? 1U : 0U;
    }
    if (waiting > 0) {
        out << " (" << waiting << " of them in entries with no translation yet)";
    }
    out << "\n";
    for (const Coverage::Language& lang : c.languages) {
        out << "  " << std::left << std::setw(11) << KeyName(lang.lang) << std::right
            << std::setw(8) << lang.present << " present " << std::setw(8) << lang.missing
            << " missing\n";
    }
    // Korva counts nothing when it cannot load the data file.
    if (!loadMessage.empty()) {
        out << "  korva would stop with: " << loadMessage << "; exit code 2\n";
        return false;
    }
    out << "  korva would count: Translations found " << c.translationsFound
        << ", Source strings missing " << c.sourceStringsMissing << ", Translation strings missing "
        << c.translationStringsMissing << "; exit code " << c.KorvaExitCode() << "\n";
    return c.KorvaExitCode() == 0;
}

} // namespace

int RunCheck(const std::vector<std::string>& rawArgs, Streams io) {
    Result<CommandArgs> started = ParseCommandArgs(rawArgs, {false, true, false});
    if (!started) {
        return UsageError(io, kCommand, started.error().message);
    }
    if (started->help) {
        return AnswerHelp(io, kCommand);
    }
    const CommandArgs& args = *started;
    if (args.positional.empty()) {
        return UsageError(io, kCommand, "give the data file");
    }
    const std::string dataPath = args.positional.front();
    std::vector<std::string> programPaths(args.positional.begin() + 1, args.positional.end());
    const Result<std::optional<LanguageChoice>> given = TakeLanguages(programPaths);
    if (!given) {
        return UsageError(io, kCommand, given.error().message);
    }
    const Result<DataDocument> doc = LoadDataDocument(dataPath);
    if (!doc) {
        return Fail(io, kCommand, doc.error().message);
    }
    std::optional<LanguageChoice> choice = given->has_value() ? *given : doc->languages;
    if (choice && args.original) {
        choice->original = args.original;
    }
    if (!choice && !programPaths.empty()) {
        return UsageError(io, kCommand,
                          dataPath + " has no languages line: give NeutralLang (DestLang,...) "
                                     "before the programs");
    }
    std::vector<ProgramTables> programs;
    if (choice) {
        Result<std::vector<ProgramTables>> read =
            ReadPrograms(programPaths, {doc->codePage, choice->OriginalLangId()});
        if (!read) {
            return Fail(io, kCommand, read.error().message);
        }
        programs = std::move(read.value());
    }

    std::ostream& out = io.out;
    std::size_t errors = ReportSyntaxErrors(*doc, out);
    bool complete = true;
    if (!choice) {
        out << "korva-dat check: " << dataPath
            << " has no languages line, so only its syntax was checked; give NeutralLang "
               "(DestLang,...) for the rest\n";
    } else {
        const std::vector<EntryGroup> groups = GroupEntries(*doc, choice->neutral, choice->dests);
        errors += ReportShadowed(*doc, groups, choice->neutral, out);
        errors += ReportFormats(*doc, choice->neutral, out);
        if (programs.empty()) {
            complete = ReportEntryCompleteness(*doc, groups, *choice, out);
        } else {
            const KorvaLoad korva = LoadDictionary(*doc, *choice);
            const NeutralTextIndex allEntries(*doc, groups, choice->neutral);
            for (const ProgramTables& program : programs) {
                const Coverage c = CountCoverage(program, korva.dict, *choice);
                complete = ReportCoverage(c, program, *choice, korva.stopLine, allEntries, out) &&
                           complete;
            }
        }
    }
    out << "korva-dat check: " << dataPath << ": " << errors << (errors == 1 ? " error" : " errors")
        << ", " << (complete ? "complete" : "incomplete") << "\n";
    if (errors > 0) {
        return 2;
    }
    return complete ? 0 : 1;
}

} // namespace korva::dat
