#include "datafile/text_filter.h"

#include <bit>
#include <cstring>

#include "text/case_fold.h"
#include "text/codepage.h"
#include "text/utf8.h"

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

// Folding to upper case changes bit 0x20 of a byte below 0x80 (a-z) and
// bits 0x70 of a byte above (the accented letters, s, oe and z caron, y
// diaeresis), so texts equal under CompareText agree once those bits are
// cleared, and hash alike. Eight bytes are cleared at once: a million texts
// are hashed while a data file is read. The few texts that differ only in
// those bits (a NUL for a blank, say) hash alike too, which a filter may
// allow.
std::uint64_t ClearedWord(std::uint64_t word) {
    const std::uint64_t high = (word & 0x8080808080808080ULL) >> 7;
    return word & ~(0x2020202020202020ULL | high * 0x50);
}

std::uint64_t Hash1252(std::string_view text) {
    const std::size_t size = text.size();
    std::uint64_t h = size;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        h = Step(h, ClearedWord(word));
    }
    if (i < size) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, size - i);
        h = Step(h, ClearedWord(word));
    }
    return Finish(h);
}

// Under UTF-8 texts equal under CompareText have equal folded forms (the
// UTF-8 of their folded code points), so that form is hashed, with the same
// cleared bits, in words of eight bytes however the characters fall. ASCII
// goes in as it is, since its folding only changes a bit that is cleared.
std::uint64_t HashUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::uint64_t h = 0;
    std::uint64_t word = 0;
    unsigned filled = 0;
    std::uint64_t length = 0;
    // Appends `count` (1 to 8) bytes, the first in the lowest bits of `bytes`.
    const auto put = [&](std::uint64_t bytes, unsigned count) {
        word |= bytes << (8 * filled);
        length += count;
        if (filled + count < 8) {
            filled += count;
            return;
        }
        h = Step(h, ClearedWord(word));
        const unsigned used = 8 - filled;
        word = used < 8 ? bytes >> (8 * used) : 0;
        filled = filled + count - 8;
    };
    for (std::size_t pos = 0; pos < text.size();) {
        const auto ascii = static_cast<unsigned>(AsciiPrefix(p + pos, text.size() - pos));
        if (ascii > 0) {
            std::uint64_t bytes = 0;
            for (unsigned i = ascii; i > 0; --i) {
                bytes = bytes << 8 | p[pos + i - 1];
            }
            put(bytes, ascii);
            pos += ascii;
            continue;
        }
        char folded[4];
        const auto count =
            static_cast<unsigned>(EncodeUtf8(FoldCase(DecodeUtf8(text, pos)), folded));
        std::uint64_t bytes = 0;
        for (unsigned i = count; i > 0; --i) {
            bytes = bytes << 8 | static_cast<unsigned char>(folded[i - 1]);
        }
        put(bytes, count);
    }
    if (filled > 0) {
        h = Step(h, ClearedWord(word));
    }
    return Finish(Step(h, length));
}

} // namespace

FoldedTextFilter::FoldedTextFilter(std::size_t expected, CodePage codePage)
    : words_(std::bit_ceil(expected / 4 + 1), 0), utf8_(codePage == CodePage::Utf8) {}

std::uint64_t FoldedTextFilter::HashOf(std::string_view text) const {
    return utf8_ ? HashUtf8(text) : Hash1252(text);
}

std::uint64_t FoldedTextFilter::BitsOf(std::uint64_t hash) {
    return (std::uint64_t{1} << (hash & 63)) | (std::uint64_t{1} << ((hash >> 6) & 63)) |
           (std::uint64_t{1} << ((hash >> 12) & 63)) | (std::uint64_t{1} << ((hash >> 18) & 63));
}

void FoldedTextFilter::Add(std::string_view text) {
    const std::uint64_t hash = HashOf(text);
    words_[WordOf(hash)] |= BitsOf(hash);
}

bool FoldedTextFilter::MayContain(std::string_view text) const {
    const std::uint64_t hash = HashOf(text);
    const std::uint64_t bits = BitsOf(hash);
    return (words_[WordOf(hash)] & bits) == bits;
}

} // namespace korva
