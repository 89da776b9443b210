#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <type_traits>

#include "strtables/pe/format.h"

namespace korva::pe {

// Stores into a buffer whose size the layout pass fixed, one on-disk
// structure or value at a time, in the file's byte order (format.h holds the
// host to little-endian). An out-of-range store is a layout bug, not bad
// input, so it stops the program rather than corrupt memory.
class ByteWriter {
public:
    explicit ByteWriter(std::span<std::uint8_t> buffer) : buffer_(buffer) {}

    template <OnDiskStruct T> void Put(std::size_t offset, const T& value) {
        // Padding would put bytes of no defined value into the file.
        static_assert(std::has_unique_object_representations_v<T>);
        Check(offset, sizeof(T));
        std::memcpy(buffer_.data() + offset, &value, sizeof(T));
    }

private:
    void Check(std::size_t offset, std::size_t size) const {
        if (offset > buffer_.size() || size > buffer_.size() - offset) {
            std::abort();
        }
    }

    std::span<std::uint8_t> buffer_;
};

} // namespace korva::pe
