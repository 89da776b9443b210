#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "langkeys/lang_const.h"

namespace korva {

// The languages one run takes in, as a value that a stage is given: what
// NeutralLang, (DestLang,...) and -O say.
struct LangSelection {
    int neutral = -1;                    // language key index
    std::vector<int> dests;              // key indices in the key table's order
    std::uint16_t origNeutralLangId = 0; // the language of the blocks to translate

    // True when `index` is the neutral language or one of the destinations:
    // the languages whose data-file texts are kept.
    bool Taken(int index) const;
    // Taken of every key index.
    std::array<bool, LangKeyCount> TakenKeys() const;
};

// korva's selection as its command line set it: NeutralLangIndex, the first
// DestLangCount of DestLangs, OrigNeutralLangId.
LangSelection RunLangSelection();

} // namespace korva
