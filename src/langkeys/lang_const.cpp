#include "langkeys/lang_const.h"

#include "text/compare.h"

namespace korva {
namespace {

constexpr std::array<TLangKey, LangKeyCount> kInitialKeys = {{
    {0x36, "AFRIKAANS", false},  {0x1C, "ALBANIAN", false},   {0x01, "ARABIC", false},
    {0x2D, "BASQUE", false},     {0x23, "BELARUSIAN", false}, {0x02, "BULGARIAN", false},
    {0x03, "CATALAN", false},    {0x04, "CHINESE", false},    {0x1A, "CROATIAN", false},
    {0x05, "CZECH", false},      {0x06, "DANISH", false},     {0x13, "DUTCH", false},
    {0x09, "ENGLISH", false},    {0x25, "ESTONIAN", false},   {0x38, "FAEROESE", false},
    {0x29, "FARSI", false},      {0x0B, "FINNISH", false},    {0x0C, "FRENCH", false},
    {0x07, "GERMAN", false},     {0x08, "GREEK", false},      {0x0D, "HEBREW", false},
    {0x0E, "HUNGARIAN", false},  {0x0F, "ICELANDIC", false},  {0x21, "INDONESIAN", false},
    {0x10, "ITALIAN", false},    {0x11, "JAPANESE", false},   {0x12, "KOREAN", false},
    {0x26, "LATVIAN", false},    {0x27, "LITHUANIAN", false}, {0x14, "NORWEGIAN", false},
    {0x15, "POLISH", false},     {0x16, "PORTUGUESE", false}, {0x18, "ROMANIAN", false},
    {0x19, "RUSSIAN", false},    {0x1A, "SERBIAN", false},    {0x1B, "SLOVAK", false},
    {0x24, "SLOVENIAN", false},  {0x0A, "SPANISH", false},    {0x1D, "SWEDISH", false},
    {0x1E, "THAI", false},       {0x1F, "TURKISH", false},    {0x22, "UKRAINIAN", false},
    {0x2A, "VIETNAMESE", false},
}};

} // namespace

std::array<TLangKey, LangKeyCount> LangKeys = kInitialKeys;
int NeutralLangIndex = -1;
std::array<int, LangKeyCount> DestLangs{};
int DestLangCount = 0;
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
    return LangKeys.at(static_cast<std::size_t>(index)).LangId;
}

void ResetLangSelection() {
    LangKeys = kInitialKeys;
    NeutralLangIndex = -1;
    DestLangs.fill(0);
    DestLangCount = 0;
    OrigNeutralLangId = 0;
}

} // namespace korva
