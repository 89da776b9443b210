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

LangSelection RunLangSelection() {
    LangSelection selection;
    selection.neutral = NeutralLangIndex;
    selection.dests.assign(DestLangs.begin(), DestLangs.begin() + DestLangCount);
    selection.origNeutralLangId = OrigNeutralLangId;
    return selection;
}

} // namespace korva
