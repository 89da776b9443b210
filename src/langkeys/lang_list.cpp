#include "langkeys/lang_list.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "langkeys/lang_const.h"
#include "langkeys/language_tags.h"
#include "text/text.h"

namespace korva {

Result<int> ParseLangKey(std::string_view name, std::string_view keysListedBy) {
    const int key = FindLanguage(name);
    if (key >= 0) {
        return key;
    }
    std::string reason = "'" + std::string(name) + "' is not a language key or tag";
    if (!keysListedBy.empty()) {
        reason += " (" + std::string(keysListedBy) + " lists them)";
    }
    return MakeError(std::move(reason));
}

Result<std::vector<int>> ParseDestList(std::string_view list, std::string_view keysListedBy) {
    // "()" holds one empty item, which is no key either way.
    if (list.size() < 3 || list.front() != '(' || list.back() != ')') {
        return MakeError("'" + std::string(list) +
                         "' is no destination list: it is written (KEY,KEY,...), without blanks");
    }
    std::vector<int> keys;
    std::string_view rest = list.substr(1, list.size() - 2);
    for (;;) {
        const std::size_t comma = rest.find(',');
        // Items are not trimmed: an empty one or one with a blank is no key.
        const Result<int> key = ParseLangKey(rest.substr(0, comma), keysListedBy);
        if (!key) {
            return key.error();
        }
        if (std::find(keys.begin(), keys.end(), *key) != keys.end()) {
            return MakeError(std::string(LanguageName(*key)) + " is named twice in " +
                             std::string(list));
        }
        keys.push_back(*key);
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    // Keys in the table's order; tags after them as the user ordered them,
    // since that order decides which region serves a language's others.
    const auto tags = std::stable_partition(keys.begin(), keys.end(),
                                            [](int language) { return language < LangKeyCount; });
    std::sort(keys.begin(), tags);
    return keys;
}

Result<std::uint16_t> ParseOrigLangId(std::string_view value, LangIdNumber number) {
    if (const int key = FindLangKey(value); key >= 0) {
        return LangIdOf(key);
    }
    const bool anyInt32 = number == LangIdNumber::AnyInt32;
    const IntegerSyntax syntax{
        .leadingSpaces = anyInt32,
        .sign = anyInt32,
        .hexPrefixes = true,
        .limit = anyInt32 ? std::uint32_t{std::numeric_limits<std::int32_t>::max()}
                          : std::uint32_t{std::numeric_limits<std::uint16_t>::max()},
    };
    if (const auto id = ParseInteger(value, syntax); id && *id >= 0) {
        return static_cast<std::uint16_t>(*id & 0xFFFF);
    }
    // Last, so that whatever a key or a number names keeps its meaning; no
    // tag begins with a digit, "$" or a hex prefix followed by hex digits.
    if (const std::optional<std::uint16_t> id = FindLanguageTag(value)) {
        return *id;
    }
    return MakeError("-O takes a language key, a language tag (en-US) or a language id (decimal, "
                     "or hex after $, x or 0x), not '" +
                     std::string(value) + "'");
}

} // namespace korva
