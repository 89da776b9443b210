#pragma once

#include <array>
#include <string_view>

namespace korva {

// The case-insensitive comparison of every lookup by name or text: each byte
// is folded to upper case under Windows-1252, then the texts are compared as
// unsigned bytes, a proper prefix being less. Returns -1, 0 or +1.
int CompareText(std::string_view a, std::string_view b);

// The upper-case fold of one 1252 byte.
unsigned char FoldUpper(unsigned char c);

// FoldUpper of every byte, for loops that fold many.
const std::array<unsigned char, 256>& FoldTable();

} // namespace korva
