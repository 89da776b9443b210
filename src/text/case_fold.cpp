#include "text/case_fold.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace korva {
namespace {

#include "case_folding.inc"

// Two levels, so that a lookup is two loads: the code points in blocks of
// 128, each block naming its row of differences; the many blocks without a
// folding share row 0, all zeros.
constexpr std::size_t kBlockBits = 7;
constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;
constexpr std::size_t kBlockCount = 0x110000 >> kBlockBits;

constexpr std::size_t CountFoldingBlocks() {
    std::size_t count = 0;
    std::size_t last = kBlockCount;
    for (const auto& [from, to] : kCaseFolding) {
        if (from >> kBlockBits != last) { // the pairs come in order of code point
            last = from >> kBlockBits;
            ++count;
        }
    }
    return count;
}

constexpr std::size_t kRows = CountFoldingBlocks() + 1;
static_assert(kRows <= 256, "block numbers must fit a byte");

struct CaseFoldTable {
    std::array<std::uint8_t, kBlockCount> rowOf{};
    std::array<std::array<std::int32_t, kBlockSize>, kRows> delta{};
};

constexpr CaseFoldTable MakeFoldTable() {
    CaseFoldTable table;
    std::size_t rows = 0;
    std::size_t last = kBlockCount;
    for (const auto& [from, to] : kCaseFolding) {
        const std::size_t block = from >> kBlockBits;
        if (block != last) {
            last = block;
            table.rowOf[block] = static_cast<std::uint8_t>(++rows);
        }
        table.delta[rows][from & (kBlockSize - 1)] =
            static_cast<std::int32_t>(to) - static_cast<std::int32_t>(from);
    }
    return table;
}

constexpr CaseFoldTable kFoldTable = MakeFoldTable();

} // namespace

char32_t FoldCase(char32_t c) {
    if (c >= 0x110000) {
        return c;
    }
    const std::int32_t delta =
        kFoldTable.delta[kFoldTable.rowOf[c >> kBlockBits]][c & (kBlockSize - 1)];
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + delta);
}

} // namespace korva
