#pragma once

#include <cstdint>

namespace korva::pe {

// Rounds up to a multiple of `alignment` (non-zero). Callers keep values
// far below 2^64, so the sum cannot wrap.
constexpr std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace korva::pe
