#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/codepage.h"

namespace korva {

// The case-insensitive comparison of every lookup of a text, in the run's
// code page. Returns -1, 0 or +1; a proper prefix is less.
int Compare1252Text(std::string_view a, std::string_view b);
int CompareUtf8Text(std::string_view a, std::string_view b);

// Under 1252 each byte is folded to upper case, then the texts are compared
// as unsigned bytes. Under UTF-8 each code point is folded by Unicode simple
// case folding, then the texts are compared by code point. Equal under it
// means equal for every lookup.
inline int CompareText(std::string_view a, std::string_view b, CodePage codePage) {
    return codePage == CodePage::Utf8 ? CompareUtf8Text(a, b) : Compare1252Text(a, b);
}
// In korva's run's code page, as the sorted string list compares.
inline int CompareText(std::string_view a, std::string_view b) {
    return CompareText(a, b, RunCodePage);
}

// The upper-case fold of one 1252 byte.
unsigned char FoldUpper(unsigned char c);

// FoldUpper of every byte, for loops that fold many.
const std::array<unsigned char, 256>& FoldTable();

// How many leading bytes the texts share, in whole words of eight: bytes
// that are equal fold alike, so a comparison may pass over them unfolded.
std::size_t EqualWordsPrefix(std::string_view a, std::string_view b);

// Eight bytes of the text's folded form from byte `depth` of that form on,
// as one big-endian number, the bytes past its end as 0; `rest` tells how
// many of the eight were there. The folded form is the text with every
// byte folded under 1252, and the UTF-8 of the folded code points under
// UTF-8: comparing folded forms as bytes gives CompareText's order, so texts
// that agree before `depth` have windows in CompareText's order there.
std::uint64_t FoldedWindow(std::string_view text, std::size_t depth, std::uint32_t& rest,
                           CodePage codePage);

} // namespace korva
