#pragma once

#include <array>
#include <cstdint>
#include <string_view>

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

// Language selection, written once by the command line and read-only after.
extern int NeutralLangIndex;
extern std::array<int, LangKeyCount> DestLangs; // table order, -1 after the last
extern int DestLangCount;
extern std::uint16_t OrigNeutralLangId;
// The destination whose texts users of every other language get (--fallback),
// or -1.
extern int FallbackLangIndex;

// Index of the key whose name equals `name` case-insensitively, or -1. The
// name is taken as it stands: no trimming, no prefix matching.
int FindLangKey(std::string_view name);

// True when `index` is the neutral language or one of the destinations.
bool IsWantedLang(int index);

// Two destination keys (in table order) whose runs would be written under
// one language id, as CROATIAN and SERBIAN would: their texts would land in
// one resource. False when every destination has an id of its own.
bool FindDestinationsSharingLangId(int& first, int& second);

// The 16-bit language id of a key: its primary id with sub-language 0.
std::uint16_t LangIdOf(int index);

// Back to the state at program start (for tests).
void ResetLangSelection();

} // namespace korva
