#include "driver/command_line.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "driver/command_line_mistakes.h"
#include "langkeys/lang_const.h"
#include "langkeys/lang_list.h"
#include "langkeys/lang_selection.h"
#include "restexts/resource_kinds.h"
#include "strtables/string_tables.h"

namespace korva {
namespace {

// What the options so far have set, for those that depend on one another.
struct OptionsSeen {
    bool resources = false; // the first --resources replaces the default set, the next add to it
    bool shortData = false; // -D
    bool longData = false;  // --data
    bool output = false;    // --output
};

constexpr std::string_view kDataTwice = "-D and --data both name the data file: give one of them";

bool ApplyOption(std::string_view arg, OptionsSeen& seen, std::string& why) {
    if (arg.size() < 2) {
        why = "a lone - is no option";
        return false;
    }
    char letter = arg[1];
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    if (std::string_view("QAPDO").find(letter) == std::string_view::npos) {
        why = "unknown option " + std::string(arg) + " (see korva --help)";
        return false;
    }
    if (arg.size() != 2 && letter != 'D' && letter != 'O') {
        why = std::string(arg) + ": " + std::string(arg.substr(0, 2)) + " takes no value";
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
            why = std::string(arg) + " takes a file name: -D<filename>";
            return false;
        }
        if (seen.longData) {
            why = kDataTwice;
            return false;
        }
        seen.shortData = true;
        DataFileName = rest;
        return true;
    default: // 'O'
        // A value that names no language id is accepted and leaves the id
        // as it was.
        if (const Result<std::uint16_t> id = ParseOrigLangId(rest, LangIdNumber::AnyInt32)) {
            OrigNeutralLangId = *id;
        }
        return true;
    }
}

// --data=PATH and --output=PATH: a path each, given once.
bool ApplyPathOption(std::string_view arg, OptionsSeen& seen, std::string& why) {
    const bool data = arg.starts_with("--data");
    const std::string name = data ? "--data" : "--output";
    const std::size_t equals = arg.find('=');
    if (equals == std::string_view::npos || equals + 1 == arg.size()) {
        why = name + " takes a path: " + name + "=PATH";
        return false;
    }
    const std::string value(arg.substr(equals + 1));
    bool& given = data ? seen.longData : seen.output;
    if (given) {
        why = name + " is given twice: give one " + (data ? "data file" : "output file");
        return false;
    }
    if (data && seen.shortData) {
        why = kDataTwice;
        return false;
    }
    given = true;
    if (data) {
        DataFileName = value;
        DataFileIsPath = true;
    } else {
        OutputFileName = value;
    }
    return true;
}

bool ApplyResources(std::string_view list, OptionsSeen& seen, std::string& why) {
    const Result<res::ResourceKinds> kinds = res::ParseResourceKinds(list);
    if (!kinds) {
        why = "--resources: " + kinds.error().message;
        return false;
    }
    // Given twice, the lists add up.
    if (!seen.resources) {
        ChosenResources = res::ResourceKinds::None();
        seen.resources = true;
    }
    ChosenResources.Add(*kinds);
    return true;
}

// A long option, --name=value; `why` says what was wrong with one that is
// refused.
bool ApplyLongOption(std::string_view arg, OptionsSeen& seen, std::string& why) {
    const std::string_view name = arg.substr(0, arg.find('='));
    constexpr std::string_view kResources = "--resources=";
    if (arg.starts_with(kResources)) {
        return ApplyResources(arg.substr(kResources.size()), seen, why);
    }
    constexpr std::string_view kFallback = "--fallback=";
    if (arg.starts_with(kFallback)) {
        const std::string_view key = arg.substr(kFallback.size());
        FallbackLangIndex = FindLanguage(key);
        if (FallbackLangIndex == -1) {
            why = "--fallback: \"" + std::string(key) + "\" is not a language key or tag";
            return false;
        }
        return true;
    }
    if (name == "--data" || name == "--output") {
        return ApplyPathOption(arg, seen, why);
    }
    if (arg == "--resources") {
        why = "--resources takes a list: --resources=LIST (see korva --help)";
        return false;
    }
    why = "unknown option " + std::string(name) + " (see korva --help)";
    return false;
}

// The destinations are selected, and DestLangs lists them: keys in table
// order, then tags.
Result<void> ReadDestList(std::string_view arg) {
    Result<std::vector<int>> languages = ParseDestList(arg);
    if (!languages) {
        return languages.error();
    }
    for (const int language : *languages) {
        if (language < LangKeyCount) {
            LangKeys[static_cast<std::size_t>(language)].Selected = true;
        }
    }
    DestLangs = std::move(*languages);
    DestLangCount = static_cast<int>(DestLangs.size());
    return {};
}

// Takes one argument in `state`; false, with `why` set, when it is refused.
bool TakeArgument(const std::vector<std::string>& args, std::size_t at, ParseState& state,
                  OptionsSeen& seen, std::string& why) {
    const std::string& arg = args[at];
    switch (state) {
    case ParseState::Complete:
        why = ExtraArgumentMistake(ProgFileName, arg);
        return false;
    case ParseState::ExpectProgFile:
        ProgFileName = arg;
        state = ParseState::Complete;
        return true;
    case ParseState::ExpectDestList:
        state = ParseState::ExpectProgFile;
        if (const Result<void> read = ReadDestList(arg); !read) {
            why = DestListMistake(args, at, read.error().message);
            return false;
        }
        return true;
    case ParseState::ExpectNeutralLang:
        if (arg.starts_with("--")) {
            return ApplyLongOption(arg, seen, why);
        }
        if (arg.starts_with('-')) {
            return ApplyOption(arg, seen, why);
        }
        state = ParseState::ExpectDestList;
        NeutralLangIndex = FindLanguage(arg);
        if (NeutralLangIndex == -1) {
            why = NeutralLangMistake(arg);
            return false;
        }
        return true;
    }
    return false;
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
    ParseState state = ParseState::ExpectNeutralLang;
    // No arguments at all ask for the usage text, which is no mistake.
    if (args.empty()) {
        return false;
    }
    OptionsSeen seen;
    for (std::size_t at = 0; at < args.size(); ++at) {
        if (!TakeArgument(args, at, state, seen, why)) {
            return false;
        }
    }
    if (state != ParseState::Complete) {
        why = MissingArgumentsMistake(state);
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
