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

void PrintHelp() {
    PrintUsage();
    static constexpr std::array<std::string_view, 40> kLines = {
        "",
        "Long options, given where the short options go (before NeutralLang):",
        "  --resources=LIST  the kinds of resource to translate, comma-separated:",
        "                    strings (string tables, the default), menus, dialogs,",
        "                    version (version info), messages (message tables), or",
        "                    all. Each is translated by the same rules: a resource in",
        "                    the neutral language becomes one copy per destination",
        "                    language, texts looked up in the same data file.",
        "                    Example: --resources=strings,menus,dialogs",
        "  --fallback=KEY    users whose language is none of the destinations get",
        "                    KEY's texts (KEY one of the destinations; with an",
        "                    English one among them, only an English one): its",
        "                    copies are written once more under 0x0409, where the",
        "                    loader looks last",
        "  --data=PATH       the data file by an ordinary path, absolute or relative",
        "                    to the current directory (-D names a file in korva's",
        "                    own directory); not together with -D",
        "  --output=PATH     the translated program goes to PATH, whole or not at",
        "                    all, and ProgFileName is only read; a new file takes",
        "                    its permissions. Nothing is written when the run",
        "                    fails or aborts. PATH naming ProgFileName itself",
        "                    translates it in place, as without --output.",
        "                    Example: --data=po/app.dat --output=out/app.exe",
        "  --help            this text",
        "",
        "Language tags name a language with its region or script, where a key names",
        "the language alone: zh-CN, zh-TW, pt-BR, pt-PT, sr-Latn-RS, hr-HR, en-US.",
        "A tag stands wherever a key does (NeutralLang, DestLang, -O, --fallback, the",
        "data file) and is written under its full Windows language id (zh-TW is",
        "0x0404). The first tag of a language in the list is written under the",
        "language's own id too, for the users of its other regions (with pt-BR alone,",
        "pt-PT users get pt-BR). The destinations are the keys in the order of the",
        "table above, then the tags in the order given. Example:",
        "  KORVA ENGLISH (ENGLISH,GERMAN,zh-CN,zh-TW,pt-BR) Project1.exe",
        "",
        "Menus: the text of every item. Dialogs: the caption and every control",
        "text. Version info: FileDescription, ProductName, Comments,",
        "LegalCopyright and LegalTrademarks (other values are copied). Message",
        "tables: every message, written as Unicode. Everything else (ids, styles,",
        "coordinates, fonts, icons, accelerators, manifests) stays as it is.",
    };
    for (const std::string_view line : kLines) {
        WriteLine(line);
    }
}

} // namespace korva
