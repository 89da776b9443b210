#include <algorithm>
#include <map>
#include <ostream>
#include <set>
#include <vector>

#include "dat/data_document.h"
#include "dat/document_checks.h"
#include "dat/entry_writer.h"
#include "dat/file_io.h"
#include "dat/format_checks.h"
#include "dat/po_file.h"
#include "dat/po_header.h"
#include "dat/po_marks.h"
#include "dat/subcommand_driver.h"
#include "dat/subcommands.h"
#include "dat/text_codec.h"
#include "text/text.h"

namespace korva::dat {
namespace {

constexpr std::string_view kCommand = "import-po";

bool HasComment(const PoMessage& m, std::string_view comment) {
    return std::find(m.extractedComments.begin(), m.extractedComments.end(), comment) !=
           m.extractedComments.end();
}

struct ImportCounts {
    std::size_t imported = 0, unchanged = 0, untranslated = 0, fuzzy = 0, notHeld = 0, plural = 0;
};

// The data file with the new translations: each replaces the language's
// line, suggestion or placeholder in its entry, or goes in before the
// entry's ')'. A suggestion's note of the text it was made for goes with
// the entry's last suggestion.
std::string Apply(const DataDocument& doc, const std::map<std::size_t, std::string>& changes,
                  int dest) {
    std::map<std::size_t, std::string> replaced; // line -> new line
    std::map<std::size_t, std::string> before;   // line -> new line to put before it
    std::set<std::size_t> dropped;
    for (const auto& [e, text] : changes) {
        const DataEntry& entry = doc.entries[e];
        const std::string line =
            text == EmptyTextMarker ? LangName(dest) + ",\"\"" : TextLine(dest, text);
        if (const EntryText* given = entry.TextOf(dest)) {
            replaced[given->line] = line;
        } else if (const EntryText* suggested = entry.SuggestionOf(dest)) {
            replaced[suggested->line] = line;
            if (entry.suggestions.size() == 1 && entry.madeForLine != SIZE_MAX) {
                dropped.insert(entry.madeForLine);
            }
        } else if (const Placeholder* placeholder = entry.PlaceholderOf(dest)) {
            replaced[placeholder->line] = line;
        } else {
            before[entry.end] = line;
        }
    }
    std::string out = doc.bytes.substr(0, doc.headSize);
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        if (const auto it = before.find(i); it != before.end()) {
            AppendLine(out, it->second, doc.lineEnd);
        }
        if (dropped.contains(i)) {
            continue;
        }
        if (const auto it = replaced.find(i); it != replaced.end()) {
            out += it->second;
            out += doc.bytes.substr(doc.lines[i].begin + doc.lines[i].size, doc.lines[i].endSize);
        } else {
            out += doc.LineWithEnd(i);
        }
    }
    return out + doc.bytes.substr(doc.tailBegin);
}

struct ImportRequest {
    std::string dataPath;
    std::string poPath;
    std::string target; // -o, or the data file itself
};

struct ImportOutcome {
    int dest = -1;
    std::optional<std::string> updated; // none when nothing is to be written
    std::string notes;                  // the messages left out, one line each
    ImportCounts counts;
};

Result<ImportRequest> ParseImportPo(CommandArgs args) {
    if (args.positional.size() != 2) {
        return MakeError("give the data file and the PO file");
    }
    return ImportRequest{.dataPath = args.positional[0],
                         .poPath = args.positional[1],
                         .target = args.output.value_or(args.positional[0])};
}

// The work of one import: the data file, the PO file, and what the
// messages have done so far.
struct Import {
    const ImportRequest& request;
    const DataDocument& doc;
    const NeutralTextIndex& index;
    // The entry korva uses -> the entries with its text that korva never uses.
    const std::map<std::size_t, std::vector<std::size_t>>& shadowed;
    int dest;
    ImportOutcome& out;
    std::map<std::size_t, std::string> changes;        // entry -> its new translation
    std::map<std::size_t, std::size_t> messageOfEntry; // entry -> PO line
    std::size_t errors = 0;

    void Note(const PoMessage& m, const std::string& what) {
        out.notes += "korva-dat import-po: " + request.poPath + ":" + std::to_string(m.line) +
                     ": " + what + "\n";
    }
    void Take(const PoMessage& m);
    // A line saying so when korva never uses other entries with the text.
    void NoteShadowed(const PoMessage& m, std::size_t entry);
    // The translation as the data file is to hold it, or nothing when the
    // message leaves the entry as it is.
    std::optional<std::string> Wanted(const PoMessage& m);
};

std::optional<std::string> Import::Wanted(const PoMessage& m) {
    if (m.Fuzzy()) {
        ++out.counts.fuzzy; // a translation to be reviewed is not used, as msgfmt does
        return std::nullopt;
    }
    const std::string& msgstr = m.msgstr.front();
    std::string wanted;
    if (msgstr.empty()) {
        if (!HasComment(m, kEmptyTranslationComment)) {
            ++out.counts.untranslated; // never takes a translation away
            return std::nullopt;
        }
        wanted = EmptyTextMarker;
    } else if (doc.codePage == CodePage::Utf8) {
        wanted = msgstr;
    } else if (!Utf8ToCp1252(msgstr, wanted)) {
        Note(m, "the translation holds characters that Windows-1252 cannot; convert " +
                    request.dataPath + " to UTF-8");
        ++errors;
        return std::nullopt;
    }
    if (const std::string tooLong = TooLongForKorva(wanted, doc.codePage); !tooLong.empty()) {
        Note(m, QuoteDataText(m.msgid) + ": " + tooLong);
        ++errors;
        return std::nullopt;
    }
    return wanted;
}

void Import::NoteShadowed(const PoMessage& m, std::size_t entry) {
    const auto it = shadowed.find(entry);
    if (it == shadowed.end()) {
        return;
    }
    std::string others;
    for (const std::size_t other : it->second) {
        others += (others.empty() ? "" : ", ") + doc.Where(doc.entries[other].start);
    }
    const bool one = it->second.size() == 1;
    Note(m, "into the entry at " + doc.Where(doc.entries[entry].start) + ", which korva uses; " +
                (one ? "the entry at " : "the entries at ") + others + (one ? " has" : " have") +
                " the same text and korva never uses " + (one ? "it" : "them") +
                " (see korva-dat check)");
}

void Import::Take(const PoMessage& m) {
    if (m.msgidPlural) {
        Note(m, "a plural message, left out: korva's texts have no plural forms");
        ++out.counts.plural;
        return;
    }
    // A text that 1252 cannot spell is surely not in a 1252 data file.
    std::string id = m.msgid;
    const bool spelt = doc.codePage == CodePage::Utf8 || Utf8ToCp1252(m.msgid, id);
    const std::optional<std::size_t> entry = spelt ? index.Find(id) : std::nullopt;
    if (!entry) {
        Note(m, QuoteDataText(m.msgid) + " is not in " + request.dataPath);
        ++out.counts.notHeld;
        return;
    }
    if (const auto [it, fresh] = messageOfEntry.emplace(*entry, m.line); !fresh) {
        Note(m,
             "the message at line " + std::to_string(it->second) + " has the same text for korva");
        ++errors;
        return;
    }
    std::optional<std::string> wanted = Wanted(m);
    if (!wanted) {
        return;
    }
    const EntryText* given = doc.entries[*entry].TextOf(dest);
    if (given != nullptr && given->text == *wanted) {
        ++out.counts.unchanged;
        return;
    }
    changes[*entry] = std::move(*wanted);
    ++out.counts.imported;
    NoteShadowed(m, *entry);
}

// Of each group of entries with one text, the entries korva never uses, by
// the one it uses.
std::map<std::size_t, std::vector<std::size_t>> ShadowedEntries(const EntryGroups& groups) {
    std::map<std::size_t, std::vector<std::size_t>> out;
    for (const EntryGroup& group : groups) {
        for (const std::size_t member : group.members) {
            if (member != group.winner) {
                out[group.winner].push_back(member);
            }
        }
    }
    return out;
}

Computed<ImportOutcome> ComputeImportPo(const ImportRequest& request) {
    const std::string& poPath = request.poPath;
    KORVA_ASSIGN_OR_RETURN(const DataDocument doc, LoadDataDocument(request.dataPath));
    if (!doc.errors.empty()) {
        return NothingWritten(request.dataPath + " has syntax errors", SyntaxErrorLines(doc));
    }
    KORVA_ASSIGN_OR_RETURN(const std::string poBytes, ReadFileBytes(poPath));
    const Result<std::vector<PoMessage>> messages = ParsePo(poBytes, poPath);
    if (!messages) {
        return NothingWritten(messages.error().message);
    }
    const Result<PoLanguages> langs = PoFileLanguages(*messages, doc, poPath);
    if (!langs) {
        return NothingWritten(langs.error().message);
    }
    // The entry korva uses, as check names it, takes the translation.
    const EntryGroups groups =
        GroupEntries(doc, langs->neutral, WinnerDests(doc, langs->neutral, langs->dest));
    const NeutralTextIndex index(groups);
    const std::map<std::size_t, std::vector<std::size_t>> shadowed = ShadowedEntries(groups);
    ImportOutcome out;
    out.dest = langs->dest;
    Import import{.request = request,
                  .doc = doc,
                  .index = index,
                  .shadowed = shadowed,
                  .dest = langs->dest,
                  .out = out,
                  .changes = {},
                  .messageOfEntry = {}};
    for (const PoMessage& m : *messages) {
        if (!m.IsHeader()) {
            import.Take(m);
        }
    }
    if (import.errors > 0) {
        return NothingWritten(std::to_string(import.errors) +
                                  (import.errors == 1 ? " error" : " errors") + " in " + poPath,
                              std::move(out.notes));
    }
    if (!import.changes.empty() || request.target != request.dataPath) {
        out.updated = Apply(doc, import.changes, langs->dest);
    }
    return out;
}

int ReportImportPo(const ImportRequest& request, ImportOutcome& outcome, Streams io) {
    io.err << outcome.notes;
    const std::string& target = request.target;
    if (outcome.updated) {
        if (const Result<void> written = WriteProduct(target, *outcome.updated, io.out); !written) {
            return Fail(io, kCommand, "nothing written: " + written.error().message);
        }
    }
    const ImportCounts& counts = outcome.counts;
    std::ostream& summary = ProductOnStdout(target) ? io.err : io.out;
    summary << "korva-dat import-po: " << LangName(outcome.dest) << " from " << request.poPath
            << " into " << (ProductOnStdout(target) ? "standard output" : target) << ": "
            << counts.imported << " imported, " << counts.unchanged << " unchanged, "
            << counts.untranslated << " untranslated, " << counts.fuzzy << " fuzzy left out, "
            << counts.notHeld << " not in the data file";
    if (counts.plural > 0) {
        summary << ", " << counts.plural << " plural left out";
    }
    summary << "\n";
    return counts.notHeld > 0 || counts.plural > 0 ? 1 : 0;
}

} // namespace

int RunImportPo(const std::vector<std::string>& args, Streams io) {
    static constexpr SubcommandSteps<ImportRequest, ImportOutcome> kSteps{
        .name = kCommand,
        .options = {.output = true},
        .parse = ParseImportPo,
        .compute = ComputeImportPo,
        .report = ReportImportPo,
        .rewrites = [](const ImportRequest& request) -> const std::string& {
            return request.dataPath;
        },
    };
    return RunSubcommand(args, io, kSteps);
}

} // namespace korva::dat
