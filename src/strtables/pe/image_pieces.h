#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <span>
#include <type_traits>
#include <vector>

#include "common/result.h"
#include "strtables/pe/checked_reader.h"
#include "strtables/pe/data_digest.h"
#include "strtables/pe/format.h"
#include "strtables/pe/resource_tree.h"

namespace korva::pe {

// Called with bytes of the original file once a pass no longer needs them,
// so that a pass over a large mapped file can give its pages back.
using PageRelease = std::function<void(Bytes)>;

// A new file described as a sequence of pieces instead of one buffer: most
// of it is bytes of the old file or of staged resources at new offsets, and
// copying all of that into one buffer would hold the file twice. Each call
// below has the effect of a write into one buffer of size() zero bytes:
// where calls overlap, the later one wins.
class ImagePieces {
public:
    explicit ImagePieces(std::uint64_t size = 0);

    std::uint64_t size() const { return size_; }

    // Borrows `bytes`, which must stay valid and unchanged while this lives.
    void Place(std::uint64_t offset, Bytes bytes);
    // Bytes made on demand, each time the content is visited; the source
    // must outlive this.
    void Place(std::uint64_t offset, const ProducedData& produced);
    void Zero(std::uint64_t offset, std::uint64_t size);
    // A copy of `bytes`, owned here.
    void Patch(std::uint64_t offset, Bytes bytes);
    void PatchU16(std::uint64_t offset, std::uint16_t value);
    void PatchU32(std::uint64_t offset, std::uint32_t value);
    // A copy of one on-disk structure, in the file's byte order.
    template <OnDiskStruct T> void PatchStruct(std::uint64_t offset, const T& value) {
        // Padding would put bytes of no defined value into the file.
        static_assert(std::has_unique_object_representations_v<T>);
        std::uint8_t bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        Patch(offset, bytes);
    }
    // Owned zero bytes the caller fills in; valid while this lives.
    std::span<std::uint8_t> Own(std::uint64_t offset, std::uint64_t size);

    // Visits the content in file order, in runs of at most `chunk` bytes;
    // an empty span stands for that many zero bytes. `release` gets each
    // borrowed run once it has been visited; `digests`, when given, the
    // digest of each item made on demand.
    void
    ForEach(const std::function<void(std::uint64_t offset, std::uint64_t size, Bytes bytes)>& visit,
            const PageRelease& release = {}, std::uint64_t chunk = kChunk,
            ProducedDigests* digests = nullptr) const;

    // The whole content in one buffer.
    std::vector<std::uint8_t> Materialize(ProducedDigests* digests = nullptr) const;

    // Streams the content to `sink`, gathering small pieces into larger
    // writes; stops at the first failed write.
    Result<void> WriteTo(const std::function<Result<void>(Bytes)>& sink,
                         const PageRelease& release = {}, ProducedDigests* digests = nullptr) const;

    static constexpr std::uint64_t kChunk = std::uint64_t{256} << 10;

private:
    struct Piece {
        std::uint64_t size = 0;
        const std::uint8_t* data = nullptr; // null for zeros and produced bytes
        bool borrowed = false;
        ProducedData produced;  // its source set for bytes made on demand
        std::uint64_t skip = 0; // where a cut produced piece starts in its bytes

        static Piece Of(std::uint64_t size, const std::uint8_t* data, bool borrowed) {
            Piece piece;
            piece.size = size;
            piece.data = data;
            piece.borrowed = borrowed;
            return piece;
        }
    };
    // Makes [offset, offset + size) one piece, cutting what was there.
    void Put(std::uint64_t offset, Piece piece);
    void SplitAt(std::uint64_t offset);

    std::uint64_t size_ = 0;
    std::map<std::uint64_t, Piece> pieces_; // by offset, covering [0, size_) without gaps
    std::deque<std::vector<std::uint8_t>> owned_;
};

} // namespace korva::pe
