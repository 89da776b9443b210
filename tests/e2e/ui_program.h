#pragma once

// The UI sample: a program with the whole user interface a user sees, its
// resource script for windres and for llvm-rc, its message table made by
// windmc, and every text with its translations into four languages.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "support/fixtures.h"
#include "support/process.h"
#include "support/workspace.h"

namespace korva::e2e::ui {

struct Destination {
    const char* key;
    std::uint32_t language;
    const char* locale; // the Unix locale of a user of that language
    // What the byte 0xE9 of an ANSI message shows: FormatMessage reads it in
    // the ANSI code page of the user's locale. In 932 it starts a pair.
    char16_t ansiE9;
};
inline const std::array<Destination, 4> kDestinations{{{"GERMAN", 0x07, "de_DE.UTF-8", u'\u00E9'},
                                                       {"FRENCH", 0x0C, "fr_FR.UTF-8", u'\u00E9'},
                                                       {"RUSSIAN", 0x19, "ru_RU.UTF-8", u'\u0439'},
                                                       {"JAPANESE", 0x11, "ja_JP.UTF-8", 0}}};

// Each English text of the program with its translations, in the order of
// kDestinations.
using Translations = std::array<std::u16string, 4>;
inline const std::map<std::u16string, Translations>& Catalogue() {
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
inline std::string Script(bool windres) {
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

// The message table: windmc makes one of ANSI entries (Windows-1252) and one
// of Unicode entries, as two message files of a program would give; their
// blocks are put into one table, which FormatMessage needs.
inline Bytes MessageTable() {
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
inline std::string Icon() {
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

inline bool Windres(Builder builder) {
    return builder == Builder::MingwX64 || builder == Builder::MingwX86;
}

inline ProgramSources Sources(Builder builder) {
    const Bytes messages = MessageTable();
    return {Script(Windres(builder)),
            {{"app.ico", Icon()}, {"messages.bin", std::string(messages.begin(), messages.end())}},
            0,
            KORVA_E2E_UI_PROGRAM_SOURCE};
}

} // namespace korva::e2e::ui
