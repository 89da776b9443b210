// Menus and dialogs as llvm-rc and windres write them: every one read, and
// written back byte for byte, also after other texts went in and out.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "restexts/template_test_support.h"
#include "restexts/text_template.h"
#include "support/fixtures.h"

namespace korva::res {
namespace {

// What both compilers take (llvm-rc knows no MENUEX, no creation data and no
// MENU statement in a dialog).
constexpr const char* kCommonScript = R"RC(
1 MENU
BEGIN
  POPUP "&File"
  BEGIN
    MENUITEM "&Open...\tCtrl+O", 101
    MENUITEM SEPARATOR
    MENUITEM "", 105
    MENUITEM "E&xit", 102, GRAYED, CHECKED
    POPUP "Sub"
    BEGIN
      MENUITEM "A && B", 103
    END
  END
  MENUITEM "&Help", 104, HELP
END

100 DIALOG 10, 20, 200, 100
STYLE 0x80C80040
CAPTION "About"
FONT 8, "MS Shell Dlg"
BEGIN
  DEFPUSHBUTTON "&OK", 1, 10, 70, 50, 14
  LTEXT "Version 1.0", -1, 10, 10, 100, 8
  CONTROL "", 1001, "Edit", 0x50810080, 10, 30, 100, 12
  CONTROL 5, 1002, "Static", 0x5000000E, 120, 10, 20, 20
  EDITTEXT 1003, 10, 50, 80, 12
END

101 DIALOGEX 0, 0, 180, 90, 555
STYLE 0x80C80048
EXSTYLE 0x100
CAPTION ""
CLASS "MyDlgClass"
FONT 9, "Segoe UI", 700, 1, 204
BEGIN
  PUSHBUTTON "Cancel", 2, 10, 70, 50, 14, 0x10000, 0x4, 99
  CONTROL "Custom text", 2001, "MyCustom", 0x50000000, 10, 10, 100, 20
  ICON 5, 2002, 120, 10, 20, 20
  LTEXT "Odd", -1, 1, 1, 10, 10
END

102 DIALOG 0, 0, 100, 50
STYLE 0x80C80000
BEGIN
END
)RC";

// What windres alone takes.
constexpr const char* kWindresScript = R"RC(
2 MENUEX
BEGIN
  POPUP "&File", 200, 0, 0, 77
  BEGIN
    MENUITEM "&Open", 201
    MENUITEM "", 0, 0x800
    MENUITEM SEPARATOR
    MENUITEM "", 202
    POPUP "Deep", 203, 0, 0, 5
    BEGIN
      MENUITEM "Leaf1", 204, 0x200, 8
      POPUP "Deeper", 206
      BEGIN
        MENUITEM "Leaf2", 207
      END
    END
  END
  MENUITEM "Hi", 205
END

103 DIALOGEX 0, 0, 180, 90
STYLE 0x80C80048
MENU 7
CAPTION "Ex with a menu"
FONT 9, "Segoe UI", 400, 0, 0
BEGIN
  CONTROL "Custom text", 2001, "MyCustom", 0x50000000, 10, 10, 100, 20
  {
    1, 2, 3
  }
  LTEXT "&Name:", 3001, 1, 1, 40, 10
END

104 DIALOG 0, 0, 100, 50
STYLE 0x80C80000
MENU "MAINMENU"
CAPTION "Plain with data"
BEGIN
  CONTROL "Data", 3002, "MyCustom", 0x50000000, 10, 10, 100, 20
  {
    0x1234
  }
END
)RC";

constexpr std::uint16_t kRtMenu = 4;
constexpr std::uint16_t kRtDialog = 5;

std::vector<std::u16string> TextsOf(const test::ByteVector& bytes, TextFormat format) {
    return test::TextsOf(*test::ParseOrFail(format, bytes));
}

void ExpectAllRewriteFaithfully(const std::map<std::uint16_t, test::ByteVector>& resources,
                                TextFormat format) {
    for (const auto& [id, bytes] : resources) {
        SCOPED_TRACE(id);
        test::ExpectRewritesFaithfully(bytes, format == TextFormat::Menu, format);
    }
}

TEST(ToolchainTemplates, BothCompilersMenusAndDialogs) {
    for (const test::Toolchain toolchain : test::AllToolchains()) {
        SCOPED_TRACE(test::ToolchainName(toolchain));
        const std::string path = test::BuildFixture(toolchain, "uitexts", kCommonScript);
        const auto menus = test::ResourcesOf(path, kRtMenu);
        const auto dialogs = test::ResourcesOf(path, kRtDialog);
        ASSERT_EQ(menus.size(), 1U);
        ASSERT_EQ(dialogs.size(), 3U);
        EXPECT_EQ(TextsOf(menus.at(1), TextFormat::Menu),
                  (std::vector<std::u16string>{u"&File", u"&Open...\tCtrl+O", u"", u"E&xit", u"Sub",
                                               u"A && B", u"&Help"}));
        EXPECT_EQ(TextsOf(dialogs.at(100), TextFormat::Dialog),
                  (std::vector<std::u16string>{u"About", u"&OK", u"Version 1.0", u"", u""}));
        EXPECT_EQ(TextsOf(dialogs.at(101), TextFormat::Dialog),
                  (std::vector<std::u16string>{u"", u"Cancel", u"Custom text", u"Odd"}));
        EXPECT_EQ(TextsOf(dialogs.at(102), TextFormat::Dialog), (std::vector<std::u16string>{u""}));
        ExpectAllRewriteFaithfully(menus, TextFormat::Menu);
        ExpectAllRewriteFaithfully(dialogs, TextFormat::Dialog);
    }
}

TEST(ToolchainTemplates, WindresMenuExAndCreationData) {
    const std::string path =
        test::BuildFixture(test::Toolchain::MingwX64, "uitexts_windres", kWindresScript);
    const auto menus = test::ResourcesOf(path, kRtMenu);
    const auto dialogs = test::ResourcesOf(path, kRtDialog);
    ASSERT_EQ(menus.size(), 1U);
    ASSERT_EQ(dialogs.size(), 2U);
    const auto menu = test::ParseOrFail(TextFormat::Menu, menus.at(2));
    std::vector<std::string> places;
    for (const ResourceText& text : menu->Texts()) {
        places.push_back(text.where + " @" + std::to_string(text.hotkeyScope));
    }
    EXPECT_EQ(places,
              (std::vector<std::string>{"File @0", "File > Open @1", "File >  @1", "File > Deep @1",
                                        "File > Deep > Leaf1 @2", "File > Deep > Deeper @2",
                                        "File > Deep > Deeper > Leaf2 @3", "Hi @0"}));
    EXPECT_EQ(TextsOf(dialogs.at(103), TextFormat::Dialog),
              (std::vector<std::u16string>{u"Ex with a menu", u"Custom text", u"&Name:"}));
    EXPECT_EQ(TextsOf(dialogs.at(104), TextFormat::Dialog),
              (std::vector<std::u16string>{u"Plain with data", u"Data"}));
    ExpectAllRewriteFaithfully(menus, TextFormat::Menu);
    ExpectAllRewriteFaithfully(dialogs, TextFormat::Dialog);
}

} // namespace
} // namespace korva::res
