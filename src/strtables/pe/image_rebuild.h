#pragma once

#include <cstdint>
#include <vector>

#include "common/result.h"
#include "strtables/pe/checked_reader.h"
#include "strtables/pe/data_digest.h"
#include "strtables/pe/image.h"
#include "strtables/pe/image_pieces.h"
#include "strtables/pe/rebuild_plan.h"
#include "strtables/pe/rebuild_writer.h"
#include "strtables/pe/resource_serializer.h"
#include "strtables/pe/resource_tree.h"

namespace korva::pe {

struct RebuiltImage {
    std::vector<std::uint8_t> bytes;
    Placement placement = Placement::InPlace;
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
    ProducedDigests digests; // of the data made on demand, as it was made for `bytes`
};

// The whole file with the resources of `layout` in it and every header field
// that points at moved bytes fixed up, as pieces that view `file` and the
// resource data. `originalTree` is the tree as read from `file`; it tells how
// far the old resource data reaches. Fails, and builds nothing, where no safe
// layout exists. `release` gets the bytes of `file` that a checksum pass has
// read.
Result<PlannedImage> PlanRebuiltImage(Bytes file, const Image& image,
                                      const ResourceDirectory& originalTree,
                                      const ResourceLayout& layout,
                                      const PageRelease& release = {});

// The same file in one buffer.
Result<RebuiltImage> RebuildImage(Bytes file, const Image& image,
                                  const ResourceDirectory& originalTree,
                                  const ResourceLayout& layout);

} // namespace korva::pe
