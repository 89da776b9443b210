#pragma once

#include <cstdint>

#include "common/result.h"
#include "strtables/pe/image_pieces.h"
#include "strtables/pe/rebuild_plan.h"

namespace korva::pe {

// The new file as pieces: bytes of the old file, of the resource data and
// of the new headers, none of them copied.
struct PlannedImage {
    ImagePieces pieces;
    Placement placement = Placement::InPlace;
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
};

// Carries out `plan`: every piece of the old file at its new place, the new
// resources, and every header field that points at moved bytes or sizes the
// image fixed up. `release` gets the bytes of the old file that the checksum
// pass has read.
Result<PlannedImage> WriteRebuiltImage(const RebuildSource& source, const RebuildPlan& plan,
                                       const PageRelease& release);

} // namespace korva::pe
