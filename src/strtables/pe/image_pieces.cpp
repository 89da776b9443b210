#include "strtables/pe/image_pieces.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace korva::pe {

namespace {

// Pieces below this size are gathered into one write; larger ones go to the
// sink straight from where they are. Large enough that a write costs little
// per byte, small enough not to count in the memory of a small run.
constexpr std::size_t kGatherSize = std::size_t{256} << 10;
constexpr std::size_t kDirectWrite = std::size_t{64} << 10;

} // namespace

ImagePieces::ImagePieces(std::uint64_t size) : size_(size) {
    if (size != 0) {
        pieces_.emplace(0, Piece::Of(size, nullptr, false));
    }
}

void ImagePieces::SplitAt(std::uint64_t offset) {
    if (offset == 0 || offset >= size_) {
        return;
    }
    auto it = std::prev(pieces_.upper_bound(offset));
    const std::uint64_t start = it->first;
    if (start == offset) {
        return;
    }
    Piece& first = it->second;
    Piece second = first;
    second.size = start + first.size - offset;
    if (second.data != nullptr) {
        second.data += offset - start;
    }
    if (second.produced.source != nullptr) {
        second.skip += offset - start;
    }
    first.size = offset - start;
    pieces_.emplace_hint(std::next(it), offset, second);
}

void ImagePieces::Put(std::uint64_t offset, Piece piece) {
    // An out-of-range store is a layout bug, not bad input: stop rather
    // than write a wrong file.
    if (offset > size_ || piece.size > size_ - offset) {
        std::abort();
    }
    if (piece.size == 0) {
        return;
    }
    SplitAt(offset);
    SplitAt(offset + piece.size);
    const auto first = pieces_.lower_bound(offset);
    const auto last = pieces_.lower_bound(offset + piece.size);
    pieces_.erase(first, last);
    pieces_.emplace(offset, piece);
}

void ImagePieces::Place(std::uint64_t offset, Bytes bytes) {
    Put(offset, Piece::Of(bytes.size(), bytes.empty() ? nullptr : bytes.data(), true));
}

void ImagePieces::Place(std::uint64_t offset, const ProducedData& produced) {
    Piece piece = Piece::Of(produced.size, nullptr, false);
    piece.produced = produced;
    Put(offset, piece);
}

void ImagePieces::Zero(std::uint64_t offset, std::uint64_t size) {
    Put(offset, Piece::Of(size, nullptr, false));
}

void ImagePieces::Patch(std::uint64_t offset, Bytes bytes) {
    const std::vector<std::uint8_t>& copy = owned_.emplace_back(bytes.begin(), bytes.end());
    Put(offset, Piece::Of(copy.size(), copy.data(), false));
}

void ImagePieces::PatchU16(std::uint64_t offset, std::uint16_t value) {
    PatchStruct(offset, value);
}

void ImagePieces::PatchU32(std::uint64_t offset, std::uint32_t value) {
    PatchStruct(offset, value);
}

std::span<std::uint8_t> ImagePieces::Own(std::uint64_t offset, std::uint64_t size) {
    if (offset > size_ || size > size_ - offset) {
        std::abort();
    }
    std::vector<std::uint8_t>& bytes = owned_.emplace_back(static_cast<std::size_t>(size), 0);
    Put(offset, Piece::Of(size, bytes.empty() ? nullptr : bytes.data(), false));
    return bytes;
}

void ImagePieces::ForEach(
    const std::function<void(std::uint64_t offset, std::uint64_t size, Bytes bytes)>& visit,
    const PageRelease& release, std::uint64_t chunk, ProducedDigests* digests) const {
    std::vector<std::uint8_t> made;
    const auto isProduced = [](const auto& entry) {
        return entry.second.produced.source != nullptr;
    };
    auto next = std::find_if(pieces_.begin(), pieces_.end(), isProduced);
    for (const auto& [start, piece] : pieces_) {
        const std::uint8_t* data = piece.data;
        if (const ProducedData& produced = piece.produced; produced.source != nullptr) {
            // One piece ahead is asked for, so that its sources arrive
            // while this one is made.
            next = std::find_if(std::next(next), pieces_.end(), isProduced);
            if (next != pieces_.end()) {
                next->second.produced.source->Prefetch(next->second.produced.item);
            }
            made.resize(produced.size);
            produced.source->Produce(produced.item, made);
            if (digests != nullptr) {
                digests->Record(produced, made);
            }
            data = made.data() + piece.skip;
        }
        for (std::uint64_t done = 0; done < piece.size; done += chunk) {
            const std::uint64_t size = std::min(chunk, piece.size - done);
            const Bytes bytes =
                data == nullptr ? Bytes() : Bytes(data + done, static_cast<std::size_t>(size));
            visit(start + done, size, bytes);
            if (piece.borrowed && release) {
                release(bytes);
            }
        }
    }
    if (digests != nullptr) {
        digests->Seal();
    }
}

std::vector<std::uint8_t> ImagePieces::Materialize(ProducedDigests* digests) const {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size_), 0);
    ForEach(
        [&](std::uint64_t offset, std::uint64_t, Bytes bytes) {
            if (!bytes.empty()) {
                std::memcpy(out.data() + offset, bytes.data(), bytes.size());
            }
        },
        {}, kChunk, digests);
    return out;
}

Result<void> ImagePieces::WriteTo(const std::function<Result<void>(Bytes)>& sink,
                                  const PageRelease& release, ProducedDigests* digests) const {
    std::vector<std::uint8_t> gather;
    gather.reserve(kGatherSize);
    Result<void> status;
    const auto flush = [&] {
        if (status && !gather.empty()) {
            status = sink(gather);
        }
        gather.clear();
    };
    ForEach(
        [&](std::uint64_t, std::uint64_t size, Bytes bytes) {
            if (!status) {
                return;
            }
            if (!bytes.empty() && bytes.size() >= kDirectWrite) {
                flush();
                if (status) {
                    status = sink(bytes);
                }
                return;
            }
            // Zeros and small pieces are copied, in parts where they would
            // overfill the buffer.
            for (std::uint64_t done = 0; done < size && status;) {
                if (gather.size() == kGatherSize) {
                    flush();
                }
                const std::size_t part = static_cast<std::size_t>(
                    std::min<std::uint64_t>(size - done, kGatherSize - gather.size()));
                if (bytes.empty()) {
                    gather.resize(gather.size() + part, 0);
                } else {
                    gather.insert(gather.end(), bytes.begin() + static_cast<std::ptrdiff_t>(done),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(done + part));
                }
                done += part;
            }
        },
        release, kChunk, digests);
    flush();
    return status;
}

} // namespace korva::pe
