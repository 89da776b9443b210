#include "dat/data_document.h"

#include <algorithm>
#include <cstring>

#include "dat/file_io.h"
#include "dat/folded_text_table.h"
#include "datafile/data_line.h"
#include "langkeys/lang_const.h"
#include "text/text.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kCtrlZ = '\x1A';

// Splits the bytes into lines by korva's rules: CR ends a line and a LF
// right after it belongs to that end; in a UTF-8 file a LF alone ends one
// too; Ctrl-Z ends the file, the characters before it on its line still
// making a line.
// Whether any of the eight bytes of `word` is `c`.
constexpr bool HasByte(std::uint64_t word, char c) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
    return ((x - kOnes) & ~x & (kOnes << 7)) != 0;
}

// Where the line that begins at `pos` stops: at a CR, a Ctrl-Z, a LF when
// it ends lines, or the end. Eight bytes are looked at together first, as
// lines are long and a million of them make a data file.
std::size_t LineStop(std::string_view b, std::size_t pos, bool lfEnds) {
    std::size_t stop = pos;
    for (; b.size() - stop >= sizeof(std::uint64_t); stop += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, b.data() + stop, sizeof word);
        if (HasByte(word, kCR) || HasByte(word, kCtrlZ) || (lfEnds && HasByte(word, kLF))) {
            break;
        }
    }
    while (stop < b.size() && b[stop] != kCR && b[stop] != kCtrlZ && !(lfEnds && b[stop] == kLF)) {
        ++stop;
    }
    return stop;
}

void SplitLines(DataDocument& doc) {
    const std::string& b = doc.bytes;
    const bool lfEnds = doc.codePage == CodePage::Utf8;
    std::size_t pos = doc.headSize;
    doc.tailBegin = b.size();
    // Room for every line at once: a growing list would hold its old copy
    // beside the new one.
    const auto count = [&b](char c) {
        return static_cast<std::size_t>(std::count(b.begin(), b.end(), c));
    };
    doc.lines.reserve((lfEnds ? std::max(count(kCR), count(kLF)) : count(kCR)) + 1);
    while (pos < b.size()) {
        const std::size_t stop = LineStop(b, pos, lfEnds);
        if (stop == b.size() || b[stop] == kCtrlZ) {
            if (stop > pos) {
                doc.lines.push_back({pos, stop - pos, 0});
            }
            doc.tailBegin = stop;
            break;
        }
        std::size_t endSize = 1;
        if (b[stop] == kCR && stop + 1 < b.size() && b[stop + 1] == kLF) {
            endSize = 2;
        }
        doc.lines.push_back({pos, stop - pos, endSize});
        pos = stop + endSize;
    }
    doc.lineEnd = "\r\n";
    if (!doc.lines.empty() && doc.lines.front().endSize > 0) {
        const DataDocument::Line& first = doc.lines.front();
        doc.lineEnd = b.substr(first.begin + first.size, first.endSize);
    }
}

// What korva-dat says of a text line's fault that needs no detail.
std::string_view FaultMessage(TextLineFault fault) {
    switch (fault) {
    case TextLineFault::NoComma:
        return "a text line needs a comma between the language and the text";
    case TextLineFault::NothingAfterComma:
        return "nothing follows the comma";
    case TextLineFault::NotQuoted:
        return "the text must stand between double quotes";
    case TextLineFault::BadEscape:
        return "a \\x escape needs two hexadecimal digits";
    case TextLineFault::None:
    case TextLineFault::UnknownKey:
        break;
    }
    return {};
}

// Reads the lines into entries, going on after each syntax error so that
// all of them are reported.
class DocumentParser {
public:
    explicit DocumentParser(DataDocument& doc) : doc_(doc) {}

    void Run() {
        for (std::size_t i = 0; i < doc_.lines.size(); ++i) {
            TakeLine(i);
        }
        if (open_) {
            KorvaDatError(entry_.start, "the entry that begins here is never closed with ')', so "
                                        "korva drops it");
        }
        // The list is whole now: each entry's texts follow the last one's.
        std::size_t next = 0;
        for (std::size_t e = 0; e < doc_.entries.size(); ++e) {
            doc_.entries[e].texts = std::span(doc_.entryTexts).subspan(next, textCounts_[e]);
            next += textCounts_[e];
        }
        std::stable_sort(doc_.errors.begin(), doc_.errors.end(),
                         [](const DataError& a, const DataError& b) { return a.line < b.line; });
    }

private:
    // A syntax error at which korva stops too.
    void Error(std::size_t lineIndex, std::string message) {
        doc_.errors.push_back({lineIndex + 1, std::move(message)});
    }
    // One korva finds only when it takes `lang` in.
    void LanguageError(std::size_t lineIndex, int lang, std::string message) {
        doc_.errors.push_back({lineIndex + 1, std::move(message), true, lang});
    }
    // One in a line korva passes over.
    void KorvaDatError(std::size_t lineIndex, std::string message) {
        doc_.errors.push_back({lineIndex + 1, std::move(message), false});
    }

    void TakeLine(std::size_t i) {
        const std::string_view raw = doc_.LineText(i);
        if (doc_.codePage == CodePage::Utf8 && !IsValidUtf8(raw)) {
            Error(i, "the line is not valid UTF-8");
            return;
        }
        const DataLine line = ClassifyDataLine(raw);
        switch (line.kind) {
        case DataLineKind::Blank:
            return;
        case DataLineKind::Comment:
            TakeComment(i, line.trimmed);
            return;
        case DataLineKind::EntryStart:
            OpenEntry(i);
            return;
        case DataLineKind::EntryEnd:
            if (!open_) {
                Error(i, "')' without an entry to close");
                return;
            }
            entry_.end = i;
            doc_.entryTexts.insert(doc_.entryTexts.end(), texts_.begin(), texts_.end());
            textCounts_.push_back(texts_.size());
            doc_.entries.push_back(std::move(entry_));
            open_ = false;
            regionBegin_ = i + 1;
            return;
        case DataLineKind::TextLine:
            if (!open_) {
                Error(i, "a text line outside an entry; entries begin with a '(' line");
                return;
            }
            TakeTextLine(i, line.trimmed);
            return;
        }
    }

    void OpenEntry(std::size_t i) {
        if (open_) {
            Error(i, "'(' inside the entry that begins at line " +
                         std::to_string(entry_.start + 1) + "; the entry before lacks its ')'");
        }
        open_ = true;
        entry_ = DataEntry();
        texts_.clear();
        entry_.regionBegin = regionBegin_;
        entry_.start = i;
        entry_.ownComments = std::move(ownComments_);
        entry_.locations = std::move(locations_);
        entry_.markedUnused = markedUnused_;
        ownComments_.clear();
        locations_.clear();
        markedUnused_ = false;
    }

    void TakeComment(std::size_t i, std::string_view line) {
        if (open_ && line.starts_with(kMadeForPrefix)) {
            if (const auto text = ReadQuoted(line.substr(kMadeForPrefix.size()))) {
                entry_.madeFor = *text;
                entry_.madeForLine = i;
            }
            return;
        }
        if (open_ && line.starts_with(kFuzzyPrefix)) {
            TakeSuggestion(i, line.substr(kFuzzyPrefix.size()));
            return;
        }
        if (open_) {
            TakePlaceholder(i, line);
            return;
        }
        if (auto languages = ReadLanguagesLine(line)) {
            if (!*languages) {
                KorvaDatError(i, languages->error().message);
            } else if (doc_.languages) {
                KorvaDatError(i, "a second languages line; the one at line " +
                                     std::to_string(doc_.languagesLine + 1) + " holds");
            } else {
                doc_.languages = languages->value();
                doc_.languagesLine = i;
            }
            return;
        }
        if (line.starts_with(kUsedInPrefix)) {
            ownComments_.push_back(i);
            if (auto location = ReadLocationLine(line)) {
                locations_.push_back(std::move(*location));
            }
        } else if (line.starts_with(kUnusedPrefix)) {
            ownComments_.push_back(i);
            markedUnused_ = true;
        }
    }

    // A placeholder has a text line's shape behind its ';'.
    void TakePlaceholder(std::size_t i, std::string_view line) {
        const TextLineParts parts = SplitTextLine(TrimLine(line.substr(1)));
        if (parts.fault != TextLineFault::None || TrimLine(parts.textPart) != "\"\"") {
            return;
        }
        const int lang = FindLanguage(parts.key);
        if (lang >= 0) {
            entry_.placeholders.push_back({lang, i});
        }
    }

    // A text as ReadTextPart gives it, kept in the arena when its escapes
    // were resolved into the scratch string.
    std::string_view Keep(std::string_view text) {
        const bool inScratch = !scratch_.empty() && text.data() >= scratch_.data() &&
                               text.data() < scratch_.data() + scratch_.size();
        return inScratch ? doc_.arena.Keep(text) : text;
    }

    // A quoted text as a text line's text part holds it.
    std::optional<std::string_view> ReadQuoted(std::string_view part) {
        std::string_view text;
        if (ReadTextPart(TrimLine(part), doc_.codePage == CodePage::Utf8, scratch_, text) !=
            TextLineFault::None) {
            return std::nullopt;
        }
        return Keep(text);
    }

    // A suggestion korva-dat wrote, or one a person edited into a shape it
    // no longer reads: the latter is an ordinary comment.
    void TakeSuggestion(std::size_t i, std::string_view line) {
        const TextLineParts parts = SplitTextLine(TrimLine(line));
        const int lang = parts.fault == TextLineFault::None ? FindLanguage(parts.key) : -1;
        if (lang < 0) {
            return;
        }
        if (const auto text = ReadQuoted(parts.textPart)) {
            entry_.suggestions.push_back({lang, i, *text});
        }
    }

    // As korva's loader takes a text line, every language being taken in.
    void TakeTextLine(std::size_t i, std::string_view line) {
        const TextLineParts parts = SplitTextLine(line);
        if (parts.fault != TextLineFault::None) {
            Error(i, std::string(FaultMessage(parts.fault)));
            return;
        }
        const int lang = FindLanguage(parts.key);
        if (lang < 0) {
            Error(i, "'" + std::string(parts.key) + "' is not a language key or tag");
            return;
        }
        const auto given = std::find_if(texts_.rbegin(), texts_.rend(),
                                        [lang](const EntryText& t) { return t.lang == lang; });
        if (given != texts_.rend() && !given->text.empty()) {
            LanguageError(i, lang,
                          LangName(lang) + " is given twice in one entry (first at line " +
                              std::to_string(given->line + 1) + ")");
            return;
        }
        std::string_view text;
        const TextLineFault fault =
            ReadTextPart(parts.textPart, doc_.codePage == CodePage::Utf8, scratch_, text);
        if (fault != TextLineFault::None) {
            LanguageError(i, lang, std::string(FaultMessage(fault)));
            return;
        }
        texts_.push_back({lang, i, Keep(text)});
    }

    DataDocument& doc_;
    bool open_ = false;
    DataEntry entry_;
    std::vector<EntryText> texts_; // of the open entry
    // How many texts each entry has in the list, which moves as it grows
    // until the last entry is read.
    std::vector<std::size_t> textCounts_;
    std::size_t regionBegin_ = 0;
    std::vector<std::size_t> ownComments_;
    std::vector<TextLocation> locations_;
    bool markedUnused_ = false;
    std::string scratch_;
};

} // namespace

const EntryText* DataEntry::TextOf(int lang) const {
    const auto it = std::find_if(texts.rbegin(), texts.rend(),
                                 [lang](const EntryText& t) { return t.lang == lang; });
    return it == texts.rend() ? nullptr : &*it;
}

const EntryText* DataEntry::SuggestionOf(int lang) const {
    for (const EntryText& t : suggestions) {
        if (t.lang == lang) {
            return &t;
        }
    }
    return nullptr;
}

const Placeholder* DataEntry::PlaceholderOf(int lang) const {
    for (const Placeholder& p : placeholders) {
        if (p.lang == lang) {
            return &p;
        }
    }
    return nullptr;
}

bool DataEntry::FiledFor(int neutral, const std::vector<int>& dests) const {
    const EntryText* neutralText = TextOf(neutral);
    if (neutralText == nullptr || neutralText->text.empty()) {
        return false;
    }
    std::size_t count = 0;
    for (const EntryText& t : texts) {
        if (t.lang == neutral || std::find(dests.begin(), dests.end(), t.lang) != dests.end()) {
            ++count;
        }
    }
    return count >= 2;
}

std::string DataDocument::Where(std::size_t lineIndex) const {
    if (lineIndex < sourceLines.size()) {
        return name + ":" + std::to_string(sourceLines[lineIndex]);
    }
    return name + ":" + std::to_string(lineIndex + 1);
}

DataDocument ParseDataDocument(std::string bytes, std::string name) {
    DataDocument doc;
    doc.name = std::move(name);
    doc.bytes = std::move(bytes);
    doc.bytes.reserve(64);
    if (doc.bytes.starts_with(kUtf8Mark)) {
        doc.codePage = CodePage::Utf8;
        doc.headSize = kUtf8Mark.size();
    }
    SplitLines(doc);
    DocumentParser(doc).Run();
    return doc;
}

Result<DataDocument> LoadDataDocument(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(std::string bytes, ReadFileBytes(path));
    return ParseDataDocument(std::move(bytes), path);
}

void EntryGroups::Add(std::size_t entry, std::string_view text, std::uint64_t hash) {
    if (const auto g = groupOf_.Insert(text, hash, list_.size())) {
        list_[*g].members.push_back(entry);
    } else {
        list_.push_back({{entry}, entry});
    }
}

EntryGroups GroupEntries(const DataDocument& doc, int neutral, const std::vector<int>& dests) {
    // Each group begins at its first member, so taking the entries in file
    // order leaves the groups in the order of the file, as people read it.
    EntryGroups groups(doc.codePage, doc.entries.size());
    const auto textOf = [&](std::size_t e) {
        const EntryText* t = doc.entries[e].TextOf(neutral);
        return t == nullptr ? std::string_view() : std::string_view(t->text);
    };
    // The slots a million texts land in are scattered over the table: each
    // is fetched a few texts before its text is inserted.
    constexpr std::size_t kAhead = 8;
    std::vector<std::uint64_t> hashes(doc.entries.size());
    for (std::size_t e = 0; e < doc.entries.size(); ++e) {
        hashes[e] = groups.Hash(textOf(e));
    }
    for (std::size_t e = 0; e < doc.entries.size(); ++e) {
        if (e + kAhead < hashes.size()) {
            groups.Prefetch(hashes[e + kAhead]);
        }
        if (const std::string_view text = textOf(e); !text.empty()) {
            groups.Add(e, text, hashes[e]);
        }
    }
    for (EntryGroup& group : groups.List()) {
        group.winner = group.members.back();
        for (auto it = group.members.rbegin(); it != group.members.rend(); ++it) {
            if (doc.entries[*it].FiledFor(neutral, dests)) {
                group.winner = *it;
                break;
            }
        }
    }
    return groups;
}

std::optional<std::size_t> NeutralTextIndex::Find(std::string_view text) const {
    if (const auto g = groups_.Find(text)) {
        return groups_[*g].winner;
    }
    return std::nullopt;
}

} // namespace korva::dat
