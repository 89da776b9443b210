#include "strtables/pe/checksum.h"

#include <algorithm>

namespace korva::pe {

std::uint32_t ComputeImageChecksum(std::span<const std::uint8_t> file,
                                   std::uint64_t checkSumFieldOffset) {
    ImageChecksum sum(checkSumFieldOffset);
    sum.Add(0, file);
    return sum.Finish(file.size());
}

void ImageChecksum::Add(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    // The field's bytes read as zero, also when a hostile header puts the
    // field at an odd offset: they are left out of the sum.
    const std::uint64_t end = offset + bytes.size();
    const std::uint64_t fieldEnd = field_ + 4;
    if (end <= field_ || offset >= fieldEnd) {
        AddRun(offset, bytes);
        return;
    }
    if (offset < field_) {
        AddRun(offset, bytes.first(static_cast<std::size_t>(field_ - offset)));
    }
    if (end > fieldEnd) {
        const auto skip = static_cast<std::size_t>(fieldEnd - offset);
        AddRun(fieldEnd, bytes.subspan(skip));
    }
}

void ImageChecksum::AddRun(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    std::uint64_t sum = 0;
    // A byte at an odd offset is the high half of its word.
    if ((offset & 1) != 0 && !bytes.empty()) {
        sum += std::uint64_t{bytes[0]} << 8;
        i = 1;
    }
    for (; i + 1 < bytes.size(); i += 2) {
        sum += bytes[i] | (std::uint64_t{bytes[i + 1]} << 8);
    }
    // An odd final byte is a word with a zero high byte.
    if (i < bytes.size()) {
        sum += bytes[i];
    }
    sum_ += sum;
}

std::uint32_t ImageChecksum::Finish(std::uint64_t fileSize) const {
    std::uint64_t sum = sum_;
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint32_t>(sum + fileSize);
}

} // namespace korva::pe
