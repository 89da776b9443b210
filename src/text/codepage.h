#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "text/text.h"

namespace korva {

// The code page of a run's texts, the ANSI code page of the Windows calls:
// Windows-1252, unless the data file begins with the UTF-8 mark and makes
// the whole run UTF-8. Set once, before the program's texts are read.
enum class CodePage { Windows1252, Utf8 };
extern CodePage RunCodePage;

// Conversions between UTF-16 and the run's code page. UTF-8 keeps every
// code unit (see text/utf8.h). Under 1252 a code point that it cannot hold
// becomes one '?' (a valid surrogate pair is one code point, a lone
// surrogate one '?'); there is no best-fit mapping, and `lost` tells that it
// happened.

// Converts `bytes.size() / 2` UTF-16LE code units read from unaligned
// little-endian bytes into `out`, replacing what it held.
void Utf16LeToAnsi(std::span<const std::uint8_t> bytes, Text& out, bool& lost);
Text Utf16LeToAnsi(std::span<const std::uint8_t> bytes);

Text Utf16ToAnsi(std::u16string_view text);

// The 1252 byte's code unit, whatever the run's code page.
char16_t AnsiToUtf16Unit(unsigned char c);

std::u16string AnsiToUtf16(std::string_view text);

// The UTF-16 code units PutAnsiAsUtf16Le writes for the text.
std::size_t AnsiUtf16Length(std::string_view text);

// Writes the text as UTF-16LE code units to `out`, which has room for
// 2 * AnsiUtf16Length(text) bytes, and returns the end of what it wrote.
std::uint8_t* PutAnsiAsUtf16Le(std::string_view text, std::uint8_t* out);

} // namespace korva
