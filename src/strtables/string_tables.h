#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "langkeys/lang_selection.h"
#include "restexts/resource_kinds.h"
#include "restexts/text_template.h"
#include "text/codepage.h"
#include "text/string_list.h"
#include "text/text.h"

namespace korva {

// A resource type or name: an integer id or a string name.
struct ResourceName {
    bool IsId = true;
    std::uint16_t Id = 0;
    Text Name;              // the string name in the ANSI code page, up to its first NUL
    std::u16string RawName; // its exact UTF-16 form, so the writer addresses the same resource
};

// A text that lost characters on its way into the run's code page (1252
// holds no Cyrillic, say): it is never looked up, and wherever it is written
// back unchanged, the program's own code units are written.
struct LostText {
    std::size_t Entry = 0;             // its place in Strings as read: its slot
    Text Converted;                    // the text as read, '?' where characters were
    std::vector<std::uint8_t> Utf16Le; // the code units as the program held them
};

// One string-table block of the target with all its language copies.
struct TResInfo {
    ResourceName ResType;
    ResourceName ResName;
    Text DisplayName;
    bool Skipped = false;
    bool HasOrigNeutral = false;
    std::int32_t LangCount = 0;
    std::vector<std::uint16_t> Languages; // of its copies, in the directory's order
    // The block's texts; each object is the language id of its copy, later a
    // lookup result or a destination language id.
    TStringList<std::int32_t> Strings;
    // The texts of Strings as read that lost characters, by Entry.
    std::vector<LostText> LostTexts;
    // What the resource is; string-table blocks unless --resources chose more.
    res::ResourceKind Kind = res::ResourceKind::Strings;
    // For any kind but string tables, the neutral copy read into its parts
    // when the resource is to be translated (its texts are then Strings, in
    // order): it writes each destination's copy. Null otherwise.
    std::shared_ptr<const res::TextTemplate> Template;
};

extern std::vector<TResInfo> ResBlocks;
// The kinds of resource the run translates (--resources).
extern res::ResourceKinds ChosenResources;

// What a record is called in korva's lines: "block" for a string-table
// block, "menu", "dialog", "version info", "message table".
std::string_view ResourceNoun(res::ResourceKind kind);

// What reading a program's string tables depends on.
struct StringTableOptions {
    CodePage codePage = CodePage::Windows1252; // of the texts and string names read
    std::uint16_t origNeutralLangId = 0;       // the language HasOrigNeutral looks for
    res::ResourceKinds kinds = res::ResourceKinds::StringsOnly(); // what is read
};

// Every string-table block of the program at `path`, in the resource
// directory's order, or why there are none: no regular file at the path
// (ErrorKind::NoSuchFile), a file that cannot be opened, that is not a PE
// image, has no string-table resources or a malformed resource tree.
Result<std::vector<TResInfo>> ReadStringTables(std::string_view path,
                                               const StringTableOptions& options);

// korva's stage: reads every string-table block of ProgFileName into
// ResBlocks, in RunCodePage and for OrigNeutralLangId, with the resources
// of the other ChosenResources after them.
Result<void> ReadChosenResources();
bool ReadStringTables();

// What writing records back depends on besides them.
struct StringTableWriteOptions {
    CodePage codePage = CodePage::Windows1252; // the records' texts are in
    // The destinations, whose copies are written, and the original neutral
    // language, whose copy goes.
    LangSelection languages;
    // Everything but the replacement of the file: the new file is built in
    // memory, checked as before a replacement and dropped, and the failure
    // is the one the write would have. The file need not be writable.
    bool rehearse = false;
    // Where the translated program goes instead of over the one at `path`
    // (--output), which is then only read; empty: over it.
    std::string output = {};
};

// Writes every record of `blocks` that is not Skipped, as translated, back
// into the program at `path` (or into a copy at `options.output`), all at
// once, or says why it could not.
Result<void> WriteStringTables(const std::string& path, const std::vector<TResInfo>& blocks,
                               const StringTableWriteOptions& options);

// korva's stage: writes ResBlocks back into ProgFileName, or into
// OutputFileName when there is one, in RunCodePage and for the run's
// language selection.
bool WriteStringTables();
// The same, saying why it could not.
Result<void> WriteStringTablesOrSayWhy();

void ResetResBlocks();

// When no record is in `origNeutralLangId` and each has one copy, one
// sentence (lower-case first) that says which language ids they are in, by
// tag and key, and the -O that takes them ("... -Oen-US takes them");
// otherwise empty. A program
// built the usual way has its resources in 0x0409, not in the neutral 0x0000.
std::string LanguagesFoundHint(const std::vector<TResInfo>& records,
                               std::uint16_t origNeutralLangId);

} // namespace korva
