#pragma once

#include <string>
#include <string_view>

namespace korva {

// A counted 8-bit text in the run's ANSI code page (Windows-1252). It may hold
// NUL characters, so it is never handled as a C string.
using Text = std::string;

// A translation that is present but empty, told apart from one that is absent
// (the empty text).
inline const Text EmptyTextMarker{'\0'};

// The value of a hexadecimal digit (either case), or -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace korva
