#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korva {

struct TLangKey {
    std::uint8_t LangId;      // Windows primary language id
    std::string_view Name;    // upper-case English name, at most 10 letters
    bool Selected;            // named in the destination list
    std::string_view IsoCode; // ISO 639-1, for a PO file's Language field
};

inline constexpr int LangKeyCount = 43;

// Sorted by Name: FindLangKey bisects it. Only Selected changes at run time.
extern std::array<TLangKey, LangKeyCount> LangKeys;

// A language index names a key (0 to LangKeyCount - 1) or, above them, a
// language tag: LangKeyCount + its row in LanguageTags(). Keys name primary
// languages, tags the regional and script variants a key cannot (zh-TW).
int LanguageCount();

// Language selection, written once by the command line and read-only after.
extern int NeutralLangIndex;
// Keys in table order, then tags in the order given; DestLangCount of them.
extern std::vector<int> DestLangs;
extern int DestLangCount;
extern std::uint16_t OrigNeutralLangId;
// The destination whose texts users of every other language get (--fallback),
// or -1.
extern int FallbackLangIndex;

// Index of the key whose name equals `name` case-insensitively, or -1. The
// name is taken as it stands: no trimming, no prefix matching.
int FindLangKey(std::string_view name);

// The index of the language `name` names: a key name as FindLangKey takes
// it, else a language tag (FindLanguageTag). A tag that names the very id of
// a key (en is 0x0009) gives that key, so that one language has one index;
// -1 when it names none.
int FindLanguage(std::string_view name);

// How many keys have the language id `id` as their own (two for 0x001A,
// CROATIAN and SERBIAN).
int KeyCountOfLangId(std::uint16_t id);

// The key's name or the tag as the table spells it.
std::string_view LanguageName(int index);

// True when `index` is the neutral language or one of the destinations.
bool IsWantedLang(int index);

// Two destinations (in their order) whose runs would be written under
// one language id, as CROATIAN and SERBIAN would: their texts would land in
// one resource. False when every destination has an id of its own.
bool FindDestinationsSharingLangId(int& first, int& second);

// The 16-bit language id of a language index: a key's primary id with
// sub-language 0, or the full id a tag names.
std::uint16_t LangIdOf(int index);

// Back to the state at program start (for tests).
void ResetLangSelection();

} // namespace korva
