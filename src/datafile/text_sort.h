#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace korva {

// CompareText's result, reached faster on texts with long equal beginnings:
// bytes that are equal fold alike, so equal words are passed over unfolded.
int CompareSameAsText(std::string_view a, std::string_view b);

// Eight folded bytes of `text` from `depth` on as one big-endian number, the
// bytes past the end as 0; `rest` tells how many of the eight were there.
std::uint64_t FoldedWindow(std::string_view text, std::size_t depth, std::uint32_t& rest);

// The indices 0 to count - 1 ordered by CompareText on textOf(index), equal
// texts in ascending index order, as a stable sort would leave them.
//
// A plain comparison sort looks at both texts' bytes in every comparison;
// over a million texts scattered in memory that is a cache miss each time,
// and shared beginnings are compared again and again. Instead the texts are
// sorted by a folded eight-byte window kept beside each index, and only
// groups that agree on it are sorted again, by the next window.
template <typename TextOf>
std::vector<std::uint32_t> SortedTextOrder(std::size_t count, const TextOf& textOf) {
    if (count > UINT32_MAX) {
        throw std::length_error("too many texts to sort");
    }
    struct TKey {
        std::uint64_t window;
        std::uint32_t index;
        std::uint32_t rest;
    };
    struct TRange {
        std::size_t begin;
        std::size_t end;
        std::size_t depth;
    };
    // Small groups, and groups still together after many windows (long
    // equal texts), are done by plain comparison from where they agree.
    constexpr std::size_t kSmallGroup = 16;
    constexpr std::size_t kMaxWindowDepth = 64;

    std::vector<TKey> keys(count);
    for (std::size_t i = 0; i < count; ++i) {
        keys[i].index = static_cast<std::uint32_t>(i);
    }
    std::vector<TRange> todo;
    if (count > 1) {
        todo.push_back({0, count, 0});
    }
    while (!todo.empty()) {
        const TRange range = todo.back();
        todo.pop_back();
        const auto first = keys.begin() + static_cast<std::ptrdiff_t>(range.begin);
        const auto last = keys.begin() + static_cast<std::ptrdiff_t>(range.end);
        if (range.end - range.begin <= kSmallGroup || range.depth >= kMaxWindowDepth) {
            std::sort(first, last, [&](const TKey& a, const TKey& b) {
                const int c = CompareSameAsText(textOf(a.index).substr(range.depth),
                                                textOf(b.index).substr(range.depth));
                return c != 0 ? c < 0 : a.index < b.index;
            });
            continue;
        }
        for (auto key = first; key != last; ++key) {
            key->window = FoldedWindow(textOf(key->index), range.depth, key->rest);
        }
        // A text that ends inside the window comes before a longer one with
        // the same bytes there, as a proper prefix is less.
        const auto less = [](const TKey& a, const TKey& b) {
            if (a.window != b.window) {
                return a.window < b.window;
            }
            if (a.rest != b.rest) {
                return a.rest < b.rest;
            }
            return a.index < b.index;
        };
        // Texts with a common beginning often agree on a whole window, and
        // data files are often written in order already.
        if (!std::is_sorted(first, last, less)) {
            std::sort(first, last, less);
        }
        for (std::size_t i = range.begin; i < range.end;) {
            std::size_t j = i + 1;
            while (j < range.end && keys[j].window == keys[i].window && keys[j].rest == keys[i].rest) {
                ++j;
            }
            if (j - i > 1 && keys[i].rest == 8) {
                todo.push_back({i, j, range.depth + 8});
            }
            i = j;
        }
    }
    std::vector<std::uint32_t> order(count);
    for (std::size_t i = 0; i < count; ++i) {
        order[i] = keys[i].index;
    }
    return order;
}

} // namespace korva
