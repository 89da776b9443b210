#include "strtables/pe/data_digest.h"

#include <algorithm>
#include <cstddef>

// Inlined, so that no program needs the library: the Windows build links
// statically and has no xxHash of its own.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace korva::pe {

Digest DigestOf(Bytes bytes) {
    const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
    return {hash.low64, hash.high64};
}

void ProducedDigests::Record(const ProducedData& produced, Bytes made) {
    entries_.push_back({KeyOf(produced), DigestOf(made)});
}

void ProducedDigests::Seal() {
    const auto byKey = [](const Entry& a, const Entry& b) { return a.key < b.key; };
    std::sort(entries_.begin(), entries_.end(), byKey);
    sealed_ = entries_.size();
}

bool ProducedDigests::Matches(const ProducedData& produced, Bytes bytes) const {
    const Key key = KeyOf(produced);
    const auto end = entries_.begin() + static_cast<std::ptrdiff_t>(sealed_);
    const auto found = std::lower_bound(entries_.begin(), end, key,
                                        [](const Entry& a, const Key& b) { return a.key < b; });
    // An item made twice (a piece cut in two) has one digest, being made
    // the same each time: the first of its entries speaks for all.
    return found != end && found->key == key && bytes.size() == produced.size &&
           found->digest == DigestOf(bytes);
}

} // namespace korva::pe
