#include "langkeys/lang_selection.h"

#include <algorithm>

#include "langkeys/language_tags.h"

namespace korva {

bool LangSelection::Taken(int index) const {
    return index == neutral || std::find(dests.begin(), dests.end(), index) != dests.end();
}

std::vector<bool> LangSelection::TakenLanguages() const {
    std::vector<bool> taken(static_cast<std::size_t>(LanguageCount()));
    for (std::size_t i = 0; i < taken.size(); ++i) {
        taken[i] = Taken(static_cast<int>(i));
    }
    return taken;
}

namespace {

// The low 10 bits of a language id are its primary language.
constexpr std::uint16_t kPrimaryMask = 0x3FF;
constexpr std::uint16_t kEnglish = 0x09;

std::uint16_t PrimaryOf(int index) {
    return static_cast<std::uint16_t>(LangIdOf(index) & kPrimaryMask);
}

} // namespace

std::vector<std::uint16_t> LangSelection::CopyLangIds(int dest) const {
    const std::uint16_t id = LangIdOf(dest);
    std::vector<std::uint16_t> ids{id};
    const std::uint16_t primary = PrimaryOf(dest);
    const auto firstOfPrimary = std::ranges::find(dests, primary, PrimaryOf);
    const bool primaryTaken =
        std::ranges::find(dests, primary, [](int d) { return LangIdOf(d); }) != dests.end();
    // A pseudo-locale's primary id stands for no language: no user is
    // served by a copy there.
    if (id != primary && primary != 0 && firstOfPrimary != dests.end() && *firstOfPrimary == dest &&
        !primaryTaken && KeyCountOfLangId(primary) < 2 && !IsPrivateUseLanguage(id)) {
        ids.push_back(primary);
    }
    if (dest == fallback && id != kFallbackLangId) {
        ids.push_back(kFallbackLangId);
    }
    return ids;
}

std::string FallbackRefusal(int key, const std::vector<int>& dests) {
    const std::string name(LanguageName(key));
    if (std::find(dests.begin(), dests.end(), key) == dests.end()) {
        return name + " is not one of the destinations";
    }
    for (const int dest : dests) {
        if (dest != key && LangIdOf(dest) == kFallbackLangId) {
            const std::string own(LanguageName(dest));
            return own + " is a destination stored under " + DescribeLangId(kFallbackLangId) +
                   ", the id whose copy users of other languages get (with " + own +
                   " among the destinations, only --fallback=" + own + ")";
        }
    }
    if (PrimaryOf(key) == kEnglish) {
        return {};
    }
    std::string english;
    std::string options;
    for (const int dest : dests) {
        if (PrimaryOf(dest) == kEnglish) {
            const std::string own(LanguageName(dest));
            english += (english.empty() ? "" : " and ") + own;
            options += (options.empty() ? "--fallback=" : " or --fallback=") + own;
        }
    }
    if (english.empty()) {
        return {};
    }
    const bool one = english.find(" and ") == std::string::npos;
    return english + (one ? " is a destination" : " are destinations") +
           ", and the copy users of other languages get is the one US English users get: they "
           "would see " +
           name + " instead of " + english + " (with " + english +
           " among the destinations, only " + options + ")";
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
