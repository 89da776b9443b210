#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "text/codepage.h"

namespace korva::dat {

// A hash of the text as korva compares it in the code page: texts equal
// under CompareText have equal hashes.
std::uint64_t FoldedTextHash(std::string_view text, CodePage codePage);

// Texts under korva's comparison, each with a value, found in time that does
// not grow with their number: a million texts of a data file are grouped and
// looked up in one pass each, where a sort or a binary search would fold
// every text many times over.
class FoldedTextTable {
public:
    FoldedTextTable(CodePage codePage, std::size_t expected);

    // The value of the text added before that equals `text` for korva;
    // without one, `text` is added with `value` and nothing is returned.
    std::optional<std::size_t> Insert(std::string_view text, std::size_t value) {
        return Insert(text, FoldedTextHash(text, codePage_), value);
    }
    // The same with the text's FoldedTextHash at hand: a caller that goes
    // through many texts hashes them ahead and has their slots fetched
    // (Prefetch) while it inserts the ones before.
    std::optional<std::size_t> Insert(std::string_view text, std::uint64_t hash, std::size_t value);
    std::uint64_t Hash(std::string_view text) const { return FoldedTextHash(text, codePage_); }
    void Prefetch(std::uint64_t hash) const {
        __builtin_prefetch(&slots_[static_cast<std::size_t>(hash) & (slots_.size() - 1)]);
    }
    std::optional<std::size_t> Find(std::string_view text) const;

private:
    struct Item {
        std::string_view text;
        std::size_t value = 0;
    };
    // A slot holds the high half of its text's hash above the item's index,
    // so that a probe reads a text only when the hashes agree.
    static constexpr std::uint64_t kEmpty = UINT64_MAX;
    static constexpr std::uint64_t kTagMask = 0xFFFFFFFF00000000ULL;

    // The slot that holds the text's item, or the empty one where it would go.
    std::size_t SlotOf(std::string_view text, std::uint64_t hash) const;
    void Grow();

    CodePage codePage_;
    std::vector<Item> items_;
    std::vector<std::uint64_t> slots_; // a power of two of them
};

} // namespace korva::dat
