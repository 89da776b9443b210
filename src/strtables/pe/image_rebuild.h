#pragma once

#include <cstdint>
#include <vector>

#include "strtables/pe/checked_reader.h"
#include "strtables/pe/image.h"
#include "strtables/pe/image_pieces.h"
#include "strtables/pe/resource_serializer.h"
#include "strtables/pe/resource_tree.h"
#include "strtables/pe/result.h"

namespace korva::pe {

// Where the new resource data went, tried in this order.
enum class Placement {
    InPlace,    // the old resource section, which held nothing else, had room
    Grown,      // the resource section grew; relocation or discardable sections after it moved
    NewSection, // a section added at the end; the old one stays as it was
};

struct RebuiltImage {
    std::vector<std::uint8_t> bytes;
    Placement placement = Placement::InPlace;
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
};

// The new file as pieces: bytes of the old file, of the resource data and
// of the new headers, none of them copied.
struct PlannedImage {
    ImagePieces pieces;
    Placement placement = Placement::InPlace;
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
};

// The whole file with the resources of `layout` in it and every header field
// that points at moved bytes fixed up, as pieces that view `file` and the
// resource data. `release` gets the bytes of `file` that a checksum pass
// has read.
Result<PlannedImage> PlanRebuiltImage(Bytes file, const Image& image,
                                      const ResourceDirectory& originalTree,
                                      const ResourceLayout& layout,
                                      const PageRelease& release = {});

// The same file in one buffer. The whole file with the resources of `layout`
// in it and every header field that points at moved bytes fixed up. `originalTree` is the tree as
// read from `file`; it tells how far the old resource data reaches. Fails, and builds nothing,
// where no safe layout exists.
Result<RebuiltImage> RebuildImage(Bytes file, const Image& image,
                                  const ResourceDirectory& originalTree,
                                  const ResourceLayout& layout);

} // namespace korva::pe
