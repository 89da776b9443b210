#include "langkeys/lang_const.h"

#include <algorithm>
#include <optional>

#include "langkeys/language_tags.h"
#include "text/compare.h"

namespace korva {
namespace {

constexpr std::array<TLangKey, LangKeyCount> kInitialKeys = {{
    {0x36, "AFRIKAANS", false, "af"},  {0x1C, "ALBANIAN", false, "sq"},
    {0x01, "ARABIC", false, "ar"},     {0x2D, "BASQUE", false, "eu"},
    {0x23, "BELARUSIAN", false, "be"}, {0x02, "BULGARIAN", false, "bg"},
    {0x03, "CATALAN", false, "ca"},    {0x04, "CHINESE", false, "zh"},
    {0x1A, "CROATIAN", false, "hr"},   {0x05, "CZECH", false, "cs"},
    {0x06, "DANISH", false, "da"},     {0x13, "DUTCH", false, "nl"},
    {0x09, "ENGLISH", false, "en"},    {0x25, "ESTONIAN", false, "et"},
    {0x38, "FAEROESE", false, "fo"},   {0x29, "FARSI", false, "fa"},
    {0x0B, "FINNISH", false, "fi"},    {0x0C, "FRENCH", false, "fr"},
    {0x07, "GERMAN", false, "de"},     {0x08, "GREEK", false, "el"},
    {0x0D, "HEBREW", false, "he"},     {0x0E, "HUNGARIAN", false, "hu"},
    {0x0F, "ICELANDIC", false, "is"},  {0x21, "INDONESIAN", false, "id"},
    {0x10, "ITALIAN", false, "it"},    {0x11, "JAPANESE", false, "ja"},
    {0x12, "KOREAN", false, "ko"},     {0x26, "LATVIAN", false, "lv"},
    {0x27, "LITHUANIAN", false, "lt"}, {0x14, "NORWEGIAN", false, "nb"},
    {0x15, "POLISH", false, "pl"},     {0x16, "PORTUGUESE", false, "pt"},
    {0x18, "ROMANIAN", false, "ro"},   {0x19, "RUSSIAN", false, "ru"},
    {0x1A, "SERBIAN", false, "sr"},    {0x1B, "SLOVAK", false, "sk"},
    {0x24, "SLOVENIAN", false, "sl"},  {0x0A, "SPANISH", false, "es"},
    {0x1D, "SWEDISH", false, "sv"},    {0x1E, "THAI", false, "th"},
    {0x1F, "TURKISH", false, "tr"},    {0x22, "UKRAINIAN", false, "uk"},
    {0x2A, "VIETNAMESE", false, "vi"},
}};

// A row written without its code would compile with an empty one.
static_assert(std::ranges::all_of(kInitialKeys, [](const TLangKey& key) {
    return key.IsoCode.size() == 2 &&
           key.IsoCode.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string_view::npos;
}));

} // namespace

std::array<TLangKey, LangKeyCount> LangKeys = kInitialKeys;
int NeutralLangIndex = -1;
std::vector<int> DestLangs;
int DestLangCount = 0;
int FallbackLangIndex = -1;
std::uint16_t OrigNeutralLangId = 0;

int FindLangKey(std::string_view name) {
    int low = 0;
    int high = LangKeyCount - 1;
    while (low <= high) {
        const int mid = (low + high) / 2;
        // Under Unicode folding the Kelvin sign and the long s would spell
        // key names too; a key is named in ASCII whatever the code page.
        const int c = Compare1252Text(LangKeys[static_cast<std::size_t>(mid)].Name, name);
        if (c == 0) {
            return mid;
        }
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
        }
    }
    return -1;
}

int LanguageCount() {
    return LangKeyCount + static_cast<int>(LanguageTags().size());
}

int KeyCountOfLangId(std::uint16_t id) {
    return static_cast<int>(std::ranges::count(
        LangKeys, id, [](const TLangKey& k) { return std::uint16_t{k.LangId}; }));
}

int FindLanguage(std::string_view name) {
    if (const int key = FindLangKey(name); key >= 0) {
        return key;
    }
    const std::optional<std::size_t> row = FindLanguageTagRow(name);
    if (!row) {
        return -1;
    }
    const std::uint16_t id = LanguageTags()[*row].LangId;
    // CROATIAN and SERBIAN share their id, so hr names neither key alone.
    if (KeyCountOfLangId(id) == 1) {
        return static_cast<int>(
            std::ranges::find(LangKeys, id,
                              [](const TLangKey& k) { return std::uint16_t{k.LangId}; }) -
            LangKeys.begin());
    }
    return LangKeyCount + static_cast<int>(*row);
}

std::string_view LanguageName(int index) {
    if (index < LangKeyCount) {
        return LangKeys.at(static_cast<std::size_t>(index)).Name;
    }
    return LanguageTags()[static_cast<std::size_t>(index - LangKeyCount)].Tag;
}

bool IsWantedLang(int index) {
    if (index == NeutralLangIndex) {
        return true;
    }
    for (int i = 0; i < DestLangCount; ++i) {
        if (DestLangs[static_cast<std::size_t>(i)] == index) {
            return true;
        }
    }
    return false;
}

bool FindDestinationsSharingLangId(int& first, int& second) {
    for (int i = 0; i < DestLangCount; ++i) {
        for (int j = i + 1; j < DestLangCount; ++j) {
            const int a = DestLangs[static_cast<std::size_t>(i)];
            const int b = DestLangs[static_cast<std::size_t>(j)];
            if (LangIdOf(a) == LangIdOf(b)) {
                first = a;
                second = b;
                return true;
            }
        }
    }
    return false;
}

std::uint16_t LangIdOf(int index) {
    if (index < LangKeyCount) {
        return LangKeys.at(static_cast<std::size_t>(index)).LangId;
    }
    return LanguageTags()[static_cast<std::size_t>(index - LangKeyCount)].LangId;
}

void ResetLangSelection() {
    LangKeys = kInitialKeys;
    NeutralLangIndex = -1;
    DestLangs.clear();
    DestLangCount = 0;
    OrigNeutralLangId = 0;
    FallbackLangIndex = -1;
}

} // namespace korva
