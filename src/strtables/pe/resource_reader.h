#pragma once

#include <cstddef>
#include <cstdint>

#include "common/result.h"
#include "strtables/pe/checked_reader.h"
#include "strtables/pe/image.h"
#include "strtables/pe/resource_tree.h"

namespace korva::pe {

// Limits of the tree walk. The loader's tree has three levels; deeper ones are
// kept, up to this depth, so that the writer can carry them over.
inline constexpr int kMaxResourceDepth = 16;
// No real image comes near this. The walk also allows no more entries than
// the resource section has room for without overlapping tables, which
// bounds what a crafted file can claim to a small multiple of its size.
inline constexpr std::uint64_t kMaxResourceEntries = std::uint64_t{1} << 20;

struct TreeLimits {
    int maxDepth = kMaxResourceDepth;
    std::uint64_t maxEntries = kMaxResourceEntries;
};

// Reads the whole resource tree of an image. The data spans point into
// `file`. An image without a resource directory gives an empty root.
// Fails on a malformed tree: a table, entry or name outside the resource
// section, a subdirectory reached twice (a loop or a shared subtree), a tree
// deeper than the depth limit, more entries than the entry limit, an id
// above 0xFFFF, or a named entry among the id entries (or the reverse).
// A data entry whose data lies outside the file is not an error: it reads
// as not located, with no bytes.
Result<ResourceDirectory> ReadResourceTree(const Image& image, Bytes file,
                                           const TreeLimits& limits = {});

} // namespace korva::pe
