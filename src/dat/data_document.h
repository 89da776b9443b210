#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "dat/folded_text_table.h"
#include "dat/languages.h"
#include "restexts/resource_kinds.h"
#include "text/codepage.h"
#include "text/text.h"
#include "text/text_arena.h"

namespace korva::dat {

// Where a text is used, as the comment before its entry names it:
//   ;@ used in app.exe, block #3, string id 37
//   ;@ used in app.exe, block MYTEXTS, slot 5
//   ;@ used in app.exe, menu #101, File > Open
//   ;@ used in app.exe, dialog ABOUT, control 1001
//   ;@ used in app.exe, version, FileDescription
//   ;@ used in app.exe, message 0x0000000C
// (a version or message resource other than #1 is named as menus are).
struct TextLocation {
    std::string program;
    std::string block;        // "#3", or a block's string name; the resource's, for other kinds
    std::uint32_t number = 0; // the string id, or for a named block the slot
    bool named = false;       // the block has a string name
    res::ResourceKind kind = res::ResourceKind::Strings;
    std::string where; // for other kinds, the item: "File > Open", "caption", "0x0000000C"
};
inline constexpr std::string_view kUsedInPrefix = ";@ used in ";
// A suggestion inside an entry: the text line follows the prefix; taking
// the prefix away confirms it.
inline constexpr std::string_view kFuzzyPrefix = ";@ fuzzy ";
inline constexpr std::string_view kMadeForPrefix = ";@ fuzzy: made for ";
inline constexpr std::string_view kUnusedPrefix = ";@ unused";
// "block", "menu", "dialog", "version", "message".
std::string_view ItemWord(res::ResourceKind kind);
// What follows the program's name: "block #3, string id 37", "menu #101, File > Open".
std::string ItemLabel(const TextLocation& location);
std::string LocationLine(const TextLocation& location);
std::optional<TextLocation> ReadLocationLine(std::string_view line);

// One text line of an entry, as korva stores it.
struct EntryText {
    int lang = -1;
    std::size_t line = 0; // index into the document's lines
    // Escapes resolved; EmptyTextMarker for "". A view of the document's
    // bytes, or of its arena for a text with escapes.
    std::string_view text;
};

// A comment line inside an entry that stands for a translation still to be
// made: the language's text line with a ';' in front and nothing quoted,
// as in ;GERMAN,"".
struct Placeholder {
    int lang = -1;
    std::size_t line = 0;
};

// One entry with the lines around it.
struct DataEntry {
    std::size_t regionBegin = 0;      // the first line after the entry before it
    std::size_t start = 0;            // the "(" line
    std::size_t end = 0;              // the ")" line
    std::span<const EntryText> texts; // in the document's entryTexts
    std::vector<Placeholder> placeholders;
    // Translations carried over by update from an earlier text like this
    // one, for someone to confirm (;@ fuzzy KEY,"text"); korva never reads
    // them. The earlier text (;@ fuzzy: made for "text") and its line, or
    // SIZE_MAX without one.
    std::vector<EntryText> suggestions;
    std::string_view madeFor; // as EntryText::text
    std::size_t madeForLine = SIZE_MAX;
    // korva-dat's own comments before the entry (where it is used, that it
    // is unused), which update writes afresh.
    std::vector<std::size_t> ownComments;
    std::vector<TextLocation> locations;
    bool markedUnused = false;

    // The language's text as korva would keep it (the last line given for
    // it), or null.
    const EntryText* TextOf(int lang) const;
    const Placeholder* PlaceholderOf(int lang) const;
    const EntryText* SuggestionOf(int lang) const;
    // Whether korva files the entry when it takes in `neutral` and `dests`:
    // two stored lines of those languages and a neutral text.
    bool FiledFor(int neutral, const std::vector<int>& dests) const;
};

struct DataError {
    std::uint64_t line = 0; // counting from 1
    std::string message;
    // Whether korva stops at this line too when it takes in every language;
    // it passes over korva-dat's own lines and an entry left open at the end.
    bool stopsKorva = true;
    // For a text part that korva refuses, and a language given twice in one
    // entry: the language, since korva finds the fault only when it takes
    // that language in. -1 for a fault of any language.
    int lang = -1;
};

// A data file as lines, read as korva reads it (with every language taken
// in), keeping every byte so that it can be written back with only some
// lines changed.
struct DataDocument {
    std::string name; // as given, for messages
    // Never short enough to be kept inside the string itself, so that the
    // views of it stay valid when the document moves.
    std::string bytes;
    TextArena arena; // the texts with escapes resolved
    CodePage codePage = CodePage::Windows1252;
    struct Line {
        std::size_t begin = 0;
        std::size_t size = 0;    // without the line end
        std::size_t endSize = 0; // 0, 1 or 2
    };
    std::vector<Line> lines;
    std::size_t headSize = 0;  // the UTF-8 mark before the first line
    std::size_t tailBegin = 0; // Ctrl-Z and what follows it, which korva never reads
    std::string lineEnd;       // the end new lines get: that of the file's first line
    std::vector<DataEntry> entries;
    // The text lines of all entries, entry after entry: one list, not a
    // list for each of a million entries.
    std::vector<EntryText> entryTexts;
    std::vector<DataError> errors;           // every syntax error, in line order
    std::optional<LanguageChoice> languages; // from the languages line
    std::size_t languagesLine = SIZE_MAX;
    // For a document made from another file (a PO file that check reads as
    // a data file): that file's line number for each line, which messages
    // then name. Empty for a data file.
    std::vector<std::size_t> sourceLines;

    std::string_view LineText(std::size_t i) const {
        return std::string_view(bytes).substr(lines[i].begin, lines[i].size);
    }
    std::string_view LineWithEnd(std::size_t i) const {
        return std::string_view(bytes).substr(lines[i].begin, lines[i].size + lines[i].endSize);
    }
    // Messages name a line as file:number.
    std::string Where(std::size_t lineIndex) const;
};

DataDocument ParseDataDocument(std::string bytes, std::string name);

Result<DataDocument> LoadDataDocument(const std::string& path);

// The entries of one neutral text, under korva's comparison in the
// document's code page. Korva uses the last entry it files of each group;
// the others are shadowed.
struct EntryGroup {
    std::vector<std::size_t> members; // entry indices in file order
    std::size_t winner = 0;           // the entry korva uses
};
// The groups, in the order of the file (of their first members), and the
// group of each neutral text.
class EntryGroups {
public:
    explicit EntryGroups(CodePage codePage, std::size_t entries) : groupOf_(codePage, entries) {}

    // Puts the entry into the group of its neutral text, a new one when it
    // is the first with that text.
    void Add(std::size_t entry, std::string_view text, std::uint64_t hash);
    // Add's hash of the text; where a later Add will look (see FoldedTextTable).
    std::uint64_t Hash(std::string_view text) const { return groupOf_.Hash(text); }
    void Prefetch(std::uint64_t hash) const { groupOf_.Prefetch(hash); }
    // The group of a text, with korva's comparison in the document's code page.
    std::optional<std::size_t> Find(std::string_view text) const { return groupOf_.Find(text); }

    std::vector<EntryGroup>& List() { return list_; }
    const EntryGroup& operator[](std::size_t i) const { return list_[i]; }
    std::size_t size() const { return list_.size(); }
    std::vector<EntryGroup>::const_iterator begin() const { return list_.begin(); }
    std::vector<EntryGroup>::const_iterator end() const { return list_.end(); }

private:
    std::vector<EntryGroup> list_;
    FoldedTextTable groupOf_;
};

// Groups of entries that have a neutral text; `dests` decides which entries
// korva files (the winner is the last filed one, or the last one when none
// is filed).
EntryGroups GroupEntries(const DataDocument& doc, int neutral, const std::vector<int>& dests);

// Finds the entry korva uses for a text, with korva's comparison in the
// document's code page: the winner of the text's group. Lives no longer than
// the groups.
class NeutralTextIndex {
public:
    explicit NeutralTextIndex(const EntryGroups& groups) : groups_(groups) {}
    std::optional<std::size_t> Find(std::string_view text) const;

private:
    const EntryGroups& groups_;
};

} // namespace korva::dat
