#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace korva {

// UTF-8 as the texts of a UTF-8 run hold it. Programs' strings are UTF-16
// that need not be well formed: a lone surrogate is carried in the
// three-byte form its code point would take (ED A0 80 to ED BF BF), so that
// every string comes back unit for unit. A pair of surrogates is always the
// four-byte form of its code point, never two three-byte forms, so each
// UTF-16 string has exactly one spelling.

inline constexpr char32_t kReplacementChar = 0xFFFD;

// The byte-order mark that makes a data file UTF-8.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The code point at `pos`, which moves past it. A byte that starts no
// well-formed sequence decodes to U+FFFD and moves `pos` by one, so that
// every caller walking the same bytes takes the same steps. Inline: every
// text of a UTF-8 run passes through it several times.
inline char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t left = text.size() - pos;
    const char32_t lead = s[pos];
    const auto isContinuation = [](unsigned char c) { return (c & 0xC0U) == 0x80U; };
    // The payload bits of the byte at `pos + i`.
    const auto bits = [&](std::size_t i) { return char32_t{s[pos + i]} & 0x3FU; };
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    // The shortest form only: the lowest second byte a lead allows, and the
    // highest, keep out overlong forms and code points above U+10FFFF.
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (left >= 2 && isContinuation(s[pos + 1])) {
            const char32_t c = ((lead & 0x1FU) << 6) | bits(1);
            pos += 2;
            return c;
        }
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        if (left >= 3 && s[pos + 1] >= low && s[pos + 1] <= 0xBF && isContinuation(s[pos + 2])) {
            const char32_t c = ((lead & 0x0FU) << 12) | (bits(1) << 6) | bits(2);
            pos += 3;
            return c;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        if (left >= 4 && s[pos + 1] >= low && s[pos + 1] <= high && isContinuation(s[pos + 2]) &&
            isContinuation(s[pos + 3])) {
            const char32_t c = ((lead & 0x07U) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
            pos += 4;
            return c;
        }
    }
    ++pos;
    return kReplacementChar;
}

// How many of the (up to) eight bytes at `p` are ASCII before the first
// that is not, found at once: walks over a text take them together.
// Interface texts are mostly ASCII, even between letters of other scripts.
std::size_t AsciiPrefix(const unsigned char* p, std::size_t left);

// Writes the code point (at most U+10FFFF; surrogates allowed) to `out`,
// which has room for four bytes, and returns how many it took.
std::size_t EncodeUtf8(char32_t c, char* out);
void AppendUtf8(char32_t c, std::string& out);

// True when every byte belongs to a well-formed sequence, lone surrogates
// included and a pair of surrogates spelt as two sequences excluded.
bool IsValidUtf8(std::string_view text);

// Appends `bytes.size() / 2` UTF-16LE code units as UTF-8.
void AppendUtf16LeAsUtf8(std::span<const std::uint8_t> bytes, std::string& out);

// The UTF-16 code units that PutUtf8AsUtf16Le writes for the text.
std::size_t Utf16LengthOfUtf8(std::string_view text);

// Writes the text as UTF-16LE to `out`, which has room for
// 2 * Utf16LengthOfUtf8(text) bytes, and returns the end of what it wrote.
std::uint8_t* PutUtf8AsUtf16Le(std::string_view text, std::uint8_t* out);

} // namespace korva
