#pragma once

// The ways of placing new resources in an image. Each takes the image and
// the plan so far and gives a new plan, or the reason it does not fit.

#include "common/result.h"
#include "strtables/pe/rebuild_plan.h"

namespace korva::pe {

using PlaceResourcesWay = Result<RebuildPlan> (*)(const RebuildSource& source,
                                                  const RebuildPlan& current);

// Rewrites the resource section where it is, when it holds nothing but the
// resources and the new ones fit in its raw data.
Result<RebuildPlan> PlaceInPlace(const RebuildSource& source, const RebuildPlan& current);

// Grows the resource section, when it holds nothing but the resources and
// no section follows it, in memory or in the file.
Result<RebuildPlan> PlaceByGrowing(const RebuildSource& source, const RebuildPlan& current);

// Grows the resource section and moves the sections that follow it, when
// each of them is the relocation table or debug information and nothing
// else points into it (CheckMovable).
Result<RebuildPlan> PlaceByMovingFollowers(const RebuildSource& source, const RebuildPlan& current);

// Adds a section at the end, when the headers have room for one more
// section header that nothing else uses.
Result<RebuildPlan> PlaceInNewSection(const RebuildSource& source, const RebuildPlan& current);

// Tries the ways above in that order and completes the first plan that
// fits with the overlay and keeps the limits (CheckPlan); when none does,
// the message gives every way's reason.
Result<RebuildPlan> PlanPlacement(const RebuildSource& source);

} // namespace korva::pe
