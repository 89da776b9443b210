#include "datafile/text_filter.h"

#include <array>
#include <bit>
#include <stdexcept>

#include "common/compare.h"

namespace korva {
namespace {

std::uint64_t Mix(std::uint64_t h) {
    h *= 0x9E3779B97F4A7C15ULL;
    return h ^ (h >> 29);
}

} // namespace

// Texts equal under CompareText fold to the same bytes, so they hash alike.
// Eight folded bytes are taken at a time: a million texts are hashed while
// a data file is read. Never 0, which marks a free place.
std::uint64_t TFoldedTextFilter::HashOf(std::string_view text) {
    const std::array<unsigned char, 256>& fold = FoldTable();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    const auto folded = [&](std::size_t i, std::size_t k) {
        return std::uint64_t{fold[bytes[i + k]]} << (8 * k);
    };
    std::uint64_t h = Mix(size + 1);
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        h = Mix(h ^ (folded(i, 0) | folded(i, 1) | folded(i, 2) | folded(i, 3) | folded(i, 4) |
                     folded(i, 5) | folded(i, 6) | folded(i, 7)));
    }
    if (i < size) {
        std::uint64_t word = 0;
        for (std::size_t k = 0; i + k < size; ++k) {
            word |= folded(i, k);
        }
        h = Mix(h ^ word);
    }
    return h != 0 ? h : 1;
}

TFoldedTextFilter::TFoldedTextFilter(std::size_t capacity)
    : hashes_(std::bit_ceil(2 * capacity + 2), 0), capacity_(capacity) {}

void TFoldedTextFilter::Add(std::string_view text) {
    const std::uint64_t hash = HashOf(text);
    const std::size_t mask = Mask();
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        if (hashes_[at] == hash) {
            return;
        }
        if (hashes_[at] == 0) {
            // Past its room the table would fill up, and a search for a
            // text not there would never end.
            if (count_ == capacity_) {
                throw std::length_error("more texts than the filter has room for");
            }
            hashes_[at] = hash;
            ++count_;
            return;
        }
    }
}

bool TFoldedTextFilter::MayContain(std::uint64_t hash) const {
    const std::size_t mask = Mask();
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        if (hashes_[at] == hash) {
            return true;
        }
        if (hashes_[at] == 0) {
            return false;
        }
    }
}

} // namespace korva
