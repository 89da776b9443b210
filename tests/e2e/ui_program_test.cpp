// A program with the whole user interface a user sees: menus (MENU and
// MENUEX), dialogs (DIALOG and DIALOGEX), version info with two string
// tables, a message table of ANSI and Unicode entries made by windmc, and
// string tables. korva --resources=all translates it into four languages;
// under Wine each user then gets every text in their own language from the
// calls programs make, and an independent reader finds nothing but texts and
// language ids changed. Without the option only the string tables change.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "support/fixtures.h"
#include "support/process.h"
#include "support/wine.h"
#include "support/workspace.h"

namespace korva::e2e {
namespace {

struct Destination {
    const char* key;
    std::uint32_t language;
    const char* locale; // the Unix locale of a user of that language
    // What the byte 0xE9 of an ANSI message shows: FormatMessage reads it in
    // the ANSI code page of the user's locale. In 932 it starts a pair.
    char16_t ansiE9;
};
const std::array<Destination, 4> kDestinations{{{"GERMAN", 0x07, "de_DE.UTF-8", u'\u00E9'},
                                                {"FRENCH", 0x0C, "fr_FR.UTF-8", u'\u00E9'},
                                                {"RUSSIAN", 0x19, "ru_RU.UTF-8", u'\u0439'},
                                                {"JAPANESE", 0x11, "ja_JP.UTF-8", 0}}};

// Each English text of the program with its translations, in the order of
// kDestinations.
using Translations = std::array<std::u16string, 4>;
const std::map<std::u16string, Translations>& Catalogue() {
    static const std::map<std::u16string, Translations> texts = {
        // Strings; "&File" is a menu's text too, and one entry serves both.
        {u"&File", {u"&Datei", u"&Fichier", u"&Файл", u"ファイル(&F)"}},
        {u"Ready", {u"Bereit", u"Prêt", u"Готово", u"準備完了"}},
        {u"%1 lines, %2!d! words",
         {u"%1 Zeilen, %2!d! Wörter", u"%1 lignes, %2!d! mots", u"%1 строк, %2!d! слов",
          u"%1 行、%2!d! 語"}},
        // Menus.
        {u"&Open...\tCtrl+O",
         {u"Ö&ffnen...\tStrg+O", u"&Ouvrir...\tCtrl+O", u"&Открыть...\tCtrl+O",
          u"開く(&O)...\tCtrl+O"}},
        {u"&Save", {u"&Speichern", u"&Enregistrer", u"&Сохранить", u"保存(&S)"}},
        {u"Recent &files",
         {u"&Zuletzt geöffnet", u"Fichiers &récents", u"&Последние файлы",
          u"最近使ったファイル(&F)"}},
        {u"(empty)", {u"(leer)", u"(vide)", u"(пусто)", u"(空)"}},
        {u"E&xit", {u"&Beenden", u"&Quitter", u"В&ыход", u"終了(&X)"}},
        {u"&Help", {u"&Hilfe", u"&Aide", u"&Справка", u"ヘルプ(&H)"}},
        {u"&About...",
         {u"&Info...", u"À &propos...", u"&О программе...", u"バージョン情報(&A)..."}},
        {u"&Edit", {u"&Bearbeiten", u"&Edition", u"&Правка", u"編集(&E)"}},
        {u"&Undo", {u"&Rückgängig", u"&Annuler", u"&Отменить", u"元に戻す(&U)"}},
        {u"&Insert", {u"&Einfügen", u"&Insérer", u"&Вставка", u"挿入(&I)"}},
        {u"&Date", {u"&Datum", u"&Date du jour", u"&Дата", u"日付(&D)"}},
        {u"&Symbol", {u"&Sonderzeichen", u"&Symbole", u"&Символ", u"記号(&S)"}},
        {u"&Euro sign", {u"&Eurozeichen", u"Signe &euro", u"Знак &евро", u"ユーロ記号(&E)"}},
        {u"&Right", {u"&Rechts", u"&Droite", u"&Справа", u"右(&R)"}},
        // Dialogs; "Find" is a caption and a control's text.
        {u"Find", {u"Suchen", u"Rechercher", u"Найти", u"検索"}},
        {u"Fi&nd what:", {u"&Suchen nach:", u"&Rechercher :", u"&Что:", u"検索する文字列(&N):"}},
        {u"Match &case",
         {u"&Groß-/Kleinschreibung", u"Respecter la &casse", u"С учетом &регистра",
          u"大文字と小文字を区別(&C)"}},
        {u"&Find Next", {u"&Weitersuchen", u"&Suivant", u"Найти &далее", u"次を検索(&F)"}},
        {u"Cancel", {u"Abbrechen", u"Annuler", u"Отмена", u"キャンセル"}},
        {u"About UI Sample",
         {u"Info über UI Sample", u"À propos de UI Sample", u"О программе UI Sample",
          u"UI Sample のバージョン情報"}},
        {u"UI Sample, version 1.2",
         {u"UI Sample, Version 1.2", u"UI Sample, édition 1.2", u"UI Sample, версия 1.2",
          u"UI Sample バージョン 1.2"}},
        {u"Swatch", {u"Farbfeld", u"Échantillon", u"Образец", u"見本"}},
        {u"OK", {u"Gut", u"D'accord", u"ОК", u"了解"}},
        // Version values. CompanyName is "UI Sample" too and must stay so.
        {u"User interface sample",
         {u"Beispiel einer Benutzeroberfläche", u"Exemple d'interface utilisateur",
          u"Пример интерфейса пользователя", u"ユーザー インターフェイスのサンプル"}},
        {u"UI Sample", {u"UI-Beispiel", u"Exemple UI", u"Пример UI", u"UI サンプル"}},
        {u"Shows every kind of text",
         {u"Zeigt jede Art von Text", u"Montre chaque sorte de texte",
          u"Показывает все виды текста", u"あらゆる種類のテキストを表示します"}},
        {u"Copyright (C) 2024 Example Ltd",
         {u"Copyright (C) 2024 Beispiel GmbH", u"Copyright (C) 2024 Exemple SARL",
          u"© 2024 ООО «Пример»", u"Copyright (C) 2024 株式会社サンプル"}},
        {u"UI Sample is a trademark",
         {u"UI Sample ist eine Marke", u"UI Sample est une marque", u"UI Sample — товарный знак",
          u"UI Sample は商標です"}},
        // Messages, each with the line end windmc gives it.
        {u"Café %1 closed.\nSecond line.\n",
         {u"Café %1 geschlossen.\nZweite Zeile.\n", u"Café %1 fermé.\nDeuxième ligne.\n",
          u"Кафе %1 закрыто.\nВторая строка.\n", u"カフェ %1 は閉店しました。\n2 行目。\n"}},
        {u"Third\n", {u"Dritte\n", u"Troisième\n", u"Третье\n", u"三番目\n"}},
        {u"Ready → %1!s!\n",
         {u"Bereit → %1!s!\n", u"Prêt → %1!s!\n", u"Готово → %1!s!\n", u"準備完了 → %1!s!\n"}},
        {u"%1 of %2 files copied.\n",
         {u"%1 von %2 Dateien kopiert.\n", u"%1 fichiers copiés sur %2.\n",
          u"Скопировано файлов: %1 из %2.\n", u"%2 個中 %1 個のファイルをコピーしました。\n"}},
    };
    return texts;
}

// The resource script, for windres or for llvm-rc 14, which knows neither
// MENUEX nor a control's creation data: its programs go without them.
std::string Script(bool windres) {
    std::string rc = R"RC(LANGUAGE 0, 0
1 ICON "app.ico"

STRINGTABLE
BEGIN
  1 "&File"
  2 "Ready"
  17 "%1 lines, %2!d! words"
END

101 MENU
BEGIN
  POPUP "&File"
  BEGIN
    MENUITEM "&Open...\tCtrl+O", 1001
    MENUITEM "&Save", 1002, GRAYED
    MENUITEM SEPARATOR
    POPUP "Recent &files"
    BEGIN
      MENUITEM "(empty)", 1010, INACTIVE
    END
    MENUITEM SEPARATOR
    MENUITEM "E&xit", 1003
  END
  POPUP "&Help"
  BEGIN
    MENUITEM "&About...", 1004, CHECKED
  END
END

200 DIALOG 10, 10, 200, 100
STYLE 0x80C80080
CAPTION "Find"
FONT 8, "MS Shell Dlg"
BEGIN
  LTEXT "Fi&nd what:", -1, 5, 7, 40, 8
  EDITTEXT 1101, 50, 5, 100, 12, 0x80
  AUTOCHECKBOX "Match &case", 1102, 5, 25, 80, 10
  DEFPUSHBUTTON "&Find Next", 1, 150, 5, 45, 14
  PUSHBUTTON "Cancel", 2, 150, 22, 45, 14
  CONTROL "Find", 1105, "EDIT", 0x50800080, 5, 40, 60, 12
END

201 DIALOGEX 0, 0, 220, 120, 7000
STYLE 0x80C800C0
EXSTYLE 0x1
CAPTION "About UI Sample"
FONT 9, "Segoe UI", 700, 1, 0x1
BEGIN
  CONTROL 1, 1201, "STATIC", 0x50000003, 7, 7, 21, 20, 0, 8001
  CONTROL "UI Sample, version 1.2", 1202, "STATIC", 0x50000000, 35, 7, 150, 8, 0, 8002
  CONTROL "Swatch", 1203, "UiProbeSwatch", 0x50010000, 35, 20, 40, 20, 0x200, 8003
)RC";
    if (windres) {
        rc += "  BEGIN 1, 2, 3 END\n";
    }
    rc += R"RC(  CONTROL "", 1204, "BUTTON", 0x50010000, 35, 50, 40, 14
  DEFPUSHBUTTON "OK", 1, 160, 100, 50, 14
END

1 VERSIONINFO
FILEVERSION 1,2,3,4
PRODUCTVERSION 1,2,0,0
FILEFLAGSMASK 0x3F
FILEFLAGS 0x20
FILEOS 0x40004
FILETYPE 1
FILESUBTYPE 0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040704B0"
    BEGIN
      VALUE "FileDescription", "Testprogramm"
      VALUE "CompanyName", "Beispiel GmbH"
    END
    BLOCK "000004B0"
    BEGIN
      VALUE "CompanyName", "UI Sample"
      VALUE "FileDescription", "User interface sample"
      VALUE "FileVersion", "1.2.3.4"
      VALUE "InternalName", "uisample"
      VALUE "LegalCopyright", "Copyright (C) 2024 Example Ltd"
      VALUE "OriginalFilename", "uisample.exe"
      VALUE "ProductName", "UI Sample"
      VALUE "ProductVersion", "1.2"
      VALUE "Comments", "Shows every kind of text"
      VALUE "LegalTrademarks", "UI Sample is a trademark"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0000, 1200, 0x0407, 1200
  END
END
)RC";
    if (windres) {
        rc += R"RC(
102 MENUEX
BEGIN
  POPUP "&Edit", 200, 0, 0, 5001
  BEGIN
    MENUITEM "&Undo", 201, 0, 3
    MENUITEM "", 0, 0x800
    POPUP "&Insert", 210, 0, 0, 5002
    BEGIN
      MENUITEM "&Date", 211
      POPUP "&Symbol", 220, 0, 0, 5003
      BEGIN
        MENUITEM "&Euro sign", 221, 0x200, 8
      END
    END
  END
  MENUITEM "&Right", 300, 0x4000
END
)RC";
    }
    // llvm-rc takes MESSAGETABLE for the name of a type of its own.
    return rc + (windres ? "1 MESSAGETABLE" : "1 11") + " \"messages.bin\"\n";
}

// What the probe prints, line by line, for the program as it was built.
enum class Kind { None, String, Menu, Dialog, Version, Message, AnsiMessage, Pairs };
struct Shown {
    std::string before;
    Kind kind;
    std::u16string text; // for Kind::None nothing is printed between
    std::string after;
    bool windresOnly = false;
};

const std::vector<Shown>& Golden() {
    static const std::vector<Shown> lines = {
        {"menu 65", Kind::None, u"", ""},
        {" popup ", Kind::Menu, u"&File", ""},
        {"  item 3e9 ", Kind::Menu, u"&Open...\tCtrl+O", ""},
        {"  item 3ea ", Kind::Menu, u"&Save", " state 1"},
        {"  separator state 3", Kind::None, u"", ""},
        {"  popup ", Kind::Menu, u"Recent &files", ""},
        {"   item 3f2 ", Kind::Menu, u"(empty)", " state 2"},
        {"  separator state 3", Kind::None, u"", ""},
        {"  item 3eb ", Kind::Menu, u"E&xit", ""},
        {" popup ", Kind::Menu, u"&Help", ""},
        {"  item 3ec ", Kind::Menu, u"&About...", " state 8"},
        {"menuex 66", Kind::None, u"", "", true},
        {" popup c8 ", Kind::Menu, u"&Edit", "", true},
        {"  item c9 ", Kind::Menu, u"&Undo", " state 3", true},
        {"  separator", Kind::None, u"", "", true},
        {"  popup d2 ", Kind::Menu, u"&Insert", "", true},
        {"   item d3 ", Kind::Menu, u"&Date", "", true},
        {"   popup dc ", Kind::Menu, u"&Symbol", "", true},
        {"    item dd ", Kind::Menu, u"&Euro sign", " type 200 state 8", true},
        {" item 12c ", Kind::Menu, u"&Right", " type 4000", true},
        {"dialog c8 ", Kind::Dialog, u"Find", ""},
        {" control ffff Static ", Kind::Dialog, u"Fi&nd what:", ""},
        {" control 44d Edit \"\"", Kind::None, u"", ""},
        {" control 44e Button ", Kind::Dialog, u"Match &case", ""},
        {" control 1 Button ", Kind::Dialog, u"&Find Next", ""},
        {" control 2 Button ", Kind::Dialog, u"Cancel", ""},
        {" control 451 Edit ", Kind::Dialog, u"Find", ""},
        {"dialog c9 ", Kind::Dialog, u"About UI Sample", ""},
        // Wine keeps an ordinal text as the window's text.
        {R"( control 4b1 Static "\uffff\u0001")", Kind::None, u"", ""},
        {" control 4b2 Static ", Kind::Dialog, u"UI Sample, version 1.2", ""},
        {" control 4b3 UiProbeSwatch ", Kind::Dialog, u"Swatch", ""},
        {" control 4b4 Button \"\"", Kind::None, u"", ""},
        {" control 1 Button ", Kind::Dialog, u"OK", ""},
        {"version fixed 00010002 00030004 00010002 00000000 00000020 00040004 00000001", Kind::None,
         u"", ""},
        {"", Kind::Pairs, u"", ""},
        {"version FileDescription ", Kind::Version, u"User interface sample", ""},
        {"version ProductName ", Kind::Version, u"UI Sample", ""},
        {"version Comments ", Kind::Version, u"Shows every kind of text", ""},
        {"version LegalCopyright ", Kind::Version, u"Copyright (C) 2024 Example Ltd", ""},
        {"version LegalTrademarks ", Kind::Version, u"UI Sample is a trademark", ""},
        {"version CompanyName \"UI Sample\"", Kind::None, u"", ""},
        {"version FileVersion \"1.2.3.4\"", Kind::None, u"", ""},
        {"version ProductVersion \"1.2\"", Kind::None, u"", ""},
        {"version InternalName \"uisample\"", Kind::None, u"", ""},
        {"version OriginalFilename \"uisample.exe\"", Kind::None, u"", ""},
        {"message 1 ", Kind::AnsiMessage, u"Café %1 closed.\nSecond line.\n", ""},
        {"message 2 none", Kind::None, u"", ""},
        {"message 3 ", Kind::AnsiMessage, u"Third\n", ""},
        {"message 100 ", Kind::Message, u"Ready → %1!s!\n", ""},
        {"message 101 ", Kind::Message, u"%1 of %2 files copied.\n", ""},
        {"string 1 ", Kind::String, u"&File", ""},
        {"string 2 ", Kind::String, u"Ready", ""},
        {"string 11 ", Kind::String, u"%1 lines, %2!d! words", ""},
    };
    return lines;
}

const std::vector<std::string> kProbeArguments{
    "menu=65",   "menuex=66",   "dialog=c8",   "dialog=c9", "version",  "message=1", "message=2",
    "message=3", "message=100", "message=101", "string=1",  "string=2", "string=11"};

// A text as the probe prints it. FormatMessage gives each line end of a
// message as CR LF.
std::string Quoted(const std::u16string& text, Kind kind) {
    std::string out = "\"";
    for (const char16_t unit : text) {
        if (unit == u'\n' && (kind == Kind::Message || kind == Kind::AnsiMessage)) {
            out += "\\u000d";
        }
        if (unit >= 0x20 && unit < 0x7F && unit != '\\' && unit != '"') {
            out += static_cast<char>(unit);
        } else {
            out += "\\u" + Hex(unit, 4);
        }
    }
    return out + "\"";
}

// An ANSI message's text, which is Windows-1252, as a user of `d` sees it.
std::u16string InUserCodePage(std::u16string text, const Destination& d) {
    for (char16_t& unit : text) {
        if (unit == u'\u00E9') {
            unit = d.ansiE9 != 0 ? d.ansiE9 : throw std::invalid_argument("no such test");
        }
    }
    return text;
}

// What the probe prints for a user of `d`, the kinds in `translated` having
// been translated; no destination: the program as it was built.
std::string Expected(bool windres, const std::set<Kind>& translated, std::optional<std::size_t> d) {
    std::string out;
    for (const Shown& line : Golden()) {
        if (line.windresOnly && !windres) {
            continue;
        }
        if (line.kind == Kind::Pairs) {
            out += d && translated.contains(Kind::Version)
                       ? "version translation " + Hex(kDestinations.at(*d).language, 4) + " 04b0\n"
                       : "version translation 0000 04b0\nversion translation 0407 04b0\n";
            continue;
        }
        out += line.before;
        const Kind kind = line.kind == Kind::AnsiMessage ? Kind::Message : line.kind;
        if (d && translated.contains(kind)) {
            out += Quoted(Catalogue().at(line.text).at(*d), line.kind);
        } else if (line.kind == Kind::AnsiMessage && d) {
            out += Quoted(InUserCodePage(line.text, kDestinations.at(*d)), line.kind);
        } else if (line.kind != Kind::None) {
            out += Quoted(line.text, line.kind);
        }
        out += line.after + "\n";
    }
    return out;
}

// A data-file text: UTF-8, with the escapes the texts need.
std::string DataFileText(const std::u16string& text) {
    std::string out = "\"";
    for (const char16_t unit : text) {
        out += unit == u'\n' ? "\\n" : unit == u'\t' ? "\\t" : Utf8(std::u16string(1, unit));
    }
    return out + "\"";
}

std::string DataFile() {
    std::vector<std::string> lines{"\xEF\xBB\xBF; The user interface of the UI sample"};
    for (const auto& [english, translations] : Catalogue()) {
        lines.emplace_back("(");
        lines.push_back("ENGLISH," + DataFileText(english));
        for (std::size_t d = 0; d < kDestinations.size(); ++d) {
            lines.push_back(std::string(kDestinations.at(d).key) + "," +
                            DataFileText(translations.at(d)));
        }
        lines.emplace_back(")");
    }
    return CrLfLines(lines);
}

// The message table: windmc makes one of ANSI entries (Windows-1252) and one
// of Unicode entries, as two message files of a program would give; their
// blocks are put into one table, which FormatMessage needs.
Bytes MessageTable() {
    const test::Workspace ws;
    const std::string ansi =
        "LanguageNames=(English=0x0409:MSG00409)\n\n"
        "MessageId=1\nLanguage=English\nCaf\xE9 %1 closed.\nSecond line.\n.\n\n"
        "MessageId=3\nLanguage=English\nThird\n.\n";
    const std::u16string unicode = u"LanguageNames=(English=0x0409:MSG00409)\n\n"
                                   u"MessageId=256\nLanguage=English\nReady → %1!s!\n.\n\n"
                                   u"MessageId=257\nLanguage=English\n%1 of %2 files copied.\n.\n";
    std::string utf16;
    for (const char16_t unit : unicode) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    programs_detail::WriteText(ws.path() / "ansi.mc", ansi);
    programs_detail::WriteText(ws.path() / "unicode.mc", utf16);
    const std::string dir = test::ShellQuote(ws.path().string());
    const std::string windmc = "cd " + dir + " && x86_64-w64-mingw32-windmc ";
    test::RunOrThrow(windmc + "-a -A -C 1252 ansi.mc && mv MSG00409.bin ansi.bin");
    test::RunOrThrow(windmc + "-u -U unicode.mc && mv MSG00409.bin unicode.bin");

    struct Block {
        std::uint32_t low, high;
        Bytes entries;
    };
    std::vector<Block> blocks;
    const auto dword = [](const Bytes& b, std::size_t at) {
        return static_cast<std::uint32_t>(b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 |
                                          b.at(at + 3) << 24);
    };
    for (const char* name : {"ansi.bin", "unicode.bin"}) {
        const Bytes table = test::ReadWholeFile((ws.path() / name).string());
        const std::uint32_t count = dword(table, 0);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t at = 4 + std::size_t{12} * i;
            const std::uint32_t offset = dword(table, at + 8);
            std::size_t end = offset;
            for (std::uint32_t id = dword(table, at); id <= dword(table, at + 4); ++id) {
                end += static_cast<std::size_t>(table.at(end) | table.at(end + 1) << 8);
            }
            blocks.push_back({dword(table, at), dword(table, at + 4),
                              Bytes(table.begin() + static_cast<std::ptrdiff_t>(offset),
                                    table.begin() + static_cast<std::ptrdiff_t>(end))});
        }
    }
    Bytes out;
    const auto put = [&out](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    };
    put(static_cast<std::uint32_t>(blocks.size()));
    std::uint32_t offset = 4 + 12 * static_cast<std::uint32_t>(blocks.size());
    for (const Block& block : blocks) {
        put(block.low);
        put(block.high);
        put(offset);
        offset += static_cast<std::uint32_t>(block.entries.size());
    }
    for (const Block& block : blocks) {
        out.insert(out.end(), block.entries.begin(), block.entries.end());
    }
    return out;
}

// A 1x1 icon of 32 bits per pixel, for the dialog's icon control.
std::string Icon() {
    const std::vector<std::pair<std::uint32_t, int>> fields = {
        {0, 2},  {1, 2},  {1, 2}, // ICONDIR
        {1, 1},  {1, 1},  {0, 1},  {0, 1},          {1, 2},
        {32, 2}, {48, 4}, {22, 4}, // its entry
        {40, 4}, {1, 4},  {2, 4},  {1, 2},          {32, 2},
        {0, 4},  {8, 4},  {0, 4},                            // BITMAPINFOHEADER
        {0, 4},  {0, 4},  {0, 4},  {0xFF3366CC, 4}, {0, 4}}; // pixel, mask
    std::string icon;
    for (const auto& [value, size] : fields) {
        for (int i = 0; i < size; ++i) {
            icon += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    }
    return icon;
}

bool Windres(Builder builder) {
    return builder == Builder::MingwX64 || builder == Builder::MingwX86;
}

ProgramSources Sources(Builder builder) {
    const Bytes messages = MessageTable();
    return {Script(Windres(builder)),
            {{"app.ico", Icon()}, {"messages.bin", std::string(messages.begin(), messages.end())}},
            0,
            KORVA_E2E_UI_PROGRAM_SOURCE};
}

// LC_ALL for the Wine processes started meanwhile: Wine takes the user
// locale, which picks each resource's language, from the environment.
class UserLocale {
public:
    explicit UserLocale(const char* locale) {
        if (const char* old = std::getenv("LC_ALL")) {
            old_ = old;
        }
        ::setenv("LC_ALL", locale, 1);
    }
    ~UserLocale() {
        if (old_) {
            ::setenv("LC_ALL", old_->c_str(), 1);
        } else {
            ::unsetenv("LC_ALL");
        }
    }
    UserLocale(const UserLocale&) = delete;
    UserLocale& operator=(const UserLocale&) = delete;

private:
    std::optional<std::string> old_;
};

class UiProgram : public testing::TestWithParam<Builder> {
protected:
    void SetUp() override {
        original_ = BuildProgram(GetParam(), Sources(GetParam()));
        target_ = ws_.Copy(original_, "app.exe");
        korva_.WriteDataFile(DataFile());
    }

    static bool windres() { return Windres(GetParam()); }

    test::ProcessResult Translate(const std::vector<std::string>& options,
                                  const std::string& target) const {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"ENGLISH", "(GERMAN,FRENCH,RUSSIAN,JAPANESE)", target});
        return korva_.Run(args);
    }

    // What the independent reader says of the result: one line per
    // resource copy, in its order.
    test::ProcessResult Compare(const std::string& types) const {
        std::vector<std::string> args{KORVA_E2E_UI_RESOURCES_SCRIPT, original_, target_, "0",
                                      types};
        for (const Destination& d : kDestinations) {
            args.push_back(Hex(d.language, 4));
        }
        return test::RunProgram("/usr/bin/python3", args);
    }

    test::ProcessResult Probe(const Destination& d) const {
        const UserLocale locale(d.locale);
        std::vector<std::string> args = kProbeArguments;
        if (!windres()) {
            args.erase(args.begin() + 1); // no MENUEX
        }
        return test::RunUnderWineWithoutDisplay(std::string(KORVA_WINEPREFIX) + "-nodisplay",
                                                target_, args);
    }

    test::Workspace ws_;
    Installed korva_{ws_};
    std::string original_;
    std::string target_;
};

// Lines of the reader's listing for every resource of the program: each
// translated one once per destination, the rest once as kept.
std::string Listing(bool windres, const std::set<std::string>& translatedTypes) {
    std::vector<std::string> resources{"3/1", "4/101"};
    if (windres) {
        resources.emplace_back("4/102");
    }
    resources.insert(resources.end(), {"5/200", "5/201", "6/1", "6/2", "11/1", "14/1", "16/1"});
    std::string out;
    for (const std::string& resource : resources) {
        if (!translatedTypes.contains(resource.substr(0, resource.find('/')))) {
            out += resource + "/0000 kept\n";
            continue;
        }
        for (const Destination& d : kDestinations) {
            out += resource + "/" + Hex(d.language, 4) + " same structure\n";
        }
    }
    return out;
}

TEST_P(UiProgram, EveryUserGetsEveryTextInTheirLanguage) {
    const test::ProcessResult run = Translate({"--resources=all"}, target_);
    // Per destination: 3 + 2 string-table slots (the gaps at 0 and 16
    // count), 8 MENU and 7 MENUEX texts, 7 texts of the DIALOG (the empty
    // EDITTEXT counts) and 5 of the DIALOGEX (the icon's ordinal does not),
    // 5 version values, 4 messages.
    const int found = 4 * (5 + 8 + (windres() ? 7 : 0) + 7 + 5 + 5 + 4);
    // Progress goes by kind, in the order of the words of --resources.
    std::vector<std::string> lines{"Translating block #1", "Translating block #2",
                                   "Translating menu #101"};
    if (windres()) {
        lines.emplace_back("Translating menu #102");
    }
    lines.insert(lines.end(), {"Translating dialog #200", "Translating dialog #201",
                               "Translating version info #1", "Translating message table #1",
                               "Translations found          : " + std::to_string(found),
                               "Source strings missing      : 0", "Translation strings missing : 0",
                               "Finished"});
    EXPECT_EQ(run.output, Output(lines));
    ASSERT_EQ(run.exitCode, 0) << run.output;

    const test::ProcessResult compared = Compare("4,5,6,11,16");
    EXPECT_EQ(compared.output, Listing(windres(), {"4", "5", "6", "11", "16"}));
    EXPECT_EQ(compared.exitCode, 0);

    const std::set<Kind> all{Kind::String, Kind::Menu, Kind::Dialog, Kind::Version, Kind::Message};
    for (std::size_t d = 0; d < kDestinations.size(); ++d) {
        const test::ProcessResult shown = Probe(kDestinations.at(d));
        EXPECT_EQ(shown.exitCode, 0) << kDestinations.at(d).key;
        EXPECT_EQ(shown.output, Expected(windres(), all, d)) << kDestinations.at(d).key;
    }

    // Every copy is in a destination's language now: a second run finds
    // nothing neutral and leaves the file alone.
    const Bytes translated = test::ReadWholeFile(target_);
    const test::ProcessResult again = Translate({"--resources=all"}, target_);
    std::vector<std::string> skipped{"Block #1", "Block #2", "Menu #101"};
    if (windres()) {
        skipped.emplace_back("Menu #102");
    }
    skipped.insert(skipped.end(),
                   {"Dialog #200", "Dialog #201", "Version info #1", "Message table #1"});
    for (std::string& line : skipped) {
        line += " is already language dependent. Skipped";
    }
    skipped.insert(skipped.end(),
                   {"Translations found          : 0", "Source strings missing      : 0",
                    "Translation strings missing : 0", "Nothing translated. Abort."});
    EXPECT_EQ(again.output, Output(skipped));
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_EQ(test::ReadWholeFile(target_), translated);
}

// Without --resources the run is the one it always was, byte for byte, and
// equal to --resources=strings: a user gets translated strings inside the
// menus, dialogs, version info and messages as they were built.
TEST_P(UiProgram, WithoutTheOptionOnlyStringTablesAreTranslated) {
    const std::string other = ws_.Copy(original_, "strings.exe");
    const test::ProcessResult run = Translate({}, target_);
    EXPECT_EQ(
        run.output,
        Output({"Translating block #1", "Translating block #2", "Translations found          : 20",
                "Source strings missing      : 0", "Translation strings missing : 0", "Finished"}));
    ASSERT_EQ(run.exitCode, 0);
    const test::ProcessResult strings = Translate({"--resources=strings"}, other);
    EXPECT_EQ(strings.output, run.output);
    EXPECT_EQ(strings.exitCode, 0);
    EXPECT_EQ(test::ReadWholeFile(other), test::ReadWholeFile(target_));

    const test::ProcessResult compared = Compare("6");
    EXPECT_EQ(compared.output, Listing(windres(), {"6"}));
    EXPECT_EQ(compared.exitCode, 0);

    const std::size_t russian = 2;
    const test::ProcessResult shown = Probe(kDestinations.at(russian));
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.output, Expected(windres(), {Kind::String}, russian));
}

INSTANTIATE_TEST_SUITE_P(Toolchains, UiProgram,
                         testing::Values(Builder::MingwX64, Builder::MingwX86, Builder::ClangX64),
                         [](const auto& instance) { return BuilderName(instance.param); });

} // namespace
} // namespace korva::e2e
