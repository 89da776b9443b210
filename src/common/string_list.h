#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "common/compare.h"
#include "common/text.h"

namespace korva {

// An ordered list of (text, object) pairs that keeps insertion order. The
// object type is fixed per list, so a block's language ids and the
// dictionary's entries cannot be mixed up.
template <typename Object> class TStringList {
public:
    struct Item {
        korva::Text text;
        Object object{};
    };

    std::size_t Count() const { return items_.size(); }
    const korva::Text& Text(std::size_t i) const { return items_.at(i).text; }
    const Object& GetObject(std::size_t i) const { return items_.at(i).object; }
    void SetObject(std::size_t i, Object object) { items_.at(i).object = std::move(object); }

    // Appends and returns the new entry's index.
    std::size_t Append(korva::Text text, Object object = {}) {
        items_.push_back(Item{std::move(text), std::move(object)});
        return items_.size() - 1;
    }

    void Delete(std::size_t i) { Delete(i, 1); }

    // Deletes `count` entries from `first` on, as that many single deletes would.
    void Delete(std::size_t first, std::size_t count) {
        const auto begin = items_.begin() + static_cast<std::ptrdiff_t>(first);
        items_.erase(begin, begin + static_cast<std::ptrdiff_t>(count));
    }

    void Reserve(std::size_t n) { items_.reserve(n); }
    const std::vector<Item>& Items() const { return items_; }

protected:
    std::vector<Item> items_;
};

// The sorted kind: kept in CompareText order, ignoring duplicates. Adding a
// text that compares equal to one already held adds nothing and returns the
// index of the existing entry.
template <typename Object> class TSortedStringList : public TStringList<Object> {
public:
    // Binary search; `index` is the match or, without one, where the text
    // would be inserted.
    bool Find(std::string_view text, std::size_t& index) const {
        std::size_t low = 0;
        std::size_t high = this->items_.size();
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            const int c = CompareText(this->items_[mid].text, text);
            if (c == 0) {
                index = mid;
                return true;
            }
            if (c < 0) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        index = low;
        return false;
    }

    std::size_t Add(korva::Text text, Object object = {}) {
        std::size_t index = 0;
        if (Find(text, index)) {
            return index;
        }
        this->items_.insert(this->items_.begin() + static_cast<std::ptrdiff_t>(index),
                            typename TStringList<Object>::Item{std::move(text), std::move(object)});
        return index;
    }

    // Builds the list at once from unsorted items with the same result as
    // adding them one by one with Add: of texts that compare equal the first
    // keeps its place, and `merge(kept, later)` decides what the kept item
    // takes from each later one. O(n log n) where Add is O(n) per item.
    template <typename Merge>
    void Assign(std::vector<typename TStringList<Object>::Item> items, Merge merge) {
        std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
            return CompareText(a.text, b.text) < 0;
        });
        this->items_.clear();
        for (auto& item : items) {
            if (!this->items_.empty() && CompareText(this->items_.back().text, item.text) == 0) {
                merge(this->items_.back(), item);
            } else {
                this->items_.push_back(std::move(item));
            }
        }
    }

private:
    // Appending would break the order; the sorted kind only adds.
    using TStringList<Object>::Append;
};

} // namespace korva
