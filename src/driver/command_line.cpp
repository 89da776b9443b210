#include "driver/command_line.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "langkeys/lang_const.h"
#include "langkeys/lang_list.h"
#include "langkeys/lang_selection.h"
#include "restexts/resource_kinds.h"
#include "strtables/string_tables.h"

namespace korva {
namespace {

// Whether a --resources option came before: the first replaces the default
// set, the next ones add to it.
bool ResourcesGiven = false;

bool ApplyOption(std::string_view arg) {
    if (arg.size() < 2) {
        return false;
    }
    char letter = arg[1];
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    if (arg.size() != 2 && letter != 'D' && letter != 'O') {
        return false;
    }
    const std::string_view rest = arg.substr(2);
    switch (letter) {
    case 'Q':
        QuietMode = true;
        return true;
    case 'A':
        AbortOnMissing = true;
        return true;
    case 'P':
        WritePlaceholders = true;
        return true;
    case 'D':
        if (rest.empty()) {
            return false;
        }
        DataFileName = rest;
        return true;
    case 'O':
        // A value that names no language id is accepted and leaves the id
        // as it was.
        if (const Result<std::uint16_t> id = ParseOrigLangId(rest, LangIdNumber::AnyInt32)) {
            OrigNeutralLangId = *id;
        }
        return true;
    default:
        return false;
    }
}

// A long option, --name=value; `mistake` says what was wrong with one that
// is refused.
bool ApplyLongOption(std::string_view arg, std::string& mistake) {
    constexpr std::string_view kResources = "--resources=";
    if (arg.starts_with(kResources)) {
        const Result<res::ResourceKinds> kinds =
            res::ParseResourceKinds(arg.substr(kResources.size()));
        if (!kinds) {
            mistake = "--resources: " + kinds.error().message;
            return false;
        }
        // Given twice, the lists add up.
        if (!ResourcesGiven) {
            ChosenResources = res::ResourceKinds::None();
            ResourcesGiven = true;
        }
        ChosenResources.Add(*kinds);
        return true;
    }
    constexpr std::string_view kFallback = "--fallback=";
    if (arg.starts_with(kFallback)) {
        const std::string_view key = arg.substr(kFallback.size());
        FallbackLangIndex = FindLanguage(key);
        if (FallbackLangIndex == -1) {
            mistake = "--fallback: \"" + std::string(key) + "\" is not a language key or tag";
            return false;
        }
        return true;
    }
    if (arg == "--resources") {
        mistake = "--resources takes a list: --resources=LIST (see korva --help)";
        return false;
    }
    mistake = "unknown option " + std::string(arg.substr(0, arg.find('='))) + " (see korva --help)";
    return false;
}

// The destinations are selected, and DestLangs lists them: keys in table
// order, then tags.
bool ReadDestList(std::string_view arg) {
    Result<std::vector<int>> languages = ParseDestList(arg);
    if (!languages) {
        return false;
    }
    for (const int language : *languages) {
        if (language < LangKeyCount) {
            LangKeys[static_cast<std::size_t>(language)].Selected = true;
        }
    }
    DestLangs = std::move(*languages);
    DestLangCount = static_cast<int>(DestLangs.size());
    return true;
}

} // namespace

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help") {
            return true;
        }
        if (!arg.starts_with('-')) {
            return false; // past the options
        }
    }
    return false;
}

bool ParseCommandLine(const std::vector<std::string>& args, std::string* mistake) {
    std::string ignored;
    std::string& why = mistake != nullptr ? *mistake : ignored;
    ResourcesGiven = false;
    ParseState state = ParseState::ExpectNeutralLang;
    if (args.empty()) {
        return false;
    }
    for (const std::string& arg : args) {
        switch (state) {
        case ParseState::Complete:
            return false;
        case ParseState::ExpectProgFile:
            ProgFileName = arg;
            state = ParseState::Complete;
            break;
        case ParseState::ExpectDestList:
            state = ParseState::ExpectProgFile;
            if (!ReadDestList(arg)) {
                return false;
            }
            break;
        case ParseState::ExpectNeutralLang:
            if (arg.starts_with("--")) {
                if (!ApplyLongOption(arg, why)) {
                    return false;
                }
            } else if (arg.starts_with('-')) {
                if (!ApplyOption(arg)) {
                    return false;
                }
            } else {
                state = ParseState::ExpectDestList;
                NeutralLangIndex = FindLanguage(arg);
                if (NeutralLangIndex == -1) {
                    return false;
                }
            }
            break;
        }
    }
    if (state != ParseState::Complete) {
        return false;
    }
    // Only the destinations tell whether the fallback can be honoured.
    if (FallbackLangIndex != -1) {
        const std::string refusal = FallbackRefusal(FallbackLangIndex, RunLangSelection().dests);
        if (!refusal.empty()) {
            why = "--fallback=" + std::string(LanguageName(FallbackLangIndex)) + ": " + refusal;
            return false;
        }
    }
    return true;
}

} // namespace korva
