#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "datafile/text_filter.h"
#include "langkeys/lang_const.h"
#include "text/codepage.h"
#include "text/string_list.h"
#include "text/text.h"
#include "text/text_arena.h"

namespace korva {

class TransStore;

// One filed entry of the data file: its text in each language taken in.
class TTransStrs {
public:
    // Text lines stored while the entry was read, including those that came
    // out empty; the loader files an entry only when this is at least 2.
    std::int32_t Count = 0;

    // The entry's text for a language index (LanguageCount()).
    // Empty when the entry has none, which is always so for a language that
    // was not taken in. A translation given as "" is EmptyTextMarker, which
    // is not empty. The view stays valid as long as the dictionary does.
    std::string_view Text(int langIndex) const;

    // Asks the processor to fetch where the entry's texts are recorded, so
    // that callers about to read many scattered entries wait for all of
    // them at once rather than one after another.
    void Prefetch() const;

private:
    friend class TransDictBuilder;
    const TransStore* store_ = nullptr;
    std::uint32_t number_ = 0; // the entry's place in the store
};

// The texts of all entries. A million entries with 43 strings each would
// take far more memory than the file, so an entry has one slot per language
// taken in only, and the slots view bytes kept in large chunks.
class TransStore {
public:
    explicit TransStore(const std::vector<bool>& taken);

    // The slot of a language within an entry, or -1 when it is not taken in.
    int SlotOf(int langIndex) const;
    std::size_t SlotCount() const { return slotCount_; }

    // A copy of `text` that lives as long as the store or TextOwner(); ""
    // stays a view of nothing, and EmptyTextMarker needs no copy.
    std::string_view Keep(std::string_view text);
    // Holds every kept text; whoever shares it may view them after the
    // store is gone.
    std::shared_ptr<const void> TextOwner() const { return arena_; }

    // Where the kept texts end; Forget gives back what was kept after it.
    TextArena::Mark Mark() const { return arena_->MarkEnd(); }
    void Forget(const TextArena::Mark& mark) { arena_->Forget(mark); }

    // Appends one entry's texts, SlotCount() of them in slot order, and
    // returns the entry's number.
    std::uint32_t AddEntry(const std::string_view* texts);
    std::string_view Slot(std::uint32_t entry, int slot) const {
        return slots_[entry * slotCount_ + static_cast<std::size_t>(slot)];
    }
    void PrefetchSlots(std::uint32_t entry) const {
        const std::size_t first = std::size_t{entry} * slotCount_;
        __builtin_prefetch(&slots_[first]);
        __builtin_prefetch(&slots_[first + slotCount_ - 1]);
    }

private:
    std::vector<std::int16_t> slotOf_;
    std::size_t slotCount_ = 0;
    std::uint32_t entryCount_ = 0;
    // A deque grows without moving what it holds, so a million entries do
    // not need twice their size while the storage is reallocated.
    std::deque<std::string_view> slots_;
    // A million short texts take a few hundred chunks of the largest size
    // from the start.
    std::shared_ptr<TextArena> arena_ = std::make_shared<TextArena>(TextArena::kLargestChunk);
};

// Neutral texts leading to their entries: sorted, searched and compared with
// CompareText in the code page it was built in, one item per group of equal
// neutral texts. An item's text is that of the first entry of its group in
// file order, its entry the last one.
class TransDictionary {
public:
    std::size_t Count() const { return list_.Count(); }
    CodePage codePage() const { return codePage_; }

    // Binary search; `index` is the match or, without one, where the text
    // would go.
    bool Find(std::string_view text, std::size_t& index) const;

    static constexpr std::size_t kNotFound = SIZE_MAX;
    // Find for each of `texts`, giving the match or kNotFound in `indices`
    // (of the same size). The searches take turns step by step, so that
    // their waits for memory overlap instead of following one another.
    void FindAll(std::span<const std::string_view> texts, std::span<std::size_t> indices) const;

    // Views the dictionary's own copy, valid as long as the dictionary is.
    std::string_view Text(std::size_t index) const { return list_.Text(index); }
    const TTransStrs& Entry(std::size_t index) const { return *list_.GetObject(index); }
    // Holds the texts of all entries: sharing it keeps their views valid
    // after the dictionary is gone.
    std::shared_ptr<const void> TextOwner() const { return owner_; }

private:
    friend class TransDictBuilder;

    // Item i against a text whose key is `key`, as CompareText orders them:
    // the keys decide unless they are equal.
    int CompareAt(std::size_t i, std::uint64_t key, std::string_view text) const;

    class ItemList : public SortedStringList<const TTransStrs*> {
    public:
        // The items must already be in order and free of equal texts, and
        // their texts must live as long as the list.
        void AssignSorted(std::vector<Entry> items) { items_ = std::move(items); }
    };

    ItemList list_;
    // The first eight folded bytes of each item's text, in the items' order.
    // A search over a million texts would otherwise follow a pointer to a
    // text on every step; the keys decide nearly every step on their own.
    std::vector<std::uint64_t> keys_;
    // One store per builder whose entries the dictionary holds.
    std::vector<std::unique_ptr<TransStore>> stores_;
    std::shared_ptr<const void> owner_; // of every store's texts
    std::deque<TTransStrs> entries_;
    CodePage codePage_ = CodePage::Windows1252;
};

// Collects entries while the data file is read, then builds a TransDictionary at
// once: sorting all entries in the end is O(n log n) where inserting each
// into a sorted array would be quadratic, and it gives the same dictionary.
class TransDictBuilder {
public:
    // `taken`: the languages whose texts are kept; `neutralIndex`: the
    // language an entry is filed under; `codePage`: the texts', which the
    // dictionary compares them in.
    TransDictBuilder(const std::vector<bool>& taken, int neutralIndex, CodePage codePage);

    int SlotOf(int langIndex) const { return store_->SlotOf(langIndex); }

    // The open entry: started empty, given texts slot by slot.
    void StartEntry();
    bool HasText(int slot) const;
    // Stores a copy of the text and counts the line, even when it is empty.
    void SetText(int slot, std::string_view text);
    // Files the open entry when it holds at least two stored lines and a
    // neutral text; returns whether it did. The entry is closed either way.
    bool EndEntry();

    // From now on keeps only filed entries whose neutral text `wanted` may
    // hold; it must outlive the building. When only its texts are looked
    // up, the others can never be found, and a large data file then needs
    // neither room nor sorting for them. They still count as filed.
    void KeepOnly(const FoldedTextFilter* wanted) { wanted_ = wanted; }

    std::size_t FiledCount() const { return filedCount_; }
    // The filed entries kept so far, passed-over ones not counted.
    std::size_t KeptCount() const { return entries_.size(); }

    // Moves everything filed into `dict`, replacing what it held.
    void Build(TransDictionary& dict);

    // Entries `begin` to `end` of those one builder kept.
    struct KeptRun {
        TransDictBuilder* builder = nullptr;
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    // Moves the runs' entries into `dict`, replacing what it held, as one
    // builder would have that had kept them in the runs' order: builders
    // that took turns at one file then build the dictionary of the whole.
    static void Build(std::span<const KeptRun> runs, TransDictionary& dict);

private:
    // The runs' entries in their order; `builders` gets the runs' builders.
    static std::deque<TTransStrs> GatherEntries(std::span<const KeptRun> runs,
                                                std::vector<TransDictBuilder*>& builders);
    // Sorts the entries' neutral texts into the dictionary's items and keys,
    // in the dictionary's code page.
    static void FillIndex(const std::deque<TTransStrs>& entries, int neutralSlot,
                          TransDictionary& dict);

    std::unique_ptr<TransStore> store_;
    int neutralSlot_ = -1;
    std::vector<std::string_view> open_;
    std::int32_t openCount_ = 0;
    TextArena::Mark openMark_;
    bool passedOver_ = false; // the open entry's neutral text is not wanted
    const FoldedTextFilter* wanted_ = nullptr;
    std::size_t filedCount_ = 0;
    std::deque<TTransStrs> entries_;
    CodePage codePage_;
};

} // namespace korva
