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

constexpr std::uint32_t kDsSetFont = 0x40;
constexpr std::uint32_t kDsShellFont = 0x48;

// A DIALOG with a font and the kinds of control text there are, and where
// its parts went.
struct Dialog {
    ByteVector bytes;
    std::size_t count = 0;     // the control count
    std::size_t menu = 0;      // the menu field
    std::size_t className = 0; // the class field
    std::size_t caption = 0;
    std::size_t font = 0;
    std::vector<std::size_t> controls; // where each control begins
    std::size_t customClass = 0;       // a control's class given by name
    std::size_t customData = 0;        // a control's creation data count
    std::size_t lastText = 0;          // the last control's text
};

Dialog MakeDialog() {
    Dialog d;
    TemplateBytes b;
    b.U32(0x80C80000 | kDsSetFont).U32(0); // style, extended style
    d.count = b.Size();
    b.U16(4).U16(10).U16(20).U16(200).U16(100); // 4 controls; x, y, cx, cy
    d.menu = b.Size();
    b.U16(0); // no menu
    d.className = b.Size();
    b.U16(0); // the default class
    d.caption = b.Size();
    b.Text(u"About");
    d.font = b.Size();
    b.U16(8).Text(u"MS Shell Dlg");
    const auto control = [&](std::uint32_t style, std::uint16_t cx, std::uint16_t cy,
                             std::uint16_t id) {
        b.Align4();
        d.controls.push_back(b.Size());
        b.U32(style).U32(0).U16(10).U16(20).U16(cx).U16(cy).U16(id);
    };
    control(0x50010001, 50, 14, 1);
    b.U16(0xFFFF).U16(0x80).Text(u"&OK").U16(0); // button, no creation data
    control(0x50020000, 100, 8, 0xFFFF);         // IDC_STATIC
    b.U16(0xFFFF).U16(0x82).Text(u"Version 1.0").U16(0);
    control(0x50810080, 100, 12, 1001);
    d.customClass = b.Size();
    b.Text(u"Edit").Text(u"");
    d.customData = b.Size();
    b.U16(2).U16(0x1234); // creation data: 2 bytes
    control(0x5000000E, 20, 20, 1002);
    b.U16(0xFFFF).U16(0x82);
    b.U16(0xFFFF).U16(5).U16(0); // an icon's ordinal: not a text
    d.bytes = b.Bytes();
    return d;
}

struct DialogEx {
    ByteVector bytes;
    std::size_t count = 0;
    std::size_t menu = 0;
    std::size_t className = 0;
    std::size_t font = 0;
    std::size_t customData = 0;
    std::size_t lastControl = 0;
    std::size_t lastText = 0;
};

DialogEx MakeDialogEx() {
    DialogEx d;
    TemplateBytes b;
    b.U16(1).U16(0xFFFF).U32(555).U32(0x100).U32(0x80C80000 | kDsShellFont);
    d.count = b.Size();
    b.U16(4).U16(0).U16(0).U16(180).U16(90);
    d.menu = b.Size();
    b.U16(0xFFFF).U16(7); // menu 7
    d.className = b.Size();
    b.Text(u"MyDlgClass");
    b.Text(u""); // an empty caption
    d.font = b.Size();
    b.U16(9).U16(700).U16(0xCC01).Text(u"Segoe UI"); // points, weight, italic, charset 204
    const auto control = [&](std::uint32_t help, std::uint32_t style, std::uint32_t id) {
        b.Align4();
        d.lastControl = b.Size();
        b.U32(help).U32(4).U32(style).U16(10).U16(70).U16(50).U16(14).U32(id);
    };
    control(99, 0x50010000, 2);
    b.U16(0xFFFF).U16(0x80).Text(u"Cancel").U16(0);
    control(0, 0x50000000, 2001);
    b.Text(u"MyCustom").Text(u"Custom text");
    d.customData = b.Size();
    b.U16(6).U16(1).U16(2).U16(3);
    control(0, 0x50000003, 2002);
    b.U16(0xFFFF).U16(0x82).U16(0xFFFF).U16(5).U16(0);
    control(0, 0x50020000, 0xFFFFFFFF);
    b.U16(0xFFFF).U16(0x82);
    d.lastText = b.Size();
    b.Text(u"Odd").U16(3).U16(0x0201).Raw({3}); // an odd length of creation data
    d.bytes = b.Bytes();
    return d;
}

struct Expected {
    std::u16string text;
    std::string layout; // where|scope|cx|cy|class|style|points
};

std::vector<Expected> Read(const ByteVector& bytes) {
    const auto parsed = test::ParseOrFail(TextFormat::Dialog, bytes);
    std::vector<Expected> out;
    const std::vector<std::string> layout = test::LayoutOf(*parsed, true);
    for (std::size_t i = 0; i < layout.size(); ++i) {
        out.push_back({parsed->Texts()[i].text, layout[i]});
    }
    return out;
}

bool operator==(const Expected& a, const Expected& b) {
    return a.text == b.text && a.layout == b.layout;
}

void PrintTo(const Expected& e, std::ostream* out) {
    *out << e.layout << " (" << e.text.size() << " units)";
}

TEST(DialogFormat, ReadsCaptionAndControlTextsWithTheirBoxes) {
    EXPECT_EQ(Read(MakeDialog().bytes), (std::vector<Expected>{
                                            {u"About", "caption|-1|0|0|0|0|0"},
                                            {u"&OK", "control 1|0|50|14|128|1342242817|8"},
                                            {u"Version 1.0", "control -1|0|100|8|130|1342308352|8"},
                                            {u"", "control 1001|0|100|12|0|1350631552|8"},
                                        }));
    EXPECT_EQ(Read(MakeDialogEx().bytes),
              (std::vector<Expected>{
                  {u"", "caption|-1|0|0|0|0|0"},
                  {u"Cancel", "control 2|0|50|14|128|1342242816|9"},
                  {u"Custom text", "control 2001|0|50|14|0|1342177280|9"},
                  {u"Odd", "control -1|0|50|14|130|1342308352|9"},
              }));
}

// Without DS_SETFONT there is no font; with the size 0x7FFF the message box
// font is meant, and no face follows.
TEST(DialogFormat, FontSizeIsZeroWithoutAFaceOfItsOwn) {
    for (const bool messageBoxFont : {false, true}) {
        TemplateBytes b;
        b.U32(0x80C80000 | (messageBoxFont ? kDsSetFont : 0)).U32(0);
        b.U16(1).U16(0).U16(0).U16(10).U16(10).U16(0).U16(0).Text(u"T");
        if (messageBoxFont) {
            b.U16(0x7FFF);
        }
        b.Align4().U32(0).U32(0).U16(0).U16(0).U16(30).U16(8).U16(7);
        b.U16(0xFFFF).U16(0x82).Text(u"x").U16(0);
        SCOPED_TRACE(messageBoxFont);
        EXPECT_EQ(Read(b.Bytes()), (std::vector<Expected>{{u"T", "caption|-1|0|0|0|0|0"},
                                                          {u"x", "control 7|0|30|8|130|0|0"}}));
        test::ExpectRewritesFaithfully(b.Bytes(), false, TextFormat::Dialog);
    }
}

TEST(DialogFormat, WritesOtherTextsKeepingEverythingElse) {
    ByteVector withTail = MakeDialog().bytes;
    withTail.insert(withTail.end(), {0, 0, 0xEE}); // padding that the end may not need, then more
    ByteVector exPadded = MakeDialogEx().bytes;
    exPadded.resize(exPadded.size() + 3);
    ByteVector noControls = MakeDialog().bytes;
    test::PutU16(noControls, MakeDialog().count, 0);
    noControls.resize(MakeDialog().controls[0]); // with the padding before the first control
    ByteVector noControlsUnpadded = noControls;
    noControlsUnpadded.resize(noControls.size() - 2);
    for (const ByteVector& bytes :
         {MakeDialog().bytes, withTail, MakeDialogEx().bytes, exPadded, noControlsUnpadded}) {
        SCOPED_TRACE(bytes.size());
        test::ExpectRewritesFaithfully(bytes, false, TextFormat::Dialog);
    }
    test::ExpectRewritesFaithfully(noControls, false, TextFormat::Dialog, false);
}

TEST(DialogFormat, RefusesMalformedDialogs) {
    const Dialog plain = MakeDialog();
    test::ExpectRefusals(
        plain.bytes, TextFormat::Dialog,
        {
            {"header cut", [](ByteVector& b) { b.resize(17); }, "the dialog header is cut off"},
            {"menu name without its zero", [&](ByteVector& b) { b.resize(plain.menu); },
             "the dialog's menu name is cut off"},
            {"class ordinal cut",
             [&](ByteVector& b) {
                 test::PutU16(b, plain.className, 0xFFFF);
                 b.resize(plain.className + 3);
             },
             "the dialog's class name is cut off"},
            {"caption without its zero", [&](ByteVector& b) { b.resize(plain.caption + 6); },
             "the dialog's caption has no terminating zero"},
            {"font cut", [&](ByteVector& b) { b.resize(plain.font + 1); },
             "the dialog's font is cut off"},
            {"font name without its zero", [&](ByteVector& b) { b.resize(plain.font + 8); },
             "the dialog's font name has no terminating zero"},
            {"count past the data", [&](ByteVector& b) { test::PutU16(b, plain.count, 0xFFFF); },
             "the dialog counts 65535 controls, more than its data can hold"},
            {"one control too many", [&](ByteVector& b) { test::PutU16(b, plain.count, 5); },
             "dialog control 5 at offset " + std::to_string(plain.bytes.size()) + " is cut off"},
            {"control cut in its fields", [&](ByteVector& b) { b.resize(plain.controls[3] + 17); },
             "dialog control 4 at offset " + std::to_string(plain.controls[3]) + " is cut off"},
            {"control class without its zero",
             [&](ByteVector& b) { b.resize(plain.customClass + 6); },
             "dialog control 3 at offset " + std::to_string(plain.controls[2]) +
                 ": its class name has no terminating zero"},
            {"creation data past the end",
             [&](ByteVector& b) { test::PutU16(b, plain.customData, 0x4000); },
             "its 16384 bytes of creation data run past the end"},
            {"creation data count cut", [&](ByteVector& b) { b.resize(b.size() - 1); },
             "dialog control 4 at offset " + std::to_string(plain.controls[3]) + " is cut off"},
            {"ordinal text cut", [&](ByteVector& b) { b.resize(b.size() - 3); },
             "dialog control 4 at offset " + std::to_string(plain.controls[3]) + " is cut off"},
        });
    const DialogEx ex = MakeDialogEx();
    test::ExpectRefusals(
        ex.bytes, TextFormat::Dialog,
        {
            {"header cut", [](ByteVector& b) { b.resize(25); }, "the dialog header is cut off"},
            {"class name without its zero", [&](ByteVector& b) { b.resize(ex.className + 8); },
             "the dialog's class name is cut off"},
            {"font cut before its face", [&](ByteVector& b) { b.resize(ex.font + 5); },
             "the dialog's font is cut off"},
            {"control cut in its id", [&](ByteVector& b) { b.resize(ex.lastControl + 22); },
             "is cut off"},
            {"text without its zero", [&](ByteVector& b) { b.resize(ex.lastText + 4); },
             ": its text has no terminating zero"},
            {"creation data one byte short", [](ByteVector& b) { b.resize(b.size() - 1); },
             "its 3 bytes of creation data run past the end"},
            {"creation data past the end",
             [&](ByteVector& b) { test::PutU16(b, ex.customData, 0xFFFF); },
             "its 65535 bytes of creation data run past the end"},
        });
}

TEST(DialogFormat, RefusesTextsTheFormatCannotHold) {
    const auto parsed = test::ParseOrFail(TextFormat::Dialog, MakeDialog().bytes);
    std::vector<std::u16string> ordinalLike = test::TextsOf(*parsed);
    ordinalLike[3] = u"\xFFFF"
                     u"5";
    std::vector<std::u16string> withZero = test::TextsOf(*parsed);
    withZero[0] = std::u16string(u"A\0", 2);
    test::ExpectBuildRefusals(
        *parsed,
        {{"an ordinal's mark", ordinalLike, "text 4 begins with U+FFFF, which marks an ordinal"},
         {"a zero", withZero, "text 1 holds a zero character"},
         {"one more", std::vector<std::u16string>(5), "the resource has 4 texts, not 5"}});
}

} // namespace
} // namespace korva::res
