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

// Entry -> its new translation, in the order the messages came.
using ImportChanges = std::vector<std::pair<std::size_t, std::string>>;

struct ImportCounts {
    std::size_t imported = 0, unchanged = 0, untranslated = 0, fuzzy = 0, notHeld = 0, plural = 0;
};

// A line of the data file that an import changes.
struct LineChange {
    enum class What { Replace, PutBefore, Drop };
    std::size_t line = 0;
    What what = What::Replace;
    const std::string* text = nullptr; // the translation, but for Drop
};

// What the translations do to the data file's lines, in line order: each
// replaces the language's line, suggestion or placeholder in its entry, or
// goes in before the entry's ')'. A suggestion's note of the text it was
// made for goes with the entry's last suggestion. No line is changed twice.
std::vector<LineChange> LineChanges(const DataDocument& doc, const ImportChanges& changes,
                                    int dest) {
    using What = LineChange::What;
    std::vector<LineChange> out;
    out.reserve(changes.size());
    for (const auto& [e, text] : changes) {
        const DataEntry& entry = doc.entries[e];
        if (const EntryText* given = entry.TextOf(dest)) {
            out.push_back({given->line, What::Replace, &text});
        } else if (const EntryText* suggested = entry.SuggestionOf(dest)) {
            out.push_back({suggested->line, What::Replace, &text});
            if (entry.suggestions.size() == 1 && entry.madeForLine != SIZE_MAX) {
                out.push_back({entry.madeForLine, What::Drop, nullptr});
            }
        } else if (const Placeholder* placeholder = entry.PlaceholderOf(dest)) {
            out.push_back({placeholder->line, What::Replace, &text});
        } else {
            out.push_back({entry.end, What::PutBefore, &text});
        }
    }
    std::sort(out.begin(), out.end(),
              [](const LineChange& a, const LineChange& b) { return a.line < b.line; });
    return out;
}

// The data file with the new translations, written in one pass.
std::string Apply(const DataDocument& doc, const ImportChanges& changes, int dest) {
    const auto textLine = [dest](const std::string& text) {
        return text == EmptyTextMarker ? LangName(dest) + ",\"\"" : TextLine(dest, text);
    };
    const std::vector<LineChange> lineChanges = LineChanges(doc, changes, dest);
    const std::string_view bytes(doc.bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    out += bytes.substr(0, doc.headSize);
    auto next = lineChanges.begin();
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        if (next == lineChanges.end() || next->line != i) {
            out += doc.LineWithEnd(i);
            continue;
        }
        const LineChange& change = *next++;
        switch (change.what) {
        case LineChange::What::PutBefore:
            AppendLine(out, textLine(*change.text), doc.lineEnd);
            out += doc.LineWithEnd(i);
            break;
        case LineChange::What::Replace:
            out += textLine(*change.text);
            out += bytes.substr(doc.lines[i].begin + doc.lines[i].size, doc.lines[i].endSize);
            break;
        case LineChange::What::Drop:
            break;
        }
    }
    out += bytes.substr(doc.tailBegin);
    return out;
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
    ImportChanges changes;
    std::vector<std::size_t> messageOfEntry; // entry -> PO line of its message, or 0
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
    std::size_t& taken = messageOfEntry[*entry];
    if (taken != 0) {
        Note(m, "the message at line " + std::to_string(taken) + " has the same text for korva");
        ++errors;
        return;
    }
    taken = m.line;
    std::optional<std::string> wanted = Wanted(m);
    if (!wanted) {
        return;
    }
    const EntryText* given = doc.entries[*entry].TextOf(dest);
    if (given != nullptr && given->text == *wanted) {
        ++out.counts.unchanged;
        return;
    }
    changes.emplace_back(*entry, std::move(*wanted));
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

// An import once the PO file's header has named the languages: the entry
// korva uses, as check names it, takes the translation.
struct StartedImport {
    StartedImport(const ImportRequest& request, const DataDocument& doc, const PoLanguages& langs,
                  ImportOutcome& out)
        : groups(GroupEntries(doc, langs.neutral, WinnerDests(doc, langs.neutral, langs.dest))),
          index(groups),
          shadowed(ShadowedEntries(groups)), import{.request = request,
                                                    .doc = doc,
                                                    .index = index,
                                                    .shadowed = shadowed,
                                                    .dest = langs.dest,
                                                    .out = out,
                                                    .changes = {},
                                                    .messageOfEntry = std::vector<std::size_t>(
                                                        doc.entries.size())} {}

    const EntryGroups groups;
    const NeutralTextIndex index;
    const std::map<std::size_t, std::vector<std::size_t>> shadowed;
    Import import;
};

// The PO file's messages, each taken as it is read: a million of them are
// never held at once. Those before the header wait for it.
struct PoReading {
    const ImportRequest& request;
    const DataDocument& doc;
    ImportOutcome& out;
    std::vector<PoMessage> early;
    std::optional<Result<PoLanguages>> langs;
    std::optional<StartedImport> started;

    void Take(PoMessage&& m) {
        if (!langs) {
            if (!m.IsHeader()) {
                early.push_back(std::move(m));
                return;
            }
            langs = PoFileLanguages(std::vector<PoMessage>{m}, doc, request.poPath);
            if (!*langs) {
                return;
            }
            started.emplace(request, doc, langs->value(), out);
            for (const PoMessage& before : early) {
                started->import.Take(before);
            }
            early.clear();
        }
        if (started && !m.IsHeader()) {
            started->import.Take(m);
        }
    }
};

Computed<ImportOutcome> ComputeImportPo(const ImportRequest& request) {
    const std::string& poPath = request.poPath;
    KORVA_ASSIGN_OR_RETURN(const DataDocument doc, LoadDataDocument(request.dataPath));
    if (!doc.errors.empty()) {
        return NothingWritten(request.dataPath + " has syntax errors", SyntaxErrorLines(doc));
    }
    KORVA_ASSIGN_OR_RETURN(const std::string poBytes, ReadFileBytes(poPath));
    ImportOutcome out;
    PoReading reading{
        .request = request, .doc = doc, .out = out, .early = {}, .langs = {}, .started = {}};
    if (const Result<void> read =
            ReadPo(poBytes, poPath, [&reading](PoMessage&& m) { reading.Take(std::move(m)); });
        !read) {
        return NothingWritten(read.error().message);
    }
    if (!reading.langs) {
        reading.langs = PoFileLanguages(reading.early, doc, poPath); // it has no header
    }
    if (!*reading.langs) {
        return NothingWritten(reading.langs->error().message);
    }
    out.dest = reading.langs->value().dest;
    const Import& import = reading.started->import;
    if (import.errors > 0) {
        return NothingWritten(std::to_string(import.errors) +
                                  (import.errors == 1 ? " error" : " errors") + " in " + poPath,
                              std::move(out.notes));
    }
    if (!import.changes.empty() || request.target != request.dataPath) {
        out.updated = Apply(doc, import.changes, out.dest);
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
