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
// the whole run UTF-8.
enum class CodePage { Windows1252, Utf8 };
// korva's run: set once by OpenDataFile, before the program's texts are
// read. The stages' forms that take a CodePage never read it.
extern CodePage RunCodePage;

// Conversions between UTF-16 and a code page. UTF-8 keeps every code unit
// (see text/utf8.h). Under 1252 a code point that it cannot hold becomes
// one '?' (a valid surrogate pair is one code point, a lone surrogate one
// '?'); there is no best-fit mapping, and `lost` tells that it happened.
// The writer of korva's run takes the forms without a code page, which read
// RunCodePage.

// Converts `bytes.size() / 2` UTF-16LE code units read from unaligned
// little-endian bytes into `out`, replacing what it held.
void Utf16LeToAnsi(std::span<const std::uint8_t> bytes, Text& out, bool& lost, CodePage codePage);
Text Utf16LeToAnsi(std::span<const std::uint8_t> bytes, CodePage codePage);

Text Utf16ToAnsi(std::u16string_view text, CodePage codePage);

// The 1252 byte's code unit, whatever the run's code page.
char16_t AnsiToUtf16Unit(unsigned char c);

std::u16string AnsiToUtf16(std::string_view text, CodePage codePage);

// The UTF-16 code units PutAnsiAsUtf16Le writes for the text.
std::size_t AnsiUtf16Length(std::string_view text, CodePage codePage);
inline std::size_t AnsiUtf16Length(std::string_view text) {
    return AnsiUtf16Length(text, RunCodePage);
}

// Writes the text as UTF-16LE code units to `out`, which has room for
// 2 * AnsiUtf16Length(text) bytes, and returns the end of what it wrote.
std::uint8_t* PutAnsiAsUtf16Le(std::string_view text, std::uint8_t* out, CodePage codePage);
inline std::uint8_t* PutAnsiAsUtf16Le(std::string_view text, std::uint8_t* out) {
    return PutAnsiAsUtf16Le(text, out, RunCodePage);
}

} // namespace korva
