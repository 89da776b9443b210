#include "datafile/text_filter.h"

#include <bit>
#include <cstring>

namespace korva {
namespace {

// One word into the hash: a multiply moves differences only upwards, the
// rotation brings them back down for the next word.
std::uint64_t Step(std::uint64_t h, std::uint64_t word) {
    return std::rotl((h ^ word) * 0x9E3779B97F4A7C15ULL, 27);
}

// Spreads every bit over the whole hash, so that texts differing in one
// byte differ in the bits a filter takes.
std::uint64_t Finish(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    return h ^ (h >> 33);
}

} // namespace

TFoldedTextFilter::TFoldedTextFilter(std::size_t expected)
    : words_(std::bit_ceil(expected / 4 + 1), 0) {}

// Folding to upper case changes bit 0x20 of a byte below 0x80 (a-z) and
// bits 0x70 of a byte above (the accented letters, s, oe and z caron, y
// diaeresis), so texts equal under CompareText agree once those bits are
// cleared, and hash alike. Eight bytes are cleared at once: a million texts
// are hashed while a data file is read. The few texts that differ only in
// those bits (a NUL for a blank, say) hash alike too, which a filter may
// allow.
std::uint64_t TFoldedTextFilter::HashOf(std::string_view text) {
    const auto cleared = [](std::uint64_t word) {
        const std::uint64_t high = (word & 0x8080808080808080ULL) >> 7;
        return word & ~(0x2020202020202020ULL | high * 0x50);
    };
    const std::size_t size = text.size();
    std::uint64_t h = size;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        h = Step(h, cleared(word));
    }
    if (i < size) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, size - i);
        h = Step(h, cleared(word));
    }
    return Finish(h);
}

std::uint64_t TFoldedTextFilter::BitsOf(std::uint64_t hash) {
    return (std::uint64_t{1} << (hash & 63)) | (std::uint64_t{1} << ((hash >> 6) & 63)) |
           (std::uint64_t{1} << ((hash >> 12) & 63)) | (std::uint64_t{1} << ((hash >> 18) & 63));
}

void TFoldedTextFilter::Add(std::string_view text) {
    const std::uint64_t hash = HashOf(text);
    words_[WordOf(hash)] |= BitsOf(hash);
}

bool TFoldedTextFilter::MayContain(std::string_view text) const {
    const std::uint64_t hash = HashOf(text);
    const std::uint64_t bits = BitsOf(hash);
    return (words_[WordOf(hash)] & bits) == bits;
}

} // namespace korva
