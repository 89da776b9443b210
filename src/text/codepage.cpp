#include "text/codepage.h"

#include <array>
#include <vector>

#include "text/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korva {

CodePage RunCodePage = CodePage::Windows1252;

namespace {

// The 0x80-0x9F row of Windows-1252. The five bytes the code page leaves
// unassigned map to the C1 control of the same value, as Windows does.
constexpr std::array<char16_t, 32> kHighRow = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char kDefaultChar = '?';

constexpr char16_t UnitOf(unsigned char c) {
    return c >= 0x80 && c <= 0x9F ? kHighRow[c - 0x80] : static_cast<char16_t>(c);
}

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Maps one BMP code unit that is not a surrogate to its 1252 byte, or to the
// default character.
char UnitToAnsi(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
        return static_cast<char>(u);
    }
    for (std::size_t i = 0; i < kHighRow.size(); ++i) {
        if (kHighRow[i] == u) {
            return static_cast<char>(0x80 + i);
        }
    }
    return kDefaultChar;
}

void Utf16LeTo1252(std::span<const std::uint8_t> bytes, Text& out, bool& lost) {
    const std::size_t count = bytes.size() / 2;
    const auto unit = [&](std::size_t i) {
        return static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    };
    out.resize(count);
    std::size_t size = 0;
    lost = false;
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t u = unit(i);
        if (u < 0x80) {
            out[size++] = static_cast<char>(u);
            continue;
        }
        if (IsHighSurrogate(u) && i + 1 < count && IsLowSurrogate(unit(i + 1))) {
            ++i; // a pair is one code point, and 1252 holds none above the BMP
            out[size] = kDefaultChar;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            out[size] = kDefaultChar;
        } else {
            out[size] = UnitToAnsi(u);
            // '?' itself is below 0x80, so only a replacement lands here.
            if (out[size] != kDefaultChar) {
                ++size;
                continue;
            }
        }
        ++size;
        lost = true;
    }
    out.resize(size);
}

} // namespace

void Utf16LeToAnsi(std::span<const std::uint8_t> bytes, Text& out, bool& lost, CodePage codePage) {
    if (codePage == CodePage::Utf8) {
        out.clear();
        AppendUtf16LeAsUtf8(bytes, out);
        lost = false;
        return;
    }
    Utf16LeTo1252(bytes, out, lost);
}

Text Utf16LeToAnsi(std::span<const std::uint8_t> bytes, CodePage codePage) {
    Text out;
    bool lost = false;
    Utf16LeToAnsi(bytes, out, lost, codePage);
    return out;
}

Text Utf16ToAnsi(std::u16string_view text, CodePage codePage) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(2 * text.size());
    for (const char16_t u : text) {
        bytes.push_back(static_cast<std::uint8_t>(u));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return Utf16LeToAnsi(bytes, codePage);
}

char16_t AnsiToUtf16Unit(unsigned char c) {
    return UnitOf(c);
}

std::u16string AnsiToUtf16(std::string_view text, CodePage codePage) {
    std::vector<std::uint8_t> bytes(2 * AnsiUtf16Length(text, codePage));
    PutAnsiAsUtf16Le(text, bytes.data(), codePage);
    std::u16string out(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return out;
}

std::size_t AnsiUtf16Length(std::string_view text, CodePage codePage) {
    // 1252 is a single-byte code page: one code unit per character.
    return codePage == CodePage::Utf8 ? Utf16LengthOfUtf8(text) : text.size();
}

namespace {

// Every byte's two UTF-16LE bytes, so that converting a text is one load and
// one store per character instead of a branch on the high row.
struct Utf16LePairs {
    std::array<std::array<std::uint8_t, 2>, 256> pairs{};
};

constexpr Utf16LePairs MakeUtf16LePairs() {
    Utf16LePairs table;
    for (unsigned c = 0; c < 256; ++c) {
        const char16_t u = UnitOf(static_cast<unsigned char>(c));
        table.pairs[c] = {static_cast<std::uint8_t>(u & 0xFF), static_cast<std::uint8_t>(u >> 8)};
    }
    return table;
}

constexpr Utf16LePairs kUtf16LePairs = MakeUtf16LePairs();

} // namespace

std::uint8_t* PutAnsiAsUtf16Le(std::string_view text, std::uint8_t* out, CodePage codePage) {
    if (codePage == CodePage::Utf8) {
        return PutUtf8AsUtf16Le(text, out);
    }
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    const auto putOne = [&](unsigned char c) {
        const auto& pair = kUtf16LePairs.pairs[c];
        out[0] = pair[0];
        out[1] = pair[1];
        out += 2;
    };
#if defined(__SSE2__)
    // Every byte outside 0x80-0x9F is its own code unit, so sixteen bytes
    // widen at once by a zero after each, and only the few of that row are
    // then looked up.
    const __m128i zero = _mm_setzero_si128();
    const __m128i endOfHighRow = _mm_set1_epi8(static_cast<char>(0xA0));
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(v, zero));
        // Signed, 0x80-0x9F are the only bytes below 0xA0.
        for (auto row = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(v, endOfHighRow)));
             row != 0; row &= row - 1) {
            const auto k = static_cast<std::size_t>(__builtin_ctz(row));
            const auto& pair = kUtf16LePairs.pairs[in[i + k]];
            out[2 * k] = pair[0];
            out[2 * k + 1] = pair[1];
        }
        out += 32;
    }
#endif
    for (; i < size; ++i) {
        putOne(in[i]);
    }
    return out;
}

} // namespace korva
