#include "common/utf8.h"

#include <cstring>

namespace korva {
namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Eight bytes from `p`, to test or copy a run of ASCII at once.
std::uint64_t Load8(const char* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

void PutUnit(char32_t unit, std::uint8_t*& out) {
    out[0] = static_cast<std::uint8_t>(unit);
    out[1] = static_cast<std::uint8_t>(unit >> 8);
    out += 2;
}

} // namespace

char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    // The shortest form only: the lowest second byte a lead allows, and the
    // highest, keep out overlong forms and code points above U+10FFFF.
    std::size_t length = 0;
    char32_t c = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        ++pos;
        return kReplacementChar;
    }
    if (text.size() - pos < length || byte(pos + 1) < low || byte(pos + 1) > high) {
        ++pos;
        return kReplacementChar;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(pos + i))) {
            ++pos;
            return kReplacementChar;
        }
        c = (c << 6) | (byte(pos + i) & 0x3F);
    }
    pos += length;
    return c;
}

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        const char bytes[] = {static_cast<char>(0xC0 | (c >> 6)),
                              static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, 2);
    } else if (c < 0x10000) {
        const char bytes[] = {static_cast<char>(0xE0 | (c >> 12)),
                              static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                              static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, 3);
    } else {
        const char bytes[] = {
            static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
            static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, 4);
    }
}

bool IsValidUtf8(std::string_view text) {
    bool afterHighSurrogate = false;
    for (std::size_t pos = 0; pos < text.size();) {
        if (text.size() - pos >= 8 && (Load8(text.data() + pos) & kHighBits) == 0) {
            pos += 8;
            afterHighSurrogate = false;
            continue;
        }
        const std::size_t start = pos;
        const char32_t c = DecodeUtf8(text, pos);
        // U+FFFD itself is three bytes long; a replacement is one.
        if (c == kReplacementChar && pos - start == 1) {
            return false;
        }
        if (afterHighSurrogate && IsLowSurrogate(c)) {
            return false;
        }
        afterHighSurrogate = IsHighSurrogate(c);
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
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        if (text.size() - pos >= 8 && (Load8(text.data() + pos) & kHighBits) == 0) {
            pos += 8;
            units += 8;
            continue;
        }
        units += DecodeUtf8(text, pos) >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::uint8_t* PutUtf8AsUtf16Le(std::string_view text, std::uint8_t* out) {
    for (std::size_t pos = 0; pos < text.size();) {
        if (text.size() - pos >= 8 && (Load8(text.data() + pos) & kHighBits) == 0) {
            for (std::size_t i = 0; i < 8; ++i) {
                out[2 * i] = static_cast<std::uint8_t>(text[pos + i]);
                out[2 * i + 1] = 0;
            }
            out += 16;
            pos += 8;
            continue;
        }
        const char32_t c = DecodeUtf8(text, pos);
        if (c >= 0x10000) {
            PutUnit(0xD800 + ((c - 0x10000) >> 10), out);
            PutUnit(0xDC00 + ((c - 0x10000) & 0x3FF), out);
        } else {
            PutUnit(c, out);
        }
    }
    return out;
}

} // namespace korva
