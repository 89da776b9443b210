#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korva {

// Tells texts that may be among those added from texts that are surely not,
// under CompareText's equality. Only a hash of each text is kept, one that
// ignores the bits case folding changes, so a text that is not there can
// pass, but rarely enough for a caller who only saves work with it.
class TFoldedTextFilter {
public:
    // Room for up to `capacity` different texts; Add throws beyond it.
    explicit TFoldedTextFilter(std::size_t capacity);

    void Add(std::string_view text);
    bool MayContain(std::string_view text) const { return MayContain(HashOf(text)); }

    // What a text is known by here; texts equal under CompareText have the
    // same. A caller that gets a text well before it asks about it can
    // have its place fetched meanwhile: a large filter is not in the cache.
    static std::uint64_t HashOf(std::string_view text);
    void Prefetch(std::uint64_t hash) const { __builtin_prefetch(&bloom_[BloomWord(hash)]); }
    bool MayContain(std::uint64_t hash) const;

private:
    std::size_t Mask() const { return hashes_.size() - 1; }
    std::size_t BloomWord(std::uint64_t hash) const { return (hash >> 40) & (bloom_.size() - 1); }
    static std::uint64_t BloomBits(std::uint64_t hash);

    std::vector<std::uint64_t> hashes_; // a power of two in size, at most half used, 0 free
    // Four bits of one word per text, about sixteen bits per text: small
    // enough to stay in the cache, where the table above is not, and it
    // turns away nearly every text that is not there.
    std::vector<std::uint64_t> bloom_;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace korva
