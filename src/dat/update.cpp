#include <ostream>

#include "dat/carry_over.h"
#include "dat/case_checks.h"
#include "dat/document_checks.h"
#include "dat/entry_writer.h"
#include "dat/folded_text_table.h"
#include "dat/program_texts.h"
#include "dat/subcommand_driver.h"
#include "dat/subcommands.h"

namespace korva::dat {
namespace {

constexpr std::string_view kCommand = "update";
constexpr std::string_view kUnusedLine =
    ";@ unused: no program given to the last korva-dat update holds this text";

// Which program text each entry's neutral text is, and which program texts
// no entry has.
struct Matching {
    std::vector<const DistinctText*> textOfEntry; // null: unused
    std::vector<const DistinctText*> newTexts;
    // For each new text, the unused entry whose translations it is offered,
    // or SIZE_MAX.
    std::vector<std::size_t> carriedFrom;
};

Matching Match(const DataDocument& doc, int neutral, const ProgramTexts& texts) {
    Matching m;
    m.textOfEntry.assign(doc.entries.size(), nullptr);
    // Program texts are distinct, so each entry's text matches at most one;
    // the few program texts are looked up by each of the many entries.
    FoldedTextTable programText(doc.codePage, texts.texts.size());
    for (std::size_t i = 0; i < texts.texts.size(); ++i) {
        (void)programText.Insert(texts.texts[i].text, i);
    }
    std::vector<bool> matched(texts.texts.size(), false);
    for (std::size_t e = 0; e < doc.entries.size(); ++e) {
        const EntryText* t = doc.entries[e].TextOf(neutral);
        if (t == nullptr || t->text.empty()) {
            continue;
        }
        if (const auto i = programText.Find(t->text)) {
            m.textOfEntry[e] = &texts.texts[*i];
            matched[*i] = true;
        }
    }
    for (std::size_t i = 0; i < texts.texts.size(); ++i) {
        if (!matched[i]) {
            m.newTexts.push_back(&texts.texts[i]);
        }
    }
    return m;
}

// The comments korva-dat keeps before an entry, as they are to be.
std::string OwnLines(const DistinctText* text, std::string_view lineEnd) {
    std::string out;
    if (text == nullptr) {
        AppendLine(out, kUnusedLine, lineEnd);
        return out;
    }
    for (const TextLocation& use : text->uses) {
        AppendLine(out, LocationLine(use), lineEnd);
    }
    return out;
}

struct UpdateCounts {
    std::size_t kept = 0;
    std::size_t unused = 0;
    std::size_t newlyUnused = 0;
    std::size_t added = 0;
    std::size_t suggested = 0; // added entries that carry earlier translations as suggestions
};

// The languages line as it is to be: --resources and --fallback given to
// update are recorded for the commands after it; empty to keep the line as
// it is.
Result<std::string> NewLanguagesLine(const DataDocument& doc, const ChoiceOptions& given) {
    if (!doc.languages) {
        return std::string();
    }
    LanguageChoice recorded = *doc.languages;
    recorded.kinds = given.resources.value_or(recorded.kinds);
    recorded.fallback = given.fallback.value_or(recorded.fallback);
    if (recorded.kinds == doc.languages->kinds && recorded.fallback == doc.languages->fallback) {
        return std::string();
    }
    KORVA_RETURN_IF_ERROR(CheckFallback(recorded));
    return LanguagesLine(recorded);
}

std::string Rewrite(const DataDocument& doc, const Matching& m, const LanguageChoice& choice,
                    const std::string& languagesLine, UpdateCounts& counts) {
    std::string out = doc.bytes.substr(0, doc.headSize);
    out.reserve(doc.bytes.size() + doc.bytes.size() / 4);
    std::vector<char> own(doc.lines.size(), 0);
    for (const DataEntry& entry : doc.entries) {
        for (const std::size_t line : entry.ownComments) {
            own[line] = 1;
        }
    }
    std::size_t next = 0; // the entry whose region the lines are in
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        while (next < doc.entries.size() && doc.entries[next].start < i) {
            ++next;
        }
        if (next < doc.entries.size()) {
            const DataEntry& entry = doc.entries[next];
            const bool firstOwn = !entry.ownComments.empty() && entry.ownComments.front() == i;
            const bool startWithoutOwn = entry.ownComments.empty() && entry.start == i;
            if (firstOwn || startWithoutOwn) {
                out += OwnLines(m.textOfEntry[next], doc.lineEnd);
            }
        }
        if (i == doc.languagesLine && !languagesLine.empty()) {
            AppendLine(out, languagesLine,
                       doc.lines[i].endSize == 0 ? std::string_view() : doc.lineEnd);
        } else if (own[i] == 0) {
            out += doc.LineWithEnd(i);
        }
    }
    for (std::size_t e = 0; e < doc.entries.size(); ++e) {
        ++counts.kept;
        if (m.textOfEntry[e] == nullptr) {
            ++counts.unused;
            counts.newlyUnused += doc.entries[e].markedUnused ? 0U : 1U;
        }
    }
    if (!m.newTexts.empty()) {
        if (!doc.lines.empty() && doc.lines.back().endSize == 0) {
            out += doc.lineEnd; // the last line had no end of its own
        }
        if (!doc.lines.empty() && !TrimLine(doc.LineText(doc.lines.size() - 1)).empty()) {
            out += doc.lineEnd;
        }
        for (std::size_t i = 0; i < m.newTexts.size(); ++i) {
            const std::size_t from = m.carriedFrom[i];
            AppendNewEntry(out, *m.newTexts[i], choice, doc.lineEnd,
                           from == SIZE_MAX ? nullptr : &doc.entries[from]);
            ++counts.added;
            counts.suggested += from == SIZE_MAX ? 0U : 1U;
        }
    }
    // What follows a Ctrl-Z stays behind it, where korva never reads.
    out += std::string_view(doc.bytes).substr(doc.tailBegin);
    return out;
}

struct UpdateRequest {
    std::string dataPath;
    std::optional<LanguageChoice> languages; // given after the data file
    ChoiceOptions options;
    std::vector<std::string> programPaths;
    std::string target; // -o, or the data file itself
};

struct UpdateOutcome {
    std::string updated;
    bool unchanged = false;    // written back to itself as it was
    std::string languagesLine; // a new one, recording --resources or --fallback; empty: as it was
    UpdateCounts counts;
    std::string warnings; // "file:line: warning: ..." lines
};

Result<UpdateRequest> ParseUpdate(CommandArgs args) {
    if (args.positional.size() < 2) {
        return MakeError("give the data file and at least one program");
    }
    UpdateRequest request;
    request.dataPath = args.positional.front();
    request.programPaths.assign(args.positional.begin() + 1, args.positional.end());
    KORVA_ASSIGN_OR_RETURN(request.languages, TakeLanguages(request.programPaths));
    if (request.programPaths.empty()) {
        return MakeError("give at least one program");
    }
    KORVA_RETURN_IF_ERROR(CheckProgramNames(request.programPaths));
    request.options = args.Choice();
    request.target = args.output.value_or(request.dataPath);
    return request;
}

Computed<UpdateOutcome> ComputeUpdate(const UpdateRequest& request) {
    const std::string& dataPath = request.dataPath;
    KORVA_ASSIGN_OR_RETURN(const DataDocument doc, LoadDataDocument(dataPath));
    if (!doc.errors.empty()) {
        return NothingWritten(dataPath + " has syntax errors", SyntaxErrorLines(doc));
    }
    Result<std::optional<LanguageChoice>> chosen =
        CommandChoice(request.languages, doc.languages, request.options);
    if (!chosen) {
        return UsageRefusal(chosen.error().message);
    }
    const std::optional<LanguageChoice>& choice = *chosen;
    if (!choice) {
        return UsageRefusal(dataPath + " has no languages line: give NeutralLang (DestLang,...) "
                                       "after its name");
    }
    Result<std::string> languagesLine = NewLanguagesLine(doc, request.options);
    if (!languagesLine) {
        return UsageRefusal(languagesLine.error().message);
    }
    KORVA_ASSIGN_OR_RETURN(const std::vector<ProgramTables> programs,
                           ReadPrograms(request.programPaths,
                                        {doc.codePage, choice->OriginalLangId(), choice->kinds}));
    const ProgramTexts texts = CollectTexts(programs, doc.codePage);
    if (!texts.lost.empty()) {
        return NothingWritten(dataPath + " is a Windows-1252 file; convert it to UTF-8 (see "
                                         "korva-dat --help)",
                              LostTextLines(texts, kCommand));
    }
    // Every entry would be marked unused: the programs were translated
    // already, or their texts are in another language than -O names.
    if (texts.texts.empty()) {
        Refusal refusal = NothingToTranslate(programs, *choice);
        refusal.message = "nothing written: " + refusal.message;
        return refusal;
    }
    UpdateOutcome out;
    std::size_t warned = 0;
    out.warnings = LetterCaseWarnings(doc, GroupEntries(doc, choice->neutral, choice->dests),
                                      choice->neutral, texts, warned);
    out.languagesLine = std::move(languagesLine).value();
    Matching matching = Match(doc, choice->neutral, texts);
    std::vector<std::size_t> unused;
    for (std::size_t e = 0; e < doc.entries.size(); ++e) {
        if (matching.textOfEntry[e] == nullptr) {
            unused.push_back(e);
        }
    }
    matching.carriedFrom =
        FindCarryOvers(doc, choice->neutral, choice->dests, matching.newTexts, unused);
    out.updated = Rewrite(doc, matching, *choice, out.languagesLine, out.counts);
    out.unchanged = request.target == dataPath && out.updated == doc.bytes;
    return out;
}

int ReportUpdate(const UpdateRequest& request, UpdateOutcome& outcome, Streams io) {
    const std::string& target = request.target;
    if (!outcome.unchanged) {
        if (const Result<void> written = WriteProduct(target, outcome.updated, io.out); !written) {
            return Fail(io, kCommand, "nothing written: " + written.error().message);
        }
    }
    io.err << outcome.warnings;
    const UpdateCounts& counts = outcome.counts;
    std::ostream& summary = ProductOnStdout(target) ? io.err : io.out;
    summary << "korva-dat update: " << (ProductOnStdout(target) ? "standard output" : target)
            << (outcome.unchanged ? " unchanged" : "") << ": kept " << counts.kept << " entries ("
            << counts.unused << " marked unused, " << counts.newlyUnused
            << " of them newly), added " << counts.added;
    if (counts.suggested > 0) {
        summary << " (" << counts.suggested
                << " with translations of a similar earlier text as suggestions to confirm)";
    }
    summary << "\n";
    if (!outcome.languagesLine.empty()) {
        summary << "korva-dat update: the languages line now reads "
                << outcome.languagesLine.substr(kLanguagesPrefix.size() + 1) << "\n";
    }
    return 0;
}

} // namespace

int RunUpdate(const std::vector<std::string>& args, Streams io) {
    static constexpr SubcommandSteps<UpdateRequest, UpdateOutcome> kSteps{
        .name = kCommand,
        .options = {.output = true, .original = true, .resources = true, .fallback = true},
        .parse = ParseUpdate,
        .compute = ComputeUpdate,
        .report = ReportUpdate,
        .rewrites = [](const UpdateRequest& request) -> const std::string& {
            return request.dataPath;
        },
    };
    return RunSubcommand(args, io, kSteps);
}

} // namespace korva::dat
