#include "dat/languages.h"

#include <algorithm>

#include "langkeys/lang_const.h"
#include "langkeys/lang_list.h"
#include "text/text.h"

namespace korva::dat {
namespace {

// Where korva-dat's user finds the key names.
constexpr std::string_view kKeysListedBy = "korva-dat --help";

} // namespace

std::vector<int> LanguageChoice::TranslatedDests() const {
    std::vector<int> out;
    for (const int d : dests) {
        if (d != neutral) {
            out.push_back(d);
        }
    }
    return out;
}

std::string LangName(int language) {
    return std::string(LanguageName(language));
}

Result<int> ParseLangKey(std::string_view name) {
    return korva::ParseLangKey(name, kKeysListedBy);
}

Result<std::vector<int>> ParseDestList(std::string_view list) {
    Result<std::vector<int>> keys = korva::ParseDestList(list, kKeysListedBy);
    if (!keys) {
        return keys;
    }
    for (std::size_t i = 0; i < keys->size(); ++i) {
        for (std::size_t j = i + 1; j < keys->size(); ++j) {
            if (LangIdOf((*keys)[i]) == LangIdOf((*keys)[j])) {
                return MakeError(LangName((*keys)[i]) + " and " + LangName((*keys)[j]) +
                                 " share one language id, so korva refuses them together");
            }
        }
    }
    return keys;
}

Result<std::uint16_t> ParseOriginalLang(std::string_view value) {
    return ParseOrigLangId(value, LangIdNumber::Exact16Bit);
}

std::string LanguagesLine(const LanguageChoice& choice) {
    return std::string(kLanguagesPrefix) + ' ' + KorvaArguments(choice);
}

std::string ResourcesWords(res::ResourceKinds kinds) {
    res::ResourceKinds all = res::ResourceKinds::None();
    for (const res::ResourceKind kind : res::kAllResourceKinds) {
        all.Add(kind);
    }
    return kinds == all ? std::string("all") : kinds.Words();
}

std::string KorvaArguments(const LanguageChoice& choice) {
    std::string out;
    if (choice.original) {
        out += "-O0x";
        for (int shift = 12; shift >= 0; shift -= 4) {
            out += "0123456789ABCDEF"[(*choice.original >> shift) & 0xF];
        }
        out += ' ';
    }
    if (!choice.kinds.IsStringsOnly()) {
        out += std::string(kResourcesOption) + ResourcesWords(choice.kinds) + ' ';
    }
    if (choice.fallback >= 0) {
        out += std::string(kFallbackOption) + LangName(choice.fallback) + ' ';
    }
    return out + DescribeChoice(choice);
}

Result<void> CheckFallback(const LanguageChoice& choice) {
    if (choice.fallback < 0) {
        return {};
    }
    const std::string refusal = FallbackRefusal(choice.fallback, choice.dests);
    if (refusal.empty()) {
        return {};
    }
    return MakeError(std::string(kFallbackOption) + LangName(choice.fallback) + ": " + refusal);
}

std::string DescribeChoice(const LanguageChoice& choice) {
    std::string out = LangName(choice.neutral) + " (";
    for (std::size_t i = 0; i < choice.dests.size(); ++i) {
        out += (i == 0 ? "" : ",") + LangName(choice.dests[i]);
    }
    return out + ")";
}

namespace {

// The options before the languages, in any order: -O<lang>, --resources=LIST,
// --fallback=KEY.
Result<void> ReadLineOptions(std::string_view& rest, LanguageChoice& choice) {
    while (rest.starts_with("-O") || rest.starts_with(kResourcesOption) ||
           rest.starts_with(kFallbackOption)) {
        const std::size_t blank = rest.find(' ');
        const std::string_view option = rest.substr(0, blank);
        if (option.starts_with("-O")) {
            KORVA_ASSIGN_OR_RETURN(choice.original, ParseOriginalLang(option.substr(2)));
        } else if (option.starts_with(kFallbackOption)) {
            KORVA_ASSIGN_OR_RETURN(choice.fallback,
                                   ParseLangKey(option.substr(kFallbackOption.size())));
        } else {
            KORVA_ASSIGN_OR_RETURN(choice.kinds,
                                   res::ParseResourceKinds(option.substr(kResourcesOption.size())));
        }
        rest =
            blank == std::string_view::npos ? std::string_view() : TrimBlanks(rest.substr(blank));
    }
    return {};
}

} // namespace

std::optional<Result<LanguageChoice>> ReadLanguagesLine(std::string_view line) {
    if (!line.starts_with(kLanguagesPrefix)) {
        return std::nullopt;
    }
    std::string_view rest = TrimBlanks(line.substr(kLanguagesPrefix.size()));
    LanguageChoice choice;
    KORVA_RETURN_IF_ERROR(ReadLineOptions(rest, choice));
    const std::size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) {
        return Result<LanguageChoice>(MakeError(
            "a language line reads NeutralLang (DestLang,...), not '" + std::string(rest) + "'"));
    }
    KORVA_ASSIGN_OR_RETURN(choice.neutral, ParseLangKey(rest.substr(0, blank)));
    KORVA_ASSIGN_OR_RETURN(choice.dests, ParseDestList(TrimBlanks(rest.substr(blank))));
    KORVA_RETURN_IF_ERROR(CheckFallback(choice));
    return Result<LanguageChoice>(std::move(choice));
}

Result<std::optional<LanguageChoice>> CommandChoice(const std::optional<LanguageChoice>& given,
                                                    const std::optional<LanguageChoice>& recorded,
                                                    const ChoiceOptions& options) {
    std::optional<LanguageChoice> choice = given ? given : recorded;
    if (!choice) {
        return choice;
    }
    if (given && recorded) {
        choice->original = recorded->original;
        choice->kinds = recorded->kinds;
        choice->fallback = recorded->fallback;
    }
    choice->original = options.original ? options.original : choice->original;
    choice->kinds = options.resources.value_or(choice->kinds);
    choice->fallback = options.fallback.value_or(choice->fallback);
    if (const Result<void> fits = CheckFallback(*choice); !fits) {
        const bool recordedOne = !options.fallback;
        return MakeError(fits.error().message +
                         (recordedOne ? " (the languages line records --fallback; give another "
                                        "--fallback=KEY to override it)"
                                      : ""));
    }
    return choice;
}

LangSelection SelectionOf(const LanguageChoice& choice) {
    return {choice.neutral, choice.dests, choice.OriginalLangId(), choice.fallback};
}

std::string IsoCodeOf(int language) {
    if (language < LangKeyCount) {
        return std::string(LangKeys.at(static_cast<std::size_t>(language)).IsoCode);
    }
    // gettext writes the region after "_" (pt_BR).
    std::string code(LanguageName(language));
    std::replace(code.begin(), code.end(), '-', '_');
    return code;
}

int LanguageOfPoCode(std::string_view code, const std::vector<int>& dests) {
    // A regional destination is named by its whole code; otherwise the code
    // names its primary language, as it did before tags were destinations.
    const int language = FindLanguage(code);
    const bool tag = language >= LangKeyCount;
    if (tag && std::ranges::find(dests, language) != dests.end()) {
        return language;
    }
    if (const int key = KeyOfIsoCode(code); key >= 0) {
        return key;
    }
    return tag ? language : -1;
}

int KeyOfIsoCode(std::string_view code) {
    code = code.substr(0, code.find_first_of("_@.-"));
    std::string lower;
    for (const char c : code) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (lower == "no" || lower == "nn") {
        lower = "nb"; // one primary language id covers every Norwegian
    }
    for (std::size_t i = 0; i < LangKeys.size(); ++i) {
        if (LangKeys[i].IsoCode == lower) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace korva::dat
