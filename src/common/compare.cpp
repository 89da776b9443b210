#include "common/compare.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "common/case_fold.h"
#include "common/utf8.h"

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
    // Where everything up to the window is ASCII, the folded form's bytes
    // are the text's own bytes, folded one by one.
    const std::size_t end = std::min(text.size(), depth + 8);
    if (std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        const std::size_t left = text.size() > depth ? end - depth : 0;
        rest = static_cast<std::uint32_t>(left);
        std::uint64_t window = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            const auto c = i < left ? static_cast<unsigned char>(text[depth + i]) : 0U;
            window = window << 8 | (c >= 'A' && c <= 'Z' ? c + 0x20 : c);
        }
        return window;
    }
    std::uint64_t window = 0;
    std::uint32_t taken = 0;
    std::size_t skipped = 0;
    for (std::size_t pos = 0; pos < text.size() && taken < 8;) {
        char bytes[4];
        const std::size_t count = EncodeUtf8(NextFolded(text, pos), bytes);
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
    std::size_t i = 0;
    std::size_t j = 0;
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

std::uint64_t FoldedWindow(std::string_view text, std::size_t depth, std::uint32_t& rest) {
    return RunCodePage == TCodePage::Utf8 ? FoldedWindowUtf8(text, depth, rest)
                                          : FoldedWindow1252(text, depth, rest);
}

std::size_t CharacterStart(std::string_view text, std::size_t i) {
    if (RunCodePage != TCodePage::Utf8) {
        return i;
    }
    // Decoding never starts at a continuation byte: a sequence takes its
    // continuation bytes along, and a stray one is a character of its own
    // only where no sequence took it, which backing up past it cannot
    // change, since the bytes before are the same in both texts.
    while (i > 0 && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
        --i;
    }
    return i;
}

} // namespace korva
