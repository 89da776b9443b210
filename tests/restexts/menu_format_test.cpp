#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "restexts/template_test_support.h"
#include "restexts/text_template.h"

namespace korva::res {
namespace {

using test::ByteVector;
using test::TemplateBytes;

// A MENU with the items compilers write, and where its parts went.
struct ClassicMenu {
    ByteVector bytes;
    std::size_t subLastItem = 0; // "A && B"
    std::size_t lastItem = 0;    // "&Help"
};

ClassicMenu MakeClassicMenu() {
    ClassicMenu menu;
    TemplateBytes b;
    b.U16(0).U16(0);              // version 0, no extra header
    b.U16(0x0010).Text(u"&File"); // MF_POPUP
    b.U16(0x0000).U16(101).Text(u"&Open...\tCtrl+O");
    b.U16(0x0000).U16(0).Text(u"");        // MENUITEM SEPARATOR as compilers write it
    b.U16(0x0800).U16(0).Text(u"");        // MF_SEPARATOR
    b.U16(0x0000).U16(105).Text(u"");      // an empty text is a slot all the same
    b.U16(0x0009).U16(102).Text(u"E&xit"); // MF_GRAYED | MF_CHECKED
    b.U16(0x0090).Text(u"Sub");            // MF_POPUP | MF_END
    menu.subLastItem = b.Size();
    b.U16(0x0080).U16(103).Text(u"A && B"); // MF_END
    menu.lastItem = b.Size();
    b.U16(0x4080).U16(104).Text(u"&Help"); // MF_HELP | MF_END
    menu.bytes = b.Bytes();
    return menu;
}

struct ExtendedMenu {
    ByteVector bytes;
    std::size_t firstHelpId = 0;
    std::size_t lastText = 0; // where "Hi!" begins
};

// A MENUEX item's fields and text, padded to the next DWORD.
void ExItem(TemplateBytes& b, std::uint32_t type, std::uint32_t state, std::uint32_t id,
            std::uint16_t resInfo, std::u16string_view text) {
    b.U32(type).U32(state).U32(id).U16(resInfo).Text(text).Align4();
}

ExtendedMenu MakeExtendedMenu() {
    ExtendedMenu menu;
    TemplateBytes b;
    b.U16(1).U16(4).U32(0);               // version 1, items 4 bytes on, the menu's help id
    ExItem(b, 0, 0, 200, 0x01, u"&File"); // a popup
    menu.firstHelpId = b.Size();
    b.U32(77); // its help id
    ExItem(b, 0, 0, 201, 0, u"&Open");
    ExItem(b, 0x800, 0, 0, 0, u"");       // MFT_SEPARATOR
    ExItem(b, 0, 0, 0, 0, u"");           // MENUITEM SEPARATOR as windres writes it
    ExItem(b, 0, 0, 202, 0, u"");         // an empty text with an id: a slot
    ExItem(b, 0, 0, 203, 0x81, u"De&ep"); // the last item of File, a popup
    b.U32(5);
    ExItem(b, 0x200, 8, 204, 0x80, u"Leaf"); // MFT_RADIOCHECK, MFS_CHECKED
    menu.lastText = b.Size() + 14;
    ExItem(b, 0, 0, 205, 0x80, u"Hi!"); // padded at the end, as windres does
    menu.bytes = b.Bytes();
    return menu;
}

struct ExpectedText {
    std::u16string text;
    std::string where;
    int scope;
};

std::vector<ExpectedText> TextsWithPlaces(const TextTemplate& parsed) {
    std::vector<ExpectedText> out;
    for (const ResourceText& text : parsed.Texts()) {
        out.push_back({text.text, text.where, text.hotkeyScope});
        // Only dialog controls have a box, a class and a font.
        EXPECT_EQ(text.width + text.height + text.classOrdinal + text.fontPoints, 0);
        EXPECT_EQ(text.style, 0U);
    }
    return out;
}

bool operator==(const ExpectedText& a, const ExpectedText& b) {
    return a.text == b.text && a.where == b.where && a.scope == b.scope;
}

void PrintTo(const ExpectedText& text, std::ostream* out) {
    *out << text.where << " @" << text.scope << " (" << text.text.size() << " units)";
}

TEST(MenuFormat, ReadsEveryTextButSeparatorsWithItsPathAndLevel) {
    const std::vector<ExpectedText> classic = {
        {u"&File", "File", 0},     {u"&Open...\tCtrl+O", "File > Open...", 1},
        {u"", "File > ", 1},       {u"E&xit", "File > Exit", 1},
        {u"Sub", "File > Sub", 1}, {u"A && B", "File > Sub > A & B", 2},
        {u"&Help", "Help", 0},
    };
    const std::vector<ExpectedText> extended = {
        {u"&File", "File", 0},        {u"&Open", "File > Open", 1},       {u"", "File > ", 1},
        {u"De&ep", "File > Deep", 1}, {u"Leaf", "File > Deep > Leaf", 2}, {u"Hi!", "Hi!", 0},
    };
    EXPECT_EQ(TextsWithPlaces(*test::ParseOrFail(TextFormat::Menu, MakeClassicMenu().bytes)),
              classic);
    EXPECT_EQ(TextsWithPlaces(*test::ParseOrFail(TextFormat::Menu, MakeExtendedMenu().bytes)),
              extended);
}

TEST(MenuFormat, PathsSpellTextsForPeople) {
    TemplateBytes b;
    b.U16(0).U16(0);
    b.U16(0x0010).Text(u"&&&Edit\tx");                                   // "&&" is a literal '&'
    b.U16(0x0080).U16(1).Text(u"\u00C9dit\u00E9 \xD83D\xDE00 \xD800 &"); // UTF-8, a lone surrogate
    b.U16(0x0080).U16(2).Text(u"\tAlt+F4");
    const auto parsed = test::ParseOrFail(TextFormat::Menu, b.Bytes());
    ASSERT_EQ(parsed->Texts().size(), 3U);
    EXPECT_EQ(parsed->Texts()[1].where, "&Edit > \xC3\x89"
                                        "dit\xC3\xA9 \xF0\x9F\x98\x80 \xEF\xBF\xBD ");
    EXPECT_EQ(parsed->Texts()[2].where, "");
}

// The padding after the last item follows the new texts, what follows it
// stays, and a menu without items is its header.
TEST(MenuFormat, WritesOtherTextsKeepingEverythingElse) {
    ByteVector classicWithTail = MakeClassicMenu().bytes;
    classicWithTail.insert(classicWithTail.end(), {0xAB, 0x00, 0xCD});
    ByteVector extendedUnpadded = MakeExtendedMenu().bytes;
    extendedUnpadded.resize(extendedUnpadded.size() - 2);
    ByteVector extendedWithTail = MakeExtendedMenu().bytes;
    extendedWithTail.insert(extendedWithTail.end(), {0x12, 0x34, 0x56});
    ByteVector extendedOddEnd = extendedUnpadded;
    extendedOddEnd.push_back(0);
    ByteVector extendedHeader = MakeExtendedMenu().bytes;
    test::PutU16(extendedHeader, 6, 0xBEEF); // the menu's help id
    for (const ByteVector& bytes :
         {MakeClassicMenu().bytes, classicWithTail, MakeExtendedMenu().bytes, extendedWithTail,
          extendedHeader, ByteVector{0, 0, 0, 0}, ByteVector{1, 0, 4, 0, 0, 0, 0, 0}}) {
        SCOPED_TRACE(bytes.size());
        test::ExpectRewritesFaithfully(bytes, true, TextFormat::Menu);
    }
    for (const ByteVector& bytes : {extendedUnpadded, extendedOddEnd}) {
        SCOPED_TRACE(bytes.size());
        test::ExpectRewritesFaithfully(bytes, true, TextFormat::Menu, false);
    }
}

// `popups` popups, each inside the one before, around one command.
ByteVector NestedMenu(int popups) {
    TemplateBytes b;
    b.U16(0).U16(0);
    for (int i = 0; i < popups; ++i) {
        b.U16(0x0090).Text(u"P");
    }
    b.U16(0x0080).U16(1).Text(u"Leaf");
    return b.Bytes();
}

TEST(MenuFormat, RefusesMalformedMenus) {
    const ClassicMenu classic = MakeClassicMenu();
    test::ExpectRefusals(
        classic.bytes, TextFormat::Menu,
        {
            {"header cut", [](ByteVector& b) { b.resize(3); }, "the menu header is cut off"},
            {"unknown version", [](ByteVector& b) { test::PutU16(b, 0, 2); },
             "unknown menu template version 2"},
            {"items past the end", [](ByteVector& b) { test::PutU16(b, 2, 0x1000); },
             "the menu's items start past its end"},
            {"item cut in its id", [&](ByteVector& b) { b.resize(classic.lastItem + 3); },
             "a menu item is cut off at offset " + std::to_string(classic.lastItem)},
            {"text without its zero", [](ByteVector& b) { b.resize(b.size() - 2); },
             "a menu text has no terminating zero"},
            {"odd end in a text", [](ByteVector& b) { b.resize(b.size() - 1); },
             "a menu text has no terminating zero"},
            {"top level without its end",
             [&](ByteVector& b) { test::PutU16(b, classic.lastItem, 0x4000); },
             "a menu level ends without its last item"},
            {"popup without its end",
             [&](ByteVector& b) { test::PutU16(b, classic.subLastItem, 0x0000); },
             "a menu level ends without its last item"},
        });
    EXPECT_EQ(test::ParseOrFail(TextFormat::Menu, NestedMenu(31))->Texts().back().hotkeyScope, 31);
    test::ExpectRefusals(NestedMenu(31), TextFormat::Menu,
                         {{"one level too deep",
                           [](ByteVector& b) {
                               b.insert(b.begin() + 4, {0x90, 0, 'P', 0, 0, 0});
                           },
                           "menus nest deeper than 32 levels"},
                          {"far too deep, refused without deep recursion",
                           [](ByteVector& b) { b = NestedMenu(100000); }, "nest deeper"}});
    const ExtendedMenu extended = MakeExtendedMenu();
    test::ExpectRefusals(
        extended.bytes, TextFormat::Menu,
        {
            {"help id cut", [&](ByteVector& b) { b.resize(extended.firstHelpId + 2); },
             "a menu popup's help id is cut off"},
            {"item cut in its fields", [&](ByteVector& b) { b.resize(extended.lastText - 3); },
             "a menu item is cut off"},
            {"text without its zero", [&](ByteVector& b) { b.resize(extended.lastText + 4); },
             "a menu text has no terminating zero"},
            {"last item not last",
             [&](ByteVector& b) { test::PutU16(b, extended.lastText - 2, 0); },
             "a menu level ends without its last item"},
        });
}

TEST(MenuFormat, RefusesTextsThatDoNotFitItsSlots) {
    const auto parsed = test::ParseOrFail(TextFormat::Menu, MakeExtendedMenu().bytes);
    std::vector<std::u16string> withZero = test::TextsOf(*parsed);
    withZero[2] = std::u16string(u"a\0b", 3);
    test::ExpectBuildRefusals(
        *parsed, {{"one fewer", std::vector<std::u16string>(5), "the resource has 6 texts, not 5"},
                  {"a zero", withZero, "text 3 holds a zero character"}});
    // A command with the id 0 keeps its text: emptied, it would be a separator.
    TemplateBytes b;
    b.U16(0).U16(0).U16(0x0080).U16(0).Text(u"Zero");
    const auto zeroId = test::ParseOrFail(TextFormat::Menu, b.Bytes());
    test::ExpectBuildRefusals(*zeroId, {{"emptied", {u""}, "it would read as a separator"}});
}

} // namespace
} // namespace korva::res
