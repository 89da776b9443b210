#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"

namespace korva::res {

// The kinds of resource a run translates, as --resources names them.
enum class ResourceKind : std::uint8_t { Strings, Menus, Dialogs, Version, Messages };

inline constexpr ResourceKind kAllResourceKinds[] = {ResourceKind::Strings, ResourceKind::Menus,
                                                     ResourceKind::Dialogs, ResourceKind::Version,
                                                     ResourceKind::Messages};

// A set of kinds; string tables alone unless a list says otherwise.
class ResourceKinds {
public:
    static ResourceKinds StringsOnly() { return ResourceKinds(Bit(ResourceKind::Strings)); }
    static ResourceKinds None() { return ResourceKinds(0); }

    bool Has(ResourceKind kind) const { return (bits_ & Bit(kind)) != 0; }
    void Add(ResourceKind kind) { bits_ |= Bit(kind); }
    void Add(ResourceKinds other) { bits_ |= other.bits_; }
    bool IsStringsOnly() const { return bits_ == Bit(ResourceKind::Strings); }
    bool Empty() const { return bits_ == 0; }

    // The words of the set in a fixed order, comma-separated: what
    // ParseResourceKinds reads back as the same set ("strings,menus").
    std::string Words() const;

    friend bool operator==(ResourceKinds, ResourceKinds) = default;

private:
    explicit ResourceKinds(std::uint8_t bits) : bits_(bits) {}
    static std::uint8_t Bit(ResourceKind kind) {
        return static_cast<std::uint8_t>(1U << static_cast<unsigned>(kind));
    }
    std::uint8_t bits_;
};

// The word for one kind: "strings", "menus", "dialogs", "version", "messages".
std::string_view KindWord(ResourceKind kind);

// A comma-separated list of those words or "all", in any letter case, words
// repeated or not. An empty list or word, or an unknown one, is refused with
// a message that names it and the words there are.
Result<ResourceKinds> ParseResourceKinds(std::string_view list);

} // namespace korva::res
