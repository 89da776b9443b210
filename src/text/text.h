#pragma once

#include <cstdint>
#include <optional>
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

// `s` without the characters that `isTrimmed` names at either end.
template <typename Predicate>
constexpr std::string_view TrimIf(std::string_view s, Predicate isTrimmed) {
    while (!s.empty() && isTrimmed(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isTrimmed(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Without the characters 0 to 32 (every control character and the space) at
// either end: how the data file's lines and the parts of its text lines are
// trimmed.
constexpr std::string_view TrimLine(std::string_view s) {
    return TrimIf(s, [](char c) { return static_cast<unsigned char>(c) <= 32; });
}

// Without spaces and tabs at either end: how the words of korva-dat's own
// lines are trimmed, where any other character is part of a word.
constexpr std::string_view TrimBlanks(std::string_view s) {
    return TrimIf(s, [](char c) { return c == ' ' || c == '\t'; });
}

// The forms an integer may take; by default a plain decimal number.
struct IntegerSyntax {
    bool leadingSpaces = false;       // spaces before the number are passed over
    bool sign = false;                // "+" or "-" before a decimal number
    bool hexPrefixes = false;         // "$", "x", "X", "0x" or "0X" begin a hexadecimal one
    std::uint32_t limit = UINT32_MAX; // the largest magnitude
};

// A whole text read as an integer of `syntax`; nothing for an empty text,
// any other character (a trailing space too) or a magnitude above the limit.
constexpr std::optional<std::int64_t> ParseInteger(std::string_view s, IntegerSyntax syntax) {
    while (syntax.leadingSpaces && s.starts_with(' ')) {
        s.remove_prefix(1);
    }
    int base = 10;
    bool negative = false;
    if (syntax.hexPrefixes && (s.starts_with("0x") || s.starts_with("0X"))) {
        base = 16;
        s.remove_prefix(2);
    } else if (syntax.hexPrefixes &&
               (s.starts_with('$') || s.starts_with('x') || s.starts_with('X'))) {
        base = 16;
        s.remove_prefix(1);
    } else if (syntax.sign && (s.starts_with('+') || s.starts_with('-'))) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : s) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        // Checked at every digit, the value never nears the range's end.
        value = value * base + digit;
        if (value > std::int64_t{syntax.limit}) {
            return std::nullopt;
        }
    }
    return negative ? -value : value;
}

} // namespace korva
