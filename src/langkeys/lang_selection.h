#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "langkeys/lang_const.h"

namespace korva {

// The languages one run takes in, as a value that a stage is given: what
// NeutralLang, (DestLang,...) and -O say.
struct LangSelection {
    int neutral = -1;                    // language index
    std::vector<int> dests;              // keys in table order, then tags as given
    std::uint16_t origNeutralLangId = 0; // the language of the blocks to translate
    int fallback = -1;                   // the destination other users get, or -1

    // True when `index` is the neutral language or one of the destinations:
    // the languages whose data-file texts are kept.
    bool Taken(int index) const;
    // Taken of every language index.
    std::vector<bool> TakenLanguages() const;

    // The language ids under which the texts of the destination `dest` are
    // written: its own; for the first destination of a regional language
    // (pt-BR) also the id of the language alone (0x0016), which the loaders
    // try for the users of its other regions (pt-PT), unless a destination
    // has that id itself or it stands for more than one language (0x001A is
    // Croatian and Serbian) or none (a pseudo-locale's: qps-ploc, 0x0501, has
    // 0x0101); for the fallback also kFallbackLangId.
    std::vector<std::uint16_t> CopyLangIds(int dest) const;
};

// The language id under which the loaders find a copy for users of every
// language that has no copy of its own: Wine's loader tries it after the
// user's and the system's languages and before the first copy of all, and
// Windows' resource loader names US English as its last resort the same way
// (docs/languages.md has the evidence). A copy under a primary id (0x0009)
// reaches only users of that language; a neutral one (0x0000) would be
// found before any user's own.
inline constexpr std::uint16_t kFallbackLangId = 0x0409;

// Why the destination `key` cannot be given to users of every other
// language, or an empty string when it can: it must be a destination; a
// destination stored under kFallbackLangId (en-US) leaves only itself; and
// with English among the destinations (ENGLISH, en-GB) only an English one
// can, since the copy all other users get is also the one US English users
// get.
std::string FallbackRefusal(int key, const std::vector<int>& dests);

// korva's selection as its command line set it: NeutralLangIndex, the first
// DestLangCount of DestLangs, OrigNeutralLangId.
LangSelection RunLangSelection();

} // namespace korva
