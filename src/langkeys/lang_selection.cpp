#include "langkeys/lang_selection.h"

#include <algorithm>

namespace korva {

bool LangSelection::Taken(int index) const {
    return index == neutral || std::find(dests.begin(), dests.end(), index) != dests.end();
}

std::array<bool, LangKeyCount> LangSelection::TakenKeys() const {
    std::array<bool, LangKeyCount> taken{};
    for (int i = 0; i < LangKeyCount; ++i) {
        taken[static_cast<std::size_t>(i)] = Taken(i);
    }
    return taken;
}

std::string FallbackRefusal(int key, const std::vector<int>& dests) {
    const std::string name(LangKeys.at(static_cast<std::size_t>(key)).Name);
    if (std::find(dests.begin(), dests.end(), key) == dests.end()) {
        return name + " is not one of the destinations";
    }
    const int english = FindLangKey("ENGLISH");
    if (key != english && std::find(dests.begin(), dests.end(), english) != dests.end()) {
        return "ENGLISH is a destination, and the copy users of other languages get is the one "
               "US English users get: they would see " +
               name +
               " instead of ENGLISH (with ENGLISH among the destinations, only "
               "--fallback=ENGLISH)";
    }
    return {};
}

LangSelection RunLangSelection() {
    LangSelection selection;
    selection.neutral = NeutralLangIndex;
    selection.dests.assign(DestLangs.begin(), DestLangs.begin() + DestLangCount);
    selection.origNeutralLangId = OrigNeutralLangId;
    selection.fallback = FallbackLangIndex;
    return selection;
}

} // namespace korva
