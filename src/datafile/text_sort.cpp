#include "datafile/text_sort.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "text/compare.h"

namespace korva {
namespace {

struct SortRange {
    std::size_t begin;
    std::size_t end;
    std::size_t depth;
};

using SortKeys = std::vector<SortedText>;

// Groups still together after this many bytes hold long equal texts, which
// plain comparison from there handles in one pass each.
constexpr std::size_t kMaxWindowDepth = 64;
// Reading ahead hides the cache misses of the scattered texts.
constexpr std::size_t kAhead = 8;

void SortByComparison(SortKeys& keys, const SortRange& range, CodePage codePage) {
    // The depth counts bytes of the folded form; under UTF-8 they are not
    // the text's own bytes, so the whole texts are compared.
    const std::size_t skip = codePage == CodePage::Utf8 ? 0 : range.depth;
    const auto tail = [&](const SortedText& key) { return key.text.substr(skip); };
    const auto first = keys.begin() + static_cast<std::ptrdiff_t>(range.begin);
    const auto last = keys.begin() + static_cast<std::ptrdiff_t>(range.end);
    std::sort(first, last, [&](const SortedText& a, const SortedText& b) {
        const int c = CompareSameAsText(tail(a), tail(b), codePage);
        return c != 0 ? c < 0 : a.index < b.index;
    });
    for (std::size_t i = range.begin + 1; i < range.end; ++i) {
        keys[i].sameAsPrevious = CompareSameAsText(tail(keys[i - 1]), tail(keys[i]), codePage) == 0;
    }
}

// Sorts the range by the window at its depth and leaves the groups that
// agree on a whole window in `todo`.
void SortByWindow(SortKeys& keys, const SortRange& range, CodePage codePage,
                  std::vector<SortRange>& todo) {
    for (std::size_t i = range.begin; i < range.end; ++i) {
        if (i + kAhead < range.end && keys[i + kAhead].text.size() > range.depth) {
            __builtin_prefetch(keys[i + kAhead].text.data() + range.depth);
        }
        keys[i].window = FoldedWindow(keys[i].text, range.depth, keys[i].rest, codePage);
    }
    // A text that ends inside the window comes before a longer one with the
    // same bytes there, as a proper prefix is less.
    const auto less = [](const SortedText& a, const SortedText& b) {
        if (a.window != b.window) {
            return a.window < b.window;
        }
        if (a.rest != b.rest) {
            return a.rest < b.rest;
        }
        return a.index < b.index;
    };
    const auto first = keys.begin() + static_cast<std::ptrdiff_t>(range.begin);
    const auto last = keys.begin() + static_cast<std::ptrdiff_t>(range.end);
    // Texts with a common beginning often agree on a whole window, and data
    // files are often written in order already.
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
                    keys[k].sameAsPrevious = true;
                }
            }
        }
        i = j;
    }
}

} // namespace

int CompareSameAsText(std::string_view a, std::string_view b, CodePage codePage) {
    // The UTF-8 comparison passes over equal words itself, minding where
    // characters start.
    if (codePage == CodePage::Utf8) {
        return CompareUtf8Text(a, b);
    }
    const std::size_t i = EqualWordsPrefix(a, b);
    return Compare1252Text(a.substr(i), b.substr(i));
}

std::vector<SortedText> SortTexts(const std::vector<std::string_view>& texts, CodePage codePage) {
    if (texts.size() > UINT32_MAX) {
        throw std::length_error("too many texts to sort");
    }
    SortKeys keys(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        keys[i].text = texts[i];
        keys[i].index = static_cast<std::uint32_t>(i);
    }
    std::vector<SortRange> todo;
    if (keys.size() > 1) {
        todo.push_back({0, keys.size(), 0});
    }
    while (!todo.empty()) {
        const SortRange range = todo.back();
        todo.pop_back();
        if (range.depth >= kMaxWindowDepth) {
            SortByComparison(keys, range, codePage);
        } else {
            SortByWindow(keys, range, codePage, todo);
        }
    }
    return keys;
}

} // namespace korva
