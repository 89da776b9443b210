#pragma once

#include <cstdint>
#include <span>

namespace korva::pe {

// The image checksum as the loader verifies it for drivers and boot files:
// a 16-bit one's-complement style sum over the whole file with the CheckSum
// field itself read as zero, plus the file size.
std::uint32_t ComputeImageChecksum(std::span<const std::uint8_t> file,
                                   std::uint64_t checkSumFieldOffset);

} // namespace korva::pe
