#pragma once

#include <string>
#include <string_view>

namespace korva::dat {

// The pseudo-locales korva-dat pseudo fills: Windows' own, so that a
// pseudo build runs on an unchanged Windows and its loader.
inline constexpr std::string_view kPseudoTag = "qps-ploc";          // 0x0501
inline constexpr std::string_view kMirroredPseudoTag = "qps-plocm"; // 0x09FF

enum class PseudoStyle {
    Accented, // qps-ploc
    Mirrored, // qps-plocm: the same, shown right to left
};

// A program's text (UTF-8, as a UTF-8 run holds it) pseudo-translated:
// still readable, but plainly not the program's own, so that a text left
// in the program shows, and a third longer, so that a control that
// cannot grow shows too:
//   "&Open...\tCtrl+O"   ->  "[&Oþéñ...···]\tCtrl+O"
//   "%d files of %s"      ->  "[%d ƒíłéš öƒ %s·····]"
// - each ASCII letter becomes an accented look-alike (a -> å, e -> é);
// - the text is put in brackets, "·" padding a third of its length before
//   the closing one, so that a text cut off (or pieced together from
//   others) shows where;
// - what a program or Windows reads in it stays as it is: printf
//   conversions and FormatMessage inserts as the placeholder checks read
//   them (%d, %-5.2f, %ls, %%, %1, %2!d!), the letter an '&' marks (so the
//   keyboard still reaches it; "&&" is a literal '&'), and everything from
//   the first tab on (a menu's shortcut, "Ctrl+O");
// - line breaks and blanks at the end, FormatMessage's %n, %r and %0
//   among them, stay after the closing bracket, where a message's line
//   ends;
// - every other character, and every byte that is not an ASCII letter
//   (control characters, lone surrogates), is kept as it is.
// Mirrored, the bracketed part also goes between U+202E (right-to-left
// override) and U+202C (pop directional formatting): shown right to left
// character by character, as a right-to-left language's text is aligned
// and ordered, while the stored order keeps what the program reads intact.
// Never longer than korva can write (65535 UTF-16 code units): the
// padding, then the brackets give way. The same text always gives the same
// bytes.
std::string PseudoTranslate(std::string_view text, PseudoStyle style);

} // namespace korva::dat
