#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <vector>

#include "strtables/pe/checked_reader.h"
#include "strtables/pe/resource_tree.h"

namespace korva::pe {

// A digest that recognises bytes the rewrite wrote when the new file is read
// back. The check it serves guards against the rewrite's own faults (data
// put in the wrong place, cut short or overwritten by another piece), not
// against anyone choosing bytes to collide, so a 128-bit non-cryptographic
// hash is enough; it costs a fraction of making the data again.
struct Digest {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    friend bool operator==(const Digest&, const Digest&) = default;
};

Digest DigestOf(Bytes bytes);

// The digest of each item of data made on demand, taken when the item was
// made for the new file, so that the check need not make it again. Recorded
// items are sealed before they are looked up: a sorted array, since a hash
// table of tens of thousands of small nodes cost more than the hashing.
class ProducedDigests {
public:
    void Record(const ProducedData& produced, Bytes made);
    // Sorts what was recorded; Matches sees only what was sealed.
    void Seal();
    // Whether `bytes` are what was made for `produced`: false for data that
    // was never made, as well as for other bytes.
    bool Matches(const ProducedData& produced, Bytes bytes) const;

private:
    struct Key {
        std::uintptr_t source = 0; // a number: unrelated pointers have no order
        std::uint64_t item = 0;
        std::uint32_t size = 0;
        friend bool operator==(const Key&, const Key&) = default;
        friend bool operator<(const Key& a, const Key& b) {
            return std::tie(a.source, a.item, a.size) < std::tie(b.source, b.item, b.size);
        }
    };
    struct Entry {
        Key key;
        Digest digest;
    };
    static Key KeyOf(const ProducedData& produced) {
        return {reinterpret_cast<std::uintptr_t>(produced.source), produced.item, produced.size};
    }

    std::vector<Entry> entries_;
    std::size_t sealed_ = 0; // entries_[0, sealed_) are sorted and searched
};

} // namespace korva::pe
