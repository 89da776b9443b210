#include "text/compare.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "text/case_fold.h"
#include "text/utf8.h"

namespace korva {
namespace {

constexpr std::array<unsigned char, 256> MakeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        table[i] = static_cast<unsigned char>(i);
    }
    for (unsigned c = 'a'; c <= 'z'; ++c) {
        table[c] = static_cast<unsigned char>(c - 0x20);
    }
    for (unsigned c = 0xE0; c <= 0xFE; ++c) {
        if (c != 0xF7) { // the division sign has no upper case
            table[c] = static_cast<unsigned char>(c - 0x20);
        }
    }
    table[0x9A] = 0x8A; // s caron
    table[0x9C] = 0x8C; // oe ligature
    table[0x9E] = 0x8E; // z caron
    table[0xFF] = 0x9F; // y diaeresis
    return table;
}

constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The folded code point at `pos`, which moves past it. ASCII, most of every
// interface text, folds without the table.
char32_t NextFolded(std::string_view text, std::size_t& pos) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
        ++pos;
        return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    }
    return FoldCase(DecodeUtf8(text, pos));
}

std::uint64_t FoldedWindow1252(std::string_view text, std::size_t depth, std::uint32_t& rest) {
    const std::size_t left = text.size() > depth ? text.size() - depth : 0;
    rest = static_cast<std::uint32_t>(left < 8 ? left : 8);
    std::uint64_t window = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const unsigned char c = i < rest ? kFold[static_cast<unsigned char>(text[depth + i])] : 0;
        window = window << 8 | c;
    }
    return window;
}

std::uint64_t FoldedWindowUtf8(std::string_view text, std::size_t depth, std::uint32_t& rest) {
    std::uint64_t window = 0;
    std::uint32_t taken = 0;
    std::size_t skipped = 0;
    for (std::size_t pos = 0; pos < text.size() && taken < 8;) {
        const auto c = static_cast<unsigned char>(text[pos]);
        // ASCII is one byte of the folded form as of the text.
        if (c < 0x80) {
            ++pos;
            if (skipped < depth) {
                ++skipped;
            } else {
                window = window << 8 | (c >= 'A' && c <= 'Z' ? c + 0x20U : c);
                ++taken;
            }
            continue;
        }
        char bytes[4];
        const std::size_t count = EncodeUtf8(FoldCase(DecodeUtf8(text, pos)), bytes);
        for (std::size_t i = 0; i < count; ++i) {
            if (skipped < depth) {
                ++skipped;
            } else if (taken < 8) {
                window = window << 8 | static_cast<unsigned char>(bytes[i]);
                ++taken;
            }
        }
    }
    rest = taken;
    return taken == 0 ? 0 : window << (8 * (8 - taken));
}

} // namespace

unsigned char FoldUpper(unsigned char c) {
    return kFold[c];
}

const std::array<unsigned char, 256>& FoldTable() {
    return kFold;
}

int Compare1252Text(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = kFold[static_cast<unsigned char>(a[i])];
        const unsigned char y = kFold[static_cast<unsigned char>(b[i])];
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

int CompareUtf8Text(std::string_view a, std::string_view b) {
    // A search ends on texts that are equal, most often byte for byte, and
    // passes many that share their beginning: the equal bytes are skipped
    // eight at a time. Decoding then resumes where a character starts,
    // which is where it would be had it started at the beginning: a
    // sequence takes its continuation bytes along, and a stray one, decoded
    // alone, stays alone when decoding starts before it.
    std::size_t same = EqualWordsPrefix(a, b);
    if (same == a.size() && a.size() == b.size()) {
        return 0;
    }
    while (same > 0 && ((same < a.size() && IsContinuation(a[same])) ||
                        (same < b.size() && IsContinuation(b[same])))) {
        --same;
    }
    std::size_t i = same;
    std::size_t j = same;
    while (i < a.size() && j < b.size()) {
        // Equal ASCII bytes fold alike; most texts a search compares share
        // their beginnings.
        if (a[i] == b[j] && static_cast<unsigned char>(a[i]) < 0x80) {
            ++i;
            ++j;
            continue;
        }
        const char32_t x = NextFolded(a, i);
        const char32_t y = NextFolded(b, j);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (i == a.size() && j == b.size()) {
        return 0;
    }
    return i == a.size() ? -1 : 1;
}

std::size_t EqualWordsPrefix(std::string_view a, std::string_view b) {
    const std::size_t shorter = std::min(a.size(), b.size());
    std::size_t same = 0;
    for (; shorter - same >= sizeof(std::uint64_t); same += sizeof(std::uint64_t)) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a.data() + same, sizeof x);
        std::memcpy(&y, b.data() + same, sizeof y);
        if (x != y) {
            break;
        }
    }
    return same;
}

std::uint64_t FoldedWindow(std::string_view text, std::size_t depth, std::uint32_t& rest,
                           CodePage codePage) {
    return codePage == CodePage::Utf8 ? FoldedWindowUtf8(text, depth, rest)
                                      : FoldedWindow1252(text, depth, rest);
}

} // namespace korva
