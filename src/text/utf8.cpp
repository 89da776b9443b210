#include "text/utf8.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korva {
namespace {

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void PutUnit(char32_t unit, std::uint8_t*& out) {
    out[0] = static_cast<std::uint8_t>(unit);
    out[1] = static_cast<std::uint8_t>(unit >> 8);
    out += 2;
}

// `count` (at most eight) ASCII bytes as UTF-16LE code units.
std::uint8_t* WidenAscii(const unsigned char* in, std::size_t count, std::uint8_t* out) {
#if defined(__SSE2__)
    if (count == 8) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_unpacklo_epi8(v, _mm_setzero_si128()));
        return out + 16;
    }
#endif
    for (std::size_t i = 0; i < count; ++i) {
        out[2 * i] = in[i];
        out[2 * i + 1] = 0;
    }
    return out + 2 * count;
}

} // namespace

std::size_t AsciiPrefix(const unsigned char* p, std::size_t left) {
    if (left < 8) {
        std::size_t n = 0;
        while (n < left && p[n] < 0x80) {
            ++n;
        }
        return n;
    }
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    const std::uint64_t high = word & 0x8080808080808080ULL;
    return high == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(high)) / 8;
}

std::size_t EncodeUtf8(char32_t c, char* out) {
    const auto put = [&](std::size_t i, char32_t bits) { out[i] = static_cast<char>(bits); };
    if (c < 0x80) {
        put(0, c);
        return 1;
    }
    if (c < 0x800) {
        put(0, 0xC0 | (c >> 6));
        put(1, 0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        put(0, 0xE0 | (c >> 12));
        put(1, 0x80 | ((c >> 6) & 0x3F));
        put(2, 0x80 | (c & 0x3F));
        return 3;
    }
    put(0, 0xF0 | (c >> 18));
    put(1, 0x80 | ((c >> 12) & 0x3F));
    put(2, 0x80 | ((c >> 6) & 0x3F));
    put(3, 0x80 | (c & 0x3F));
    return 4;
}

void AppendUtf8(char32_t c, std::string& out) {
    char bytes[4];
    out.append(bytes, EncodeUtf8(c, bytes));
}

bool IsValidUtf8(std::string_view text) {
    // Every line of a data file passes here, so the common sequences are
    // checked in place rather than decoded. The bounds are those of
    // DecodeUtf8.
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = p + text.size();
    const auto continues = [&](std::ptrdiff_t i) { return (p[i] & 0xC0) == 0x80; };
    const unsigned char* highSurrogateEnd = nullptr;
    while (p < end) {
        p += AsciiPrefix(p, static_cast<std::size_t>(end - p));
        // Letters of other scripts come in words: take them one after
        // another before looking for ASCII again.
        while (p < end && *p >= 0x80) {
            const unsigned char lead = *p;
            const std::ptrdiff_t left = end - p;
            if (lead >= 0xC2 && lead <= 0xDF) {
                if (left < 2 || !continues(1)) {
                    return false;
                }
                p += 2;
            } else if (lead >= 0xE0 && lead <= 0xEF) {
                const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
                if (left < 3 || p[1] < low || !continues(1) || !continues(2)) {
                    return false;
                }
                // A low surrogate right after a high one is a pair spelt as
                // two, which the four-byte form alone may spell.
                if (lead == 0xED && p[1] >= 0xB0 && p == highSurrogateEnd) {
                    return false;
                }
                if (lead == 0xED && p[1] >= 0xA0 && p[1] < 0xB0) {
                    highSurrogateEnd = p + 3;
                }
                p += 3;
            } else if (lead >= 0xF0 && lead <= 0xF4) {
                const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
                const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
                if (left < 4 || p[1] < low || p[1] > high || !continues(1) || !continues(2) ||
                    !continues(3)) {
                    return false;
                }
                p += 4;
            } else {
                return false;
            }
        }
    }
    return true;
}

void AppendUtf16LeAsUtf8(std::span<const std::uint8_t> bytes, std::string& out) {
    const std::size_t count = bytes.size() / 2;
    const auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    };
    for (std::size_t i = 0; i < count;) {
        // Four ASCII units at once: every high byte zero, every low byte
        // below 0x80. Interface texts are mostly ASCII.
        if (count - i >= 4) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes.data() + 2 * i, sizeof word);
            if ((word & 0xFF80FF80FF80FF80ULL) == 0) {
                const char ascii[] = {static_cast<char>(word), static_cast<char>(word >> 16),
                                      static_cast<char>(word >> 32), static_cast<char>(word >> 48)};
                out.append(ascii, 4);
                i += 4;
                continue;
            }
        }
        const char32_t u = unit(i++);
        if (IsHighSurrogate(u) && i < count && IsLowSurrogate(unit(i))) {
            AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (unit(i++) - 0xDC00), out);
        } else {
            AppendUtf8(u, out);
        }
    }
}

std::size_t Utf16LengthOfUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t ascii = AsciiPrefix(p + pos, text.size() - pos);
        pos += ascii;
        units += ascii;
        while (pos < text.size() && p[pos] >= 0x80) {
            units += DecodeUtf8(text, pos) >= 0x10000 ? 2U : 1U;
        }
    }
    return units;
}

std::uint8_t* PutUtf8AsUtf16Le(std::string_view text, std::uint8_t* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t ascii = AsciiPrefix(p + pos, text.size() - pos);
        out = WidenAscii(p + pos, ascii, out);
        pos += ascii;
        while (pos < text.size() && p[pos] >= 0x80) {
            const char32_t c = DecodeUtf8(text, pos);
            if (c >= 0x10000) {
                PutUnit(0xD800 + ((c - 0x10000) >> 10), out);
                PutUnit(0xDC00 + ((c - 0x10000) & 0x3FF), out);
            } else {
                PutUnit(c, out);
            }
        }
    }
    return out;
}

} // namespace korva
