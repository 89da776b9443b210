#include "strtables/pe/checksum.h"

namespace korva::pe {

std::uint32_t ComputeImageChecksum(std::span<const std::uint8_t> file,
                                   std::uint64_t checkSumFieldOffset) {
    // Bytes of the field read as zero, also when a hostile header puts the
    // field at an odd offset; an odd final byte is a word with a zero high byte.
    const auto byteAt = [&](std::uint64_t i) -> std::uint64_t {
        if (i >= file.size() || (i >= checkSumFieldOffset && i - checkSumFieldOffset < 4)) {
            return 0;
        }
        return file[i];
    };
    std::uint64_t sum = 0;
    for (std::uint64_t i = 0; i < file.size(); i += 2) {
        sum += byteAt(i) | (byteAt(i + 1) << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + file.size());
}

} // namespace korva::pe
