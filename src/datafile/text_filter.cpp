#include "datafile/text_filter.h"

#include <bit>
#include <cstring>
#include <stdexcept>

namespace korva {
namespace {

std::uint64_t Mix(std::uint64_t h) {
    h *= 0x9E3779B97F4A7C15ULL;
    return h ^ (h >> 29);
}

} // namespace

// Folding to upper case changes no bit outside 0x70 of any byte (a-z, the
// accented letters, s, oe and z caron, y diaeresis), so texts equal under
// CompareText agree on all bytes masked with 0x8F, and hash alike. Eight
// bytes are masked at once: a million texts are hashed while a data file is
// read. Texts that differ only in those bits hash alike too, which a filter
// may allow. Never 0, which marks a free place.
std::uint64_t TFoldedTextFilter::HashOf(std::string_view text) {
    constexpr std::uint64_t kKept = 0x8F8F8F8F8F8F8F8FULL;
    const std::size_t size = text.size();
    std::uint64_t h = Mix(size + 1);
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        h = Mix(h ^ (word & kKept));
    }
    if (i < size) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, size - i);
        h = Mix(h ^ (word & kKept));
    }
    return h != 0 ? h : 1;
}

TFoldedTextFilter::TFoldedTextFilter(std::size_t capacity)
    : hashes_(std::bit_ceil(2 * capacity + 2), 0), bloom_(std::bit_ceil(capacity / 4 + 1), 0),
      capacity_(capacity) {}

std::uint64_t TFoldedTextFilter::BloomBits(std::uint64_t hash) {
    return (std::uint64_t{1} << (hash & 63)) | (std::uint64_t{1} << ((hash >> 6) & 63)) |
           (std::uint64_t{1} << ((hash >> 12) & 63)) | (std::uint64_t{1} << ((hash >> 18) & 63));
}

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
            bloom_[BloomWord(hash)] |= BloomBits(hash);
            ++count_;
            return;
        }
    }
}

bool TFoldedTextFilter::MayContain(std::uint64_t hash) const {
    const std::uint64_t bits = BloomBits(hash);
    if ((bloom_[BloomWord(hash)] & bits) != bits) {
        return false;
    }
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
