#include "langkeys/language_tags.h"

#include <algorithm>
#include <array>

#include "langkeys/lang_const.h"

namespace korva {
namespace {

#include "language_tags.inc"

static_assert(std::ranges::is_sorted(kLanguageTags, {}, &LanguageTagRow::LangId));

// The low 10 bits of a language id are its primary language; the rest is
// the sublanguage.
constexpr std::uint16_t kPrimaryMask = 0x3FF;

char Fold(char c) {
    if (c == '_') {
        return '-';
    }
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameTag(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return Fold(x) == Fold(y); });
}

std::string Hex4(std::uint16_t value) {
    std::string out = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += "0123456789ABCDEF"[(value >> shift) & 0xF];
    }
    return out;
}

// "ENGLISH", or "CROATIAN or SERBIAN" where two keys share the primary id;
// empty when no key has it.
std::string KeysOfPrimary(std::uint16_t primary) {
    std::string names;
    for (const TLangKey& key : LangKeys) {
        if (key.LangId == primary) {
            names += (names.empty() ? "" : " or ") + std::string(key.Name);
        }
    }
    return names;
}

} // namespace

std::span<const LanguageTagRow> LanguageTags() {
    return kLanguageTags;
}

std::optional<std::size_t> FindLanguageTagRow(std::string_view tag) {
    for (std::size_t i = 0; i < kLanguageTags.size(); ++i) {
        if (SameTag(kLanguageTags[i].Tag, tag)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::uint16_t> FindLanguageTag(std::string_view tag) {
    const std::optional<std::size_t> row = FindLanguageTagRow(tag);
    return row ? std::optional<std::uint16_t>(kLanguageTags[*row].LangId) : std::nullopt;
}

std::string_view LanguageTagOf(std::uint16_t langId) {
    const auto* row = std::ranges::lower_bound(kLanguageTags, langId, {}, &LanguageTagRow::LangId);
    return row != kLanguageTags.end() && row->LangId == langId ? row->Tag : std::string_view{};
}

bool IsPrivateUseLanguage(std::uint16_t langId) {
    const std::string_view tag = LanguageTagOf(langId);
    const std::string_view language = tag.substr(0, tag.find('-'));
    return language.size() == 3 && language >= "qaa" && language <= "qtz";
}

std::string DescribeLangId(std::uint16_t langId) {
    std::string about(LanguageTagOf(langId));
    const auto primary = static_cast<std::uint16_t>(langId & kPrimaryMask);
    // Primary id 0 is the neutral language, which no key names.
    if (const std::string keys = primary == 0 ? std::string() : KeysOfPrimary(primary);
        !keys.empty()) {
        about += about.empty() ? "" : ", ";
        about += langId == primary ? "key " : "a sublanguage of ";
        about += keys;
    }
    return about.empty() ? Hex4(langId) : Hex4(langId) + " (" + about + ")";
}

} // namespace korva
