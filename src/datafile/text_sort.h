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

// One text's place in a sorted order.
struct TSortedText {
    std::uint32_t index;    // which text
    bool sameAsPrevious;    // it compares equal to the text before it
};

// The texts textOf(0) to textOf(count - 1) ordered by CompareText, equal
// texts in ascending index order, as a stable sort would leave them.
//
// A comparison sort reads both texts in every comparison; over a million
// texts scattered in memory that is a cache miss each time, and shared
// beginnings are compared again and again. Instead each text is sorted by a
// folded eight-byte window kept beside its index, and only groups that agree
// on it are sorted again, by the next window: one read of each text per
// window it takes to tell it apart.
template <typename TextOf>
std::vector<TSortedText> SortTexts(std::size_t count, const TextOf& textOf) {
    if (count > UINT32_MAX) {
        throw std::length_error("too many texts to sort");
    }
    struct TKey {
        std::uint64_t window;
        std::uint32_t index;
        std::uint32_t rest; // bytes of the window that are in the text
    };
    struct TRange {
        std::size_t begin;
        std::size_t end;
        std::size_t depth;
    };
    // Groups still together after this many bytes hold long equal texts,
    // which plain comparison from there handles in one pass each.
    constexpr std::size_t kMaxWindowDepth = 64;
    // Reading ahead hides the cache misses of the scattered texts.
    constexpr std::size_t kAhead = 8;

    std::vector<TKey> keys(count);
    std::vector<TSortedText> order(count);
    for (std::size_t i = 0; i < count; ++i) {
        keys[i].index = static_cast<std::uint32_t>(i);
    }
    const auto markEqual = [&](std::size_t i) { order[i].sameAsPrevious = true; };

    std::vector<TRange> todo;
    if (count > 1) {
        todo.push_back({0, count, 0});
    }
    while (!todo.empty()) {
        const TRange range = todo.back();
        todo.pop_back();
        const auto first = keys.begin() + static_cast<std::ptrdiff_t>(range.begin);
        const auto last = keys.begin() + static_cast<std::ptrdiff_t>(range.end);
        if (range.depth >= kMaxWindowDepth) {
            const auto tail = [&](const TKey& key) { return textOf(key.index).substr(range.depth); };
            std::sort(first, last, [&](const TKey& a, const TKey& b) {
                const int c = CompareSameAsText(tail(a), tail(b));
                return c != 0 ? c < 0 : a.index < b.index;
            });
            for (std::size_t i = range.begin + 1; i < range.end; ++i) {
                if (CompareSameAsText(tail(keys[i - 1]), tail(keys[i])) == 0) {
                    markEqual(i);
                }
            }
            continue;
        }
        for (std::size_t i = range.begin; i < range.end; ++i) {
            if (i + kAhead < range.end) {
                __builtin_prefetch(textOf(keys[i + kAhead].index).data() + range.depth);
            }
            keys[i].window = FoldedWindow(textOf(keys[i].index), range.depth, keys[i].rest);
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
            if (j - i > 1) {
                if (keys[i].rest == 8) {
                    todo.push_back({i, j, range.depth + 8});
                } else {
                    // They all end inside this window with the same bytes.
                    for (std::size_t k = i + 1; k < j; ++k) {
                        markEqual(k);
                    }
                }
            }
            i = j;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        order[i].index = keys[i].index;
    }
    return order;
}

} // namespace korva
