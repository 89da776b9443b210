#pragma once

#include <cstdint>
#include <span>

namespace korva::pe {

// The image checksum as the loader verifies it for drivers and boot files:
// a 16-bit one's-complement style sum over the whole file with the CheckSum
// field itself read as zero, plus the file size.
std::uint32_t ComputeImageChecksum(std::span<const std::uint8_t> file,
                                   std::uint64_t checkSumFieldOffset);

// The same sum over a file that is given in parts, in any order. The end-
// around carry makes the sum independent of the order of its terms, so each
// part is added where it lies without the file being in one buffer.
class ImageChecksum {
public:
    explicit ImageChecksum(std::uint64_t checkSumFieldOffset) : field_(checkSumFieldOffset) {}

    // The bytes that lie at `offset` in the file.
    void Add(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    std::uint32_t Finish(std::uint64_t fileSize) const;

private:
    void AddRun(std::uint64_t offset, std::span<const std::uint8_t> bytes);

    std::uint64_t field_;
    std::uint64_t sum_ = 0;
};

} // namespace korva::pe
