#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "text/codepage.h"

namespace korva {

// Tells texts that may be among those added from texts that are surely not,
// under CompareText's equality: a Bloom filter over a hash that ignores the
// bits case folding changes. About one text in a few hundred that is not
// there passes, which suits a caller who only saves work with it; in return
// it takes some sixteen bits per text and stays in the cache.
class FoldedTextFilter {
public:
    // Sized for about `expected` texts; more only let more texts pass. The
    // texts are compared as CompareText compares them in `codePage`.
    FoldedTextFilter(std::size_t expected, CodePage codePage);

    void Add(std::string_view text);
    bool MayContain(std::string_view text) const;

private:
    std::uint64_t HashOf(std::string_view text) const;
    // The one word a text's bits are in, and its four bits there.
    std::size_t WordOf(std::uint64_t hash) const {
        return static_cast<std::size_t>((hash >> 40) & (words_.size() - 1));
    }
    static std::uint64_t BitsOf(std::uint64_t hash);

    std::vector<std::uint64_t> words_; // a power of two in size
    bool utf8_ = false;
};

} // namespace korva
