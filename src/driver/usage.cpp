#include <array>
#include <string_view>

#include "common/console.h"
#include "driver/command_line.h"

namespace korva {

void PrintUsage() {
    static constexpr std::array<std::string_view, 24> kLines = {
        "Syntax:  KORVA [Options] NeutralLang (DestLang[,DestLang[,...]]) ProgFileName",
        "",
        "Options: -Q Quiet mode",
        "         -A Abort if source or destination string missing",
        "         -P Write placeholders (\"###\") where translation not found",
        "         -D<filename> Specify data file to use instead of KORVA.DAT",
        "         -O<lang> Original neutral language to search instead of LANG_NEUTRAL",
        "",
        "Language Keys:       AFRIKAANS  ALBANIAN  ARABIC     BASQUE     BELARUSIAN",
        "BULGARIAN  CATALAN   CHINESE    CROATIAN  CZECH      DANISH     DUTCH",
        "ENGLISH    ESTONIAN  FAEROESE   FARSI     FINNISH    FRENCH     GERMAN",
        "GREEK      HEBREW    HUNGARIAN  ICELANDIC INDONESIAN ITALIAN    JAPANESE",
        "KOREAN     LATVIAN   LITHUANIAN NORWEGIAN POLISH     PORTUGUESE ROMANIAN",
        "RUSSIAN    SERBIAN   SLOVAK     SLOVENIAN SPANISH    SWEDISH    THAI",
        "TURKISH    UKRAINIAN VIETNAMESE",
        "",
        "NeutralLang specifies of which language neutral resource strings are.",
        "Normally this is equal to the language of the resource strings when you",
        "don't change them with this tool.",
        "",
        "DestLang is a list of all languages supposed to be written into the",
        "program file. Don't place blanks into that list.",
        "",
        "Example: KORVA -P -Q ENGLISH (ENGLISH,FRENCH,GERMAN) Project1.exe",
    };
    for (const std::string_view line : kLines) {
        WriteLine(line);
    }
}

} // namespace korva
