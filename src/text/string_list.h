#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "text/bisect.h"
#include "text/compare.h"
#include "text/text.h"
#include "text/text_arena.h"

namespace korva {

// An ordered list of (text, object) pairs that keeps insertion order. The
// object type is fixed per list, so a block's language ids and the
// dictionary's entries cannot be mixed up. The list keeps its own copies of
// the texts, packed together rather than one allocation each, unless it is
// asked to share them.
template <typename Object> class TStringList {
public:
    // An item as the list holds it; the text views the list's own copy.
    struct Entry {
        std::string_view text;
        Object object{};
    };

    TStringList() = default;
    TStringList(const TStringList& other) { CopyFrom(other); }
    TStringList& operator=(const TStringList& other) {
        if (this != &other) {
            items_.clear();
            arena_ = TextArena();
            owners_.clear();
            CopyFrom(other);
        }
        return *this;
    }
    // Moving hands the copies over without moving them, so the views hold.
    TStringList(TStringList&&) noexcept = default;
    TStringList& operator=(TStringList&&) noexcept = default;
    ~TStringList() = default;

    std::size_t Count() const { return items_.size(); }
    std::string_view Text(std::size_t i) const { return items_.at(i).text; }
    const Object& GetObject(std::size_t i) const { return items_.at(i).object; }
    void SetObject(std::size_t i, Object object) { items_.at(i).object = std::move(object); }

    // Appends a copy of the text and returns the new entry's index.
    std::size_t Append(std::string_view text, Object object = {}) {
        items_.push_back(Entry{arena_.Keep(text), std::move(object)});
        return items_.size() - 1;
    }

    // Appends the text itself, without a copy: it must stay valid as long
    // as this list, being a constant, a text of this list, or held by an
    // owner given to KeepAlive. Many lists can so share one large store of
    // texts, as strings shared by reference would.
    std::size_t AppendShared(std::string_view text, Object object = {}) {
        items_.push_back(Entry{text, std::move(object)});
        return items_.size() - 1;
    }
    // Keeps `owner`, and with it the texts it holds, as long as this list.
    void KeepAlive(std::shared_ptr<const void> owner) {
        if (owner != nullptr && std::find(owners_.begin(), owners_.end(), owner) == owners_.end()) {
            owners_.push_back(std::move(owner));
        }
    }

    void Delete(std::size_t i) { Delete(i, 1); }

    // Deletes `count` entries from `first` on, as that many single deletes would.
    void Delete(std::size_t first, std::size_t count) {
        const auto begin = items_.begin() + static_cast<std::ptrdiff_t>(first);
        items_.erase(begin, begin + static_cast<std::ptrdiff_t>(count));
    }

    void Reserve(std::size_t n) { items_.reserve(n); }
    const std::vector<Entry>& Items() const { return items_; }

protected:
    std::string_view Keep(std::string_view text) { return arena_.Keep(text); }

    std::vector<Entry> items_;

private:
    void CopyFrom(const TStringList& other) {
        std::size_t bytes = 0;
        for (const Entry& entry : other.items_) {
            bytes += entry.text.size();
        }
        arena_.Reserve(bytes);
        items_.reserve(other.items_.size());
        for (const Entry& entry : other.items_) {
            items_.push_back(Entry{arena_.Keep(entry.text), entry.object});
        }
    }

    TextArena arena_;
    std::vector<std::shared_ptr<const void>> owners_;
};

// The sorted kind: kept in CompareText order, ignoring duplicates. Adding a
// text that compares equal to one already held adds nothing and returns the
// index of the existing entry.
template <typename Object> class SortedStringList : public TStringList<Object> {
public:
    // Binary search; `index` is the match or, without one, where the text
    // would be inserted.
    bool Find(std::string_view text, std::size_t& index) const {
        const SortedPlace place = BisectSorted(this->items_.size(), [&](std::size_t i) {
            return CompareText(this->items_[i].text, text);
        });
        index = place.index;
        return place.found;
    }

    std::size_t Add(std::string_view text, Object object = {}) {
        std::size_t index = 0;
        if (Find(text, index)) {
            return index;
        }
        this->items_.insert(
            this->items_.begin() + static_cast<std::ptrdiff_t>(index),
            typename TStringList<Object>::Entry{this->Keep(text), std::move(object)});
        return index;
    }

private:
    // Appending would break the order; the sorted kind only adds.
    using TStringList<Object>::Append;
    using TStringList<Object>::AppendShared;
};

} // namespace korva
