#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace korva::pe {

// Little-endian stores into a buffer whose size the layout pass fixed. An
// out-of-range store is a layout bug, not bad input, so it stops the program
// rather than corrupt memory.
class ByteWriter {
public:
    explicit ByteWriter(std::span<std::uint8_t> buffer) : buffer_(buffer) {}

    void U8(std::size_t offset, std::uint8_t value) {
        Check(offset, 1);
        buffer_[offset] = value;
    }
    void U16(std::size_t offset, std::uint16_t value) { Store(offset, value, 2); }
    void U32(std::size_t offset, std::uint32_t value) { Store(offset, value, 4); }
    void U64(std::size_t offset, std::uint64_t value) { Store(offset, value, 8); }
    void Bytes(std::size_t offset, std::span<const std::uint8_t> bytes) {
        Check(offset, bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            buffer_[offset + i] = bytes[i];
        }
    }
    void Fill(std::size_t offset, std::size_t size, std::uint8_t value) {
        Check(offset, size);
        for (std::size_t i = 0; i < size; ++i) {
            buffer_[offset + i] = value;
        }
    }

private:
    void Check(std::size_t offset, std::size_t size) const {
        if (offset > buffer_.size() || size > buffer_.size() - offset) {
            std::abort();
        }
    }
    void Store(std::size_t offset, std::uint64_t value, std::size_t width) {
        Check(offset, width);
        for (std::size_t i = 0; i < width; ++i) {
            buffer_[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }

    std::span<std::uint8_t> buffer_;
};

} // namespace korva::pe
