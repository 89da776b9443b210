#pragma once

// What a rebuild may do to the sections of an image: rewrite the resource
// section whole, or move a section to another address. Each rule answers
// with the reason it forbids it.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "strtables/pe/rebuild_plan.h"

namespace korva::pe {

// Done when the section holds nothing but the resources, so the whole of
// it may be rewritten; otherwise what else lives there.
Result<void> CheckResourceOnly(const RebuildSource& source, std::size_t index);

// Done when the section may move to a new address: the one that holds the
// base-relocation table and nothing else, or a discardable section of debug
// information only (.debug_* by its full name, or the COFF symbols), that
// nothing but its own data directory points into.
Result<void> CheckMovable(const RebuildSource& source, std::size_t index);

// True for the section that holds the base-relocation table (found by its
// directory) and for a section of debug information (.debug_* by its full
// name, or the COFF symbols); CheckMovable says whether it may move.
bool IsRelocationOrDebugSection(const Image& image, std::size_t index);

// The name of a data directory, other than the `allowed` ones, that points
// into [start, start + size), if there is one.
std::optional<std::string> DirectoryInside(const Image& image, std::uint64_t start,
                                           std::uint64_t size,
                                           std::initializer_list<std::uint32_t> allowed);

// True when a base relocation patches an address in [start, start + size):
// the loader would patch whatever new bytes lie there, and moved bytes would
// lose their fix-ups.
bool RelocationsPatch(const RebuildSource& source, std::uint64_t start, std::uint64_t size);

} // namespace korva::pe
