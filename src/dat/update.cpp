#include <ostream>

#include "dat/document_checks.h"
#include "dat/entry_writer.h"
#include "dat/program_texts.h"
#include "dat/subcommands.h"
#include "datafile/text_sort.h"

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
};

Matching Match(const DataDocument& doc, int neutral, const ProgramTexts& texts) {
    Matching m;
    m.textOfEntry.assign(doc.entries.size(), nullptr);
    std::vector<std::string_view> all;
    for (const DistinctText& t : texts.texts) {
        all.push_back(t.text);
    }
    const std::size_t programCount = all.size();
    std::vector<std::size_t> entryOf;
    for (std::size_t e = 0; e < doc.entries.size(); ++e) {
        const EntryText* t = doc.entries[e].TextOf(neutral);
        if (t != nullptr && !t->text.empty()) {
            all.push_back(t->text);
            entryOf.push_back(e);
        }
    }
    // Program texts are distinct, so a group holds at most one, and it sorts
    // first among the equal texts by its lower index.
    std::vector<bool> matched(programCount, false);
    const DistinctText* group = nullptr;
    for (const SortedText& s : SortTexts(all, doc.codePage)) {
        if (!s.sameAsPrevious) {
            group = nullptr;
        }
        if (s.index < programCount) {
            group = &texts.texts[s.index];
        } else if (group != nullptr) {
            m.textOfEntry[entryOf[s.index - programCount]] = group;
            matched[static_cast<std::size_t>(group - texts.texts.data())] = true;
        }
    }
    for (std::size_t i = 0; i < programCount; ++i) {
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
};

std::string Rewrite(const DataDocument& doc, const Matching& m, const LanguageChoice& choice,
                    UpdateCounts& counts) {
    std::string out = doc.bytes.substr(0, doc.headSize);
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
        if (own[i] == 0) {
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
        for (const DistinctText* text : m.newTexts) {
            AppendNewEntry(out, *text, choice, doc.lineEnd);
            ++counts.added;
        }
    }
    // What follows a Ctrl-Z stays behind it, where korva never reads.
    out += doc.bytes.substr(doc.tailBegin);
    return out;
}

} // namespace

int RunUpdate(const std::vector<std::string>& rawArgs, Streams io) {
    Result<CommandArgs> started = ParseCommandArgs(rawArgs, {true, true, false});
    if (!started) {
        return UsageError(io, kCommand, started.error().message);
    }
    if (started->help) {
        return AnswerHelp(io, kCommand);
    }
    CommandArgs& args = *started;
    if (args.positional.size() < 2) {
        return UsageError(io, kCommand, "give the data file and at least one program");
    }
    const std::string dataPath = args.positional.front();
    std::vector<std::string> rest(args.positional.begin() + 1, args.positional.end());
    const Result<std::optional<LanguageChoice>> given = TakeLanguages(rest);
    if (!given) {
        return UsageError(io, kCommand, given.error().message);
    }
    if (rest.empty()) {
        return UsageError(io, kCommand, "give at least one program");
    }
    const Result<DataDocument> doc = LoadDataDocument(dataPath);
    if (!doc) {
        return Fail(io, kCommand, doc.error().message);
    }
    if (ReportSyntaxErrors(*doc, io.err) > 0) {
        return Fail(io, kCommand, "nothing written: " + dataPath + " has syntax errors");
    }
    std::optional<LanguageChoice> choice = given->has_value() ? *given : doc->languages;
    if (!choice) {
        return UsageError(io, kCommand,
                          dataPath + " has no languages line: give NeutralLang (DestLang,...) "
                                     "after its name");
    }
    if (args.original) {
        choice->original = args.original;
    }
    const Result<std::vector<ProgramTables>> programs =
        ReadPrograms(rest, {doc->codePage, choice->OriginalLangId()});
    if (!programs) {
        return Fail(io, kCommand, programs.error().message);
    }
    const ProgramTexts texts = CollectTexts(*programs, doc->codePage);
    if (!texts.lost.empty()) {
        ReportLostTexts(texts, kCommand, io.err);
        return Fail(io, kCommand,
                    "nothing written: " + dataPath +
                        " is a Windows-1252 file; convert it to UTF-8 (see korva-dat --help)");
    }
    const Matching matching = Match(*doc, choice->neutral, texts);
    UpdateCounts counts;
    const std::string updated = Rewrite(*doc, matching, *choice, counts);
    const std::string target = args.output.value_or(dataPath);
    const bool unchanged = target == dataPath && updated == doc->bytes;
    if (!unchanged) {
        if (const Result<void> written = WriteProduct(target, updated, io.out); !written) {
            return Fail(io, kCommand, "nothing written: " + written.error().message);
        }
    }
    std::ostream& summary = ProductOnStdout(target) ? io.err : io.out;
    summary << "korva-dat update: " << (ProductOnStdout(target) ? "standard output" : target)
            << (unchanged ? " unchanged" : "") << ": kept " << counts.kept << " entries ("
            << counts.unused << " marked unused, " << counts.newlyUnused
            << " of them newly), added " << counts.added << "\n";
    return 0;
}

} // namespace korva::dat
