#include "dat/folded_text_table.h"

#include <stdexcept>

#include "text/case_fold.h"
#include "text/compare.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

constexpr std::uint64_t kFnvOffset = 0xCBF29CE484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001B3ULL;

// Spreads the bits of a hash built one unit at a time over the slots.
std::uint64_t Mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    return h;
}

} // namespace

std::uint64_t FoldedTextHash(std::string_view text, CodePage codePage) {
    std::uint64_t h = kFnvOffset;
    if (codePage != CodePage::Utf8) {
        for (const char c : text) {
            h = (h ^ FoldUpper(static_cast<unsigned char>(c))) * kFnvPrime;
        }
        return Mix(h);
    }
    // The code points CompareUtf8Text compares: ASCII folded to lower case,
    // others by simple case folding, a malformed byte as U+FFFD.
    for (std::size_t pos = 0; pos < text.size();) {
        const auto c = static_cast<unsigned char>(text[pos]);
        char32_t folded = 0;
        if (c < 0x80) {
            ++pos;
            folded = c >= 'A' && c <= 'Z' ? c + 0x20U : c;
        } else {
            folded = FoldCase(DecodeUtf8(text, pos));
        }
        h = (h ^ folded) * kFnvPrime;
    }
    return Mix(h);
}

FoldedTextTable::FoldedTextTable(CodePage codePage, std::size_t expected) : codePage_(codePage) {
    std::size_t slots = 16;
    while (slots < expected * 2) {
        slots *= 2;
    }
    items_.reserve(expected);
    slots_.assign(slots, kEmpty);
}

std::size_t FoldedTextTable::SlotOf(std::string_view text, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    const std::uint64_t tag = hash & kTagMask;
    for (std::size_t s = static_cast<std::size_t>(hash) & mask;; s = (s + 1) & mask) {
        const std::uint64_t slot = slots_[s];
        if (slot == kEmpty || ((slot & kTagMask) == tag &&
                               CompareText(items_[slot & ~kTagMask].text, text, codePage_) == 0)) {
            return s;
        }
    }
}

std::optional<std::size_t> FoldedTextTable::Insert(std::string_view text, std::uint64_t hash,
                                                   std::size_t value) {
    const std::size_t s = SlotOf(text, hash);
    if (slots_[s] != kEmpty) {
        return items_[slots_[s] & ~kTagMask].value;
    }
    if (items_.size() >= UINT32_MAX) {
        throw std::length_error("too many texts");
    }
    slots_[s] = (hash & kTagMask) | items_.size();
    items_.push_back({text, value});
    if (items_.size() * 2 > slots_.size()) {
        Grow();
    }
    return std::nullopt;
}

std::optional<std::size_t> FoldedTextTable::Find(std::string_view text) const {
    const std::size_t s = SlotOf(text, FoldedTextHash(text, codePage_));
    if (slots_[s] == kEmpty) {
        return std::nullopt;
    }
    return items_[slots_[s] & ~kTagMask].value;
}

void FoldedTextTable::Grow() {
    slots_.assign(slots_.size() * 2, kEmpty);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const std::uint64_t hash = FoldedTextHash(items_[i].text, codePage_);
        std::size_t s = static_cast<std::size_t>(hash) & mask;
        while (slots_[s] != kEmpty) {
            s = (s + 1) & mask;
        }
        slots_[s] = (hash & kTagMask) | i;
    }
}

} // namespace korva::dat
