#include "datafile/trans_dict.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "datafile/text_sort.h"
#include "text/bisect.h"
#include "text/compare.h"

namespace korva {
namespace {

// The first eight bytes of the folded text as one number, high byte first,
// short texts padded with zeros. Two texts that CompareText puts in order
// have keys in the same order or equal keys, so equal keys leave the
// decision to the full comparison.
std::uint64_t FoldedKey(std::string_view text, CodePage codePage) {
    std::uint32_t rest = 0;
    return FoldedWindow(text, 0, rest, codePage);
}

} // namespace

int TransDictionary::CompareAt(std::size_t i, std::uint64_t key, std::string_view text) const {
    if (keys_[i] != key) {
        return keys_[i] < key ? -1 : 1;
    }
    return CompareText(list_.Items()[i].text, text, codePage_);
}

bool TransDictionary::Find(std::string_view text, std::size_t& index) const {
    const std::uint64_t key = FoldedKey(text, codePage_);
    const SortedPlace place =
        BisectSorted(keys_.size(), [&](std::size_t i) { return CompareAt(i, key, text); });
    index = place.index;
    return place.found;
}

void TransDictionary::FindAll(std::span<const std::string_view> texts,
                              std::span<std::size_t> indices) const {
    constexpr std::size_t kGroup = 16;
    const std::vector<ItemList::Entry>& items = list_.Items();
    for (std::size_t base = 0; base < texts.size(); base += kGroup) {
        const std::size_t count = std::min(kGroup, texts.size() - base);
        std::array<std::uint64_t, kGroup> key{};
        std::array<std::size_t, kGroup> low{};
        std::array<std::size_t, kGroup> high{};
        for (std::size_t k = 0; k < count; ++k) {
            key[k] = FoldedKey(texts[base + k], codePage_);
            high[k] = keys_.size();
            indices[base + k] = kNotFound;
        }
        // The same steps as Find, each search one step per round: first
        // every probe is requested, then every text a key cannot decide on,
        // then the steps are taken.
        for (bool searching = true; searching;) {
            for (std::size_t k = 0; k < count; ++k) {
                if (low[k] < high[k]) {
                    const std::size_t mid = low[k] + (high[k] - low[k]) / 2;
                    __builtin_prefetch(&keys_[mid]);
                    __builtin_prefetch(&items[mid]);
                }
            }
            for (std::size_t k = 0; k < count; ++k) {
                if (low[k] < high[k]) {
                    const std::size_t mid = low[k] + (high[k] - low[k]) / 2;
                    if (keys_[mid] == key[k]) {
                        __builtin_prefetch(items[mid].text.data());
                    }
                }
            }
            searching = false;
            for (std::size_t k = 0; k < count; ++k) {
                if (low[k] >= high[k]) {
                    continue;
                }
                const std::size_t mid = low[k] + (high[k] - low[k]) / 2;
                const int c = CompareAt(mid, key[k], texts[base + k]);
                if (c == 0) {
                    indices[base + k] = mid;
                    low[k] = high[k];
                } else if (c < 0) {
                    low[k] = mid + 1;
                } else {
                    high[k] = mid;
                }
                searching = searching || low[k] < high[k];
            }
        }
    }
}

std::string_view TTransStrs::Text(int langIndex) const {
    if (store_ == nullptr) {
        return {};
    }
    const int slot = store_->SlotOf(langIndex);
    if (slot < 0) {
        return {};
    }
    return store_->Slot(number_, slot);
}

void TTransStrs::Prefetch() const {
    if (store_ != nullptr) {
        store_->PrefetchSlots(number_);
    }
}

TransStore::TransStore(const std::vector<bool>& taken) : slotOf_(taken.size(), -1) {
    for (std::size_t i = 0; i < taken.size(); ++i) {
        if (taken[i]) {
            slotOf_[i] = static_cast<std::int16_t>(slotCount_++);
        }
    }
}

int TransStore::SlotOf(int langIndex) const {
    if (langIndex < 0 || static_cast<std::size_t>(langIndex) >= slotOf_.size()) {
        return -1;
    }
    return slotOf_[static_cast<std::size_t>(langIndex)];
}

std::string_view TransStore::Keep(std::string_view text) {
    if (text == EmptyTextMarker) {
        return EmptyTextMarker;
    }
    return arena_->Keep(text);
}

std::uint32_t TransStore::AddEntry(const std::string_view* texts) {
    if (entryCount_ == UINT32_MAX) {
        throw std::length_error("too many entries in the data file");
    }
    slots_.insert(slots_.end(), texts, texts + slotCount_);
    return entryCount_++;
}

TransDictBuilder::TransDictBuilder(const std::vector<bool>& taken, int neutralIndex,
                                   CodePage codePage)
    : store_(std::make_unique<TransStore>(taken)), codePage_(codePage) {
    neutralSlot_ = store_->SlotOf(neutralIndex);
    open_.resize(store_->SlotCount());
}

void TransDictBuilder::StartEntry() {
    std::fill(open_.begin(), open_.end(), std::string_view());
    openCount_ = 0;
    openMark_ = store_->Mark();
    passedOver_ = false;
}

bool TransDictBuilder::HasText(int slot) const {
    return slot >= 0 && !open_[static_cast<std::size_t>(slot)].empty();
}

void TransDictBuilder::SetText(int slot, std::string_view text) {
    if (wanted_ != nullptr && slot == neutralSlot_ && !text.empty() && !wanted_->MayContain(text)) {
        passedOver_ = true;
    }
    // The texts of an entry passed over are never read, only whether there
    // are any; a copy of each would be made only to be given back.
    static constexpr std::string_view kNotKept = "-";
    open_[static_cast<std::size_t>(slot)] =
        passedOver_ ? (text.empty() ? std::string_view() : kNotKept) : store_->Keep(text);
    // Only reaching 2 matters; a file with billions of empty lines for one
    // language must not overflow the count.
    if (openCount_ < INT32_MAX) {
        ++openCount_;
    }
}

bool TransDictBuilder::EndEntry() {
    const bool filed = openCount_ >= 2 && HasText(neutralSlot_);
    if (filed) {
        ++filedCount_;
    }
    if (filed && !passedOver_) {
        TTransStrs& entry = entries_.emplace_back();
        entry.Count = openCount_;
        entry.store_ = store_.get();
        entry.number_ = store_->AddEntry(open_.data());
    } else {
        // Nothing views the entry's texts kept so far: their room is used
        // again.
        store_->Forget(openMark_);
    }
    StartEntry();
    return filed;
}

void TransDictBuilder::Build(TransDictionary& dict) {
    const KeptRun all{this, 0, entries_.size()};
    Build({&all, 1}, dict);
}

std::deque<TTransStrs> TransDictBuilder::GatherEntries(std::span<const KeptRun> runs,
                                                       std::vector<TransDictBuilder*>& builders) {
    for (const KeptRun& run : runs) {
        if (std::find(builders.begin(), builders.end(), run.builder) == builders.end()) {
            builders.push_back(run.builder);
        }
    }
    // A single builder's entries are handed over, not copied.
    if (runs.size() == 1 && runs[0].begin == 0 && runs[0].end == runs[0].builder->KeptCount()) {
        return std::move(runs[0].builder->entries_);
    }
    std::deque<TTransStrs> entries;
    for (const KeptRun& run : runs) {
        const std::deque<TTransStrs>& kept = run.builder->entries_;
        entries.insert(entries.end(), kept.begin() + static_cast<std::ptrdiff_t>(run.begin),
                       kept.begin() + static_cast<std::ptrdiff_t>(run.end));
    }
    if (entries.size() > UINT32_MAX) {
        throw std::length_error("too many entries in the data file");
    }
    return entries;
}

void TransDictBuilder::FillIndex(const std::deque<TTransStrs>& entries, int neutralSlot,
                                 TransDictionary& dict) {
    std::vector<SortedText> sorted;
    // The search keys are taken while the texts are read in file order, the
    // order they lie in; in sorted order every text is somewhere else.
    std::vector<std::uint64_t> firstKeys;
    {
        std::vector<std::string_view> neutral;
        neutral.reserve(entries.size());
        firstKeys.reserve(entries.size());
        for (const TTransStrs& entry : entries) {
            neutral.push_back(entry.store_->Slot(entry.number_, neutralSlot));
            firstKeys.push_back(FoldedKey(neutral.back(), dict.codePage_));
        }
        // Equal texts stay in file order: a group's first entry wrote the
        // text the item keeps, its last is the entry that wins.
        sorted = SortTexts(neutral, dict.codePage_);
    }

    // The items view their texts in the store, which the dictionary takes
    // over with them; a copy of a million texts would double their memory.
    std::vector<TransDictionary::ItemList::Entry> items;
    std::vector<std::uint64_t> keys;
    items.reserve(sorted.size());
    keys.reserve(sorted.size());
    for (const SortedText& text : sorted) {
        const TTransStrs* entry = &entries[text.index];
        if (text.sameAsPrevious) {
            items.back().object = entry;
        } else {
            items.push_back({text.text, entry});
            keys.push_back(firstKeys[text.index]);
        }
    }
    sorted = {};
    firstKeys = {};
    // Many equal texts would leave most of the room unused.
    if (items.size() < items.capacity() / 2) {
        items.shrink_to_fit();
        keys.shrink_to_fit();
    }
    dict.keys_ = std::move(keys);
    dict.list_.AssignSorted(std::move(items));
}

void TransDictBuilder::Build(std::span<const KeptRun> runs, TransDictionary& dict) {
    std::vector<TransDictBuilder*> builders;
    std::deque<TTransStrs> entries = GatherEntries(runs, builders);
    // Every builder takes the same languages in one code page, so the slots
    // and the order agree.
    const int neutralSlot = builders.empty() ? -1 : builders.front()->neutralSlot_;
    dict.codePage_ = builders.empty() ? CodePage::Windows1252 : builders.front()->codePage_;
    FillIndex(entries, neutralSlot, dict);
    // Moving a deque hands over its storage, so the items' pointers hold.
    dict.entries_ = std::move(entries);
    dict.stores_.clear();
    std::vector<std::shared_ptr<const void>> owners;
    for (TransDictBuilder* builder : builders) {
        owners.push_back(builder->store_->TextOwner());
        dict.stores_.push_back(std::move(builder->store_));
        builder->entries_.clear();
    }
    if (owners.size() == 1) {
        dict.owner_ = owners.front();
    } else if (!owners.empty()) {
        dict.owner_ = std::make_shared<std::vector<std::shared_ptr<const void>>>(std::move(owners));
    } else {
        dict.owner_ = nullptr;
    }
}

} // namespace korva
