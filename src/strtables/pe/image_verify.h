#pragma once

#include <cstdint>

#include "common/result.h"
#include "strtables/pe/checked_reader.h"
#include "strtables/pe/data_digest.h"
#include "strtables/pe/image_pieces.h"
#include "strtables/pe/image_rebuild.h"
#include "strtables/pe/resource_tree.h"

namespace korva::pe {

// Reads `rebuilt` back and checks it against what was meant to be written:
// sections apart in memory and in the file, the resource data directory on
// the new resources, the tree in the loader's order and equal to `staged`.
// Data made on demand is recognised by the digest taken when it was made,
// not made again.
Result<void> VerifyRebuiltImage(const RebuiltImage& rebuilt, const ResourceDirectory& staged);

// The same for a new file given as bytes, where its resources should be and
// the digests of the data made for it. `release` gets the data it has
// compared.
Result<void> VerifyRebuiltImage(Bytes file, std::uint32_t resourceRva, std::uint32_t resourceSize,
                                const ResourceDirectory& staged, const ProducedDigests& digests,
                                const PageRelease& release = {});

} // namespace korva::pe
