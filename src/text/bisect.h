#pragma once

#include <cstddef>

namespace korva {

// Where a text stands among items sorted by CompareText, as a binary search
// finds it.
struct SortedPlace {
    std::size_t index = 0; // the match or, without one, where the text would go
    bool found = false;
};

// Bisects the items 0 to count - 1, sorted and free of equal texts;
// `compareAt(i)` compares item i with the text sought as CompareText does
// (-1, 0 or +1), so that a caller may decide most steps by a cheaper key
// first.
template <typename CompareAt> SortedPlace BisectSorted(std::size_t count, CompareAt compareAt) {
    std::size_t low = 0;
    std::size_t high = count;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        const int c = compareAt(mid);
        if (c == 0) {
            return {mid, true};
        }
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return {low, false};
}

} // namespace korva
