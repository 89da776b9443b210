#include "dat/languages.h"

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

std::string KeyName(int key) {
    return std::string(LangKeys.at(static_cast<std::size_t>(key)).Name);
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
                return MakeError(KeyName((*keys)[i]) + " and " + KeyName((*keys)[j]) +
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
    std::string line(kLanguagesPrefix);
    line += ' ';
    if (choice.original) {
        line += "-O0x";
        for (int shift = 12; shift >= 0; shift -= 4) {
            line += "0123456789ABCDEF"[(*choice.original >> shift) & 0xF];
        }
        line += ' ';
    }
    return line + KorvaArguments(choice);
}

std::string ResourcesWords(res::ResourceKinds kinds) {
    res::ResourceKinds all = res::ResourceKinds::None();
    for (const res::ResourceKind kind : res::kAllResourceKinds) {
        all.Add(kind);
    }
    return kinds == all ? std::string("all") : kinds.Words();
}

std::string KorvaArguments(const LanguageChoice& choice) {
    if (choice.kinds.IsStringsOnly()) {
        return DescribeChoice(choice);
    }
    return std::string(kResourcesOption) + ResourcesWords(choice.kinds) + " " +
           DescribeChoice(choice);
}

std::string DescribeChoice(const LanguageChoice& choice) {
    std::string out = KeyName(choice.neutral) + " (";
    for (std::size_t i = 0; i < choice.dests.size(); ++i) {
        out += (i == 0 ? "" : ",") + KeyName(choice.dests[i]);
    }
    return out + ")";
}

namespace {

// The options before the languages, in any order: -O<lang>, --resources=LIST.
Result<void> ReadLineOptions(std::string_view& rest, LanguageChoice& choice) {
    while (rest.starts_with("-O") || rest.starts_with(kResourcesOption)) {
        const std::size_t blank = rest.find(' ');
        const std::string_view option = rest.substr(0, blank);
        if (option.starts_with("-O")) {
            KORVA_ASSIGN_OR_RETURN(choice.original, ParseOriginalLang(option.substr(2)));
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
    return Result<LanguageChoice>(std::move(choice));
}

res::ResourceKinds ChosenKinds(const std::optional<res::ResourceKinds>& given,
                               const std::optional<LanguageChoice>& recorded) {
    if (given) {
        return *given;
    }
    return recorded ? recorded->kinds : res::ResourceKinds::StringsOnly();
}

LangSelection SelectionOf(const LanguageChoice& choice) {
    return {choice.neutral, choice.dests, choice.OriginalLangId()};
}

std::string IsoCodeOf(int key) {
    return std::string(LangKeys.at(static_cast<std::size_t>(key)).IsoCode);
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
