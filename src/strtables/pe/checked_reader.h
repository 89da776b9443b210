#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "strtables/pe/format.h"

namespace korva::pe {

using Bytes = std::span<const std::uint8_t>;

// The one guard over file data: the bytes [offset, offset + size) of `data`,
// or nothing when any of them lies outside. Offsets and sizes arrive widened
// to 64 bits, and the subtraction is done on the trusted side, so no sum can
// wrap.
inline std::optional<Bytes> Slice(Bytes data, std::uint64_t offset, std::uint64_t size) {
    if (offset > data.size() || size > data.size() - offset) {
        return std::nullopt;
    }
    return data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
}

// Decodes one on-disk structure at `offset`.
template <OnDiskStruct T> std::optional<T> ReadAt(Bytes data, std::uint64_t offset) {
    const std::optional<Bytes> bytes = Slice(data, offset, sizeof(T));
    if (!bytes) {
        return std::nullopt;
    }
    T value;
    std::memcpy(&value, bytes->data(), sizeof(T));
    return value;
}

inline std::optional<std::uint16_t> ReadU16(Bytes data, std::uint64_t offset) {
    return ReadAt<std::uint16_t>(data, offset);
}

inline std::optional<std::uint32_t> ReadU32(Bytes data, std::uint64_t offset) {
    return ReadAt<std::uint32_t>(data, offset);
}

// The bytes of `count` consecutive elements of `elementSize` bytes; the count
// is checked against the data before it becomes a size.
inline std::optional<Bytes> SliceArray(Bytes data, std::uint64_t offset, std::uint64_t count,
                                       std::uint64_t elementSize) {
    if (elementSize != 0 && count > data.size() / elementSize) {
        return std::nullopt;
    }
    return Slice(data, offset, count * elementSize);
}

} // namespace korva::pe
