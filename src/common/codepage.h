#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/text.h"

namespace korva {

// Conversions between UTF-16 and Windows-1252, the ANSI code page of every run.
// A code point that 1252 cannot hold becomes one '?' (a valid surrogate pair is
// one code point, a lone surrogate one '?'); there is no best-fit mapping.

// Converts `units` UTF-16LE code units read from unaligned little-endian bytes.
// The caller guarantees that `bytes` holds at least 2 * units bytes.
Text Utf16LeToAnsi(std::span<const std::uint8_t> bytes);

Text Utf16ToAnsi(std::u16string_view text);

char16_t AnsiToUtf16Unit(unsigned char c);

std::u16string AnsiToUtf16(std::string_view text);

// Writes the text as UTF-16LE code units to `out`, which has room for
// 2 * text.size() bytes, and returns the end of what it wrote.
std::uint8_t* PutAnsiAsUtf16Le(std::string_view text, std::uint8_t* out);

} // namespace korva
