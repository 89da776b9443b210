#include "common/compare.h"

#include <array>

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

} // namespace

unsigned char FoldUpper(unsigned char c) {
    return kFold[c];
}

const std::array<unsigned char, 256>& FoldTable() {
    return kFold;
}

int CompareText(std::string_view a, std::string_view b) {
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

} // namespace korva
