#include "dat/languages.h"

#include <algorithm>
#include <array>
#include <limits>

#include "common/text.h"
#include "langkeys/lang_const.h"

namespace korva::dat {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// ISO 639-1 codes in the order of the key table.
constexpr std::array<std::string_view, LangKeyCount> kIsoCodes = {
    "af", "sq", "ar", "eu", "be", "bg", "ca", "zh", "hr", "cs", "da", "nl", "en", "et", "fo",
    "fa", "fi", "fr", "de", "el", "he", "hu", "is", "id", "it", "ja", "ko", "lv", "lt", "nb",
    "pl", "pt", "ro", "ru", "sr", "sk", "sl", "es", "sv", "th", "tr", "uk", "vi"};

std::optional<std::uint32_t> ParseNumber(std::string_view s) {
    unsigned base = 10;
    if (s.starts_with("0x") || s.starts_with("0X")) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.starts_with('$') || s.starts_with('x') || s.starts_with('X')) {
        base = 16;
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : s) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) {
            return std::nullopt;
        }
        value = value * base + static_cast<unsigned>(digit);
        if (value > std::numeric_limits<std::uint16_t>::max()) {
            return std::nullopt;
        }
    }
    return value;
}

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
    const int key = FindLangKey(name);
    if (key < 0) {
        return MakeError("'" + std::string(name) +
                         "' is not a language key (korva-dat --help lists them)");
    }
    return key;
}

Result<std::vector<int>> ParseDestList(std::string_view list) {
    if (list.size() < 3 || list.front() != '(' || list.back() != ')') {
        return MakeError("'" + std::string(list) +
                         "' is no destination list: it is written (KEY,KEY,...), without blanks");
    }
    std::vector<int> keys;
    std::string_view rest = list.substr(1, list.size() - 2);
    for (;;) {
        const std::size_t comma = rest.find(',');
        const Result<int> key = ParseLangKey(rest.substr(0, comma));
        if (!key) {
            return key.error();
        }
        if (std::find(keys.begin(), keys.end(), *key) != keys.end()) {
            return MakeError(KeyName(*key) + " is named twice in " + std::string(list));
        }
        keys.push_back(*key);
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    std::sort(keys.begin(), keys.end());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        for (std::size_t j = i + 1; j < keys.size(); ++j) {
            if (LangIdOf(keys[i]) == LangIdOf(keys[j])) {
                return MakeError(KeyName(keys[i]) + " and " + KeyName(keys[j]) +
                                 " share one language id, so korva refuses them together");
            }
        }
    }
    return keys;
}

Result<std::uint16_t> ParseOriginalLang(std::string_view value) {
    if (const int key = FindLangKey(value); key >= 0) {
        return LangIdOf(key);
    }
    if (const auto number = ParseNumber(value)) {
        return static_cast<std::uint16_t>(*number);
    }
    return MakeError("-O takes a language key or a language id (decimal, or hex after $, x or "
                     "0x), not '" +
                     std::string(value) + "'");
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
    return line + DescribeChoice(choice);
}

std::string DescribeChoice(const LanguageChoice& choice) {
    std::string out = KeyName(choice.neutral) + " (";
    for (std::size_t i = 0; i < choice.dests.size(); ++i) {
        out += (i == 0 ? "" : ",") + KeyName(choice.dests[i]);
    }
    return out + ")";
}

std::optional<Result<LanguageChoice>> ReadLanguagesLine(std::string_view line) {
    if (!line.starts_with(kLanguagesPrefix)) {
        return std::nullopt;
    }
    std::string_view rest = TrimBlanks(line.substr(kLanguagesPrefix.size()));
    LanguageChoice choice;
    if (rest.starts_with("-O")) {
        const std::size_t blank = rest.find(' ');
        const Result<std::uint16_t> id = ParseOriginalLang(rest.substr(2, blank - 2));
        if (!id) {
            return Result<LanguageChoice>(id.error());
        }
        choice.original = *id;
        rest =
            blank == std::string_view::npos ? std::string_view() : TrimBlanks(rest.substr(blank));
    }
    const std::size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) {
        return Result<LanguageChoice>(MakeError(
            "a language line reads NeutralLang (DestLang,...), not '" + std::string(rest) + "'"));
    }
    const Result<int> neutral = ParseLangKey(rest.substr(0, blank));
    if (!neutral) {
        return Result<LanguageChoice>(neutral.error());
    }
    const Result<std::vector<int>> dests = ParseDestList(TrimBlanks(rest.substr(blank)));
    if (!dests) {
        return Result<LanguageChoice>(dests.error());
    }
    choice.neutral = *neutral;
    choice.dests = *dests;
    return Result<LanguageChoice>(std::move(choice));
}

LangSelection SelectionOf(const LanguageChoice& choice) {
    return {choice.neutral, choice.dests, choice.OriginalLangId()};
}

std::string IsoCodeOf(int key) {
    return std::string(kIsoCodes.at(static_cast<std::size_t>(key)));
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
    for (std::size_t i = 0; i < kIsoCodes.size(); ++i) {
        if (kIsoCodes[i] == lower) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace korva::dat
