#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "text/codepage.h"

namespace korva {

// CompareText's result, reached faster on texts with long equal beginnings:
// bytes that are equal fold alike, so equal words are passed over unfolded.
int CompareSameAsText(std::string_view a, std::string_view b, CodePage codePage);

// One text in sorted order.
struct SortedText {
    std::string_view text;
    std::uint32_t index = 0;     // its place among the texts given
    bool sameAsPrevious = false; // it compares equal to the text before it
    // Used while sorting.
    std::uint32_t rest = 0;
    std::uint64_t window = 0;
};

// The texts ordered by CompareText, equal texts in the order given, as a
// stable sort would leave them.
//
// A comparison sort reads both texts in every comparison; over a million
// texts scattered in memory that is a cache miss each time, and shared
// beginnings are compared again and again. Instead each text is sorted by a
// folded eight-byte window kept beside it, and only groups that agree on it
// are sorted again, by the next window: one read of each text per window it
// takes to tell it apart.
std::vector<SortedText> SortTexts(const std::vector<std::string_view>& texts, CodePage codePage);

} // namespace korva
