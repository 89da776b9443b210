#include "strtables/pe/image_rebuild.h"

#include "strtables/pe/rebuild_placement.h"

namespace korva::pe {

Result<PlannedImage> PlanRebuiltImage(Bytes file, const Image& image,
                                      const ResourceDirectory& originalTree,
                                      const ResourceLayout& layout, const PageRelease& release) {
    const Result<RebuildSource> source = SurveyImage(file, image, originalTree, layout);
    if (!source) {
        return source.error();
    }
    const Result<RebuildPlan> plan = PlanPlacement(*source);
    if (!plan) {
        return plan.error();
    }
    return WriteRebuiltImage(*source, *plan, release);
}

Result<RebuiltImage> RebuildImage(Bytes file, const Image& image,
                                  const ResourceDirectory& originalTree,
                                  const ResourceLayout& layout) {
    Result<PlannedImage> planned = PlanRebuiltImage(file, image, originalTree, layout);
    if (!planned) {
        return planned.error();
    }
    RebuiltImage result;
    result.bytes = planned->pieces.Materialize(&result.digests);
    result.placement = planned->placement;
    result.resourceRva = planned->resourceRva;
    result.resourceSize = planned->resourceSize;
    return result;
}

} // namespace korva::pe
