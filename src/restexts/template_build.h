#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "restexts/template_units.h"

namespace korva::res {

// What follows a template's last item: the zero padding a compiler may add
// to round the resource up, then bytes that are no part of the template,
// kept as they are. The padding is made again for wherever the last item
// ends once the texts change.
class TemplateTail {
public:
    // `end` is where the last item ends in `data`. When it ends on the
    // boundary already, nothing tells whether the compiler pads, and
    // `padWhenAligned` says what to do for a new end.
    static TemplateTail After(pe::Bytes data, std::size_t end, std::size_t alignment,
                              bool padWhenAligned) {
        TemplateTail tail;
        tail.alignment_ = alignment;
        const std::size_t pad = (alignment - end % alignment) % alignment;
        const pe::Bytes rest = end < data.size() ? data.subspan(end) : pe::Bytes{};
        tail.padded_ = pad == 0 ? padWhenAligned : pad <= rest.size() && IsZero(rest.first(pad));
        const std::size_t skip = tail.padded_ ? pad : 0;
        tail.rest_.assign(rest.begin() + static_cast<std::ptrdiff_t>(skip), rest.end());
        return tail;
    }

    void WriteTo(TemplateWriter& out) const {
        if (padded_) {
            out.Align(alignment_);
        }
        out.Raw(rest_);
    }

private:
    static bool IsZero(pe::Bytes bytes) {
        return std::ranges::all_of(bytes, [](std::uint8_t byte) { return byte == 0; });
    }

    std::size_t alignment_ = 1;
    bool padded_ = false;
    std::vector<std::uint8_t> rest_;
};

// Refuses new texts that do not match the template's slots, or that hold a
// zero unit: the format ends a text at its first zero, so the rest would be
// read as the next item.
inline Result<void> CheckNewTexts(std::span<const std::u16string_view> texts, std::size_t slots) {
    if (texts.size() != slots) {
        return MakeError("the resource has " + std::to_string(slots) + " texts, not " +
                         std::to_string(texts.size()));
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].find(u'\0') != std::u16string_view::npos) {
            return MakeError("text " + std::to_string(i + 1) + " holds a zero character");
        }
    }
    return {};
}

} // namespace korva::res
