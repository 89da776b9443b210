#include "datafile/text_sort.h"

#include <array>
#include <cstring>

#include "common/compare.h"

namespace korva {
namespace {

const std::array<unsigned char, 256>& FoldTable() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (std::size_t c = 0; c < t.size(); ++c) {
            t[c] = FoldUpper(static_cast<unsigned char>(c));
        }
        return t;
    }();
    return table;
}

} // namespace

int CompareSameAsText(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= n; i += sizeof(std::uint64_t)) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a.data() + i, sizeof x);
        std::memcpy(&y, b.data() + i, sizeof y);
        if (x != y) {
            break;
        }
    }
    return CompareText(a.substr(i), b.substr(i));
}

std::uint64_t FoldedWindow(std::string_view text, std::size_t depth, std::uint32_t& rest) {
    const std::array<unsigned char, 256>& fold = FoldTable();
    const std::size_t left = text.size() > depth ? text.size() - depth : 0;
    rest = static_cast<std::uint32_t>(std::min<std::size_t>(left, 8));
    std::uint64_t window = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const unsigned char c =
            i < rest ? fold[static_cast<unsigned char>(text[depth + i])] : 0;
        window = window << 8 | c;
    }
    return window;
}

} // namespace korva
