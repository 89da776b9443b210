#include "strtables/pe/image_rebuild.h"

#include "strtables/pe/rebuild_placement.h"

namespace korva::pe {

Result<PlannedImage> PlanRebuiltImage(Bytes file, const Image& image,
                                      const ResourceDirectory& originalTree,
                                      const ResourceLayout& layout, const PageRelease& release) {
    KORVA_ASSIGN_OR_RETURN(const RebuildSource source,
                           SurveyImage(file, image, originalTree, layout));
    KORVA_ASSIGN_OR_RETURN(const RebuildPlan plan, PlanPlacement(source));
    return WriteRebuiltImage(source, plan, release);
}

Result<RebuiltImage> RebuildImage(Bytes file, const Image& image,
                                  const ResourceDirectory& originalTree,
                                  const ResourceLayout& layout) {
    KORVA_ASSIGN_OR_RETURN(PlannedImage planned,
                           PlanRebuiltImage(file, image, originalTree, layout));
    RebuiltImage result;
    result.bytes = planned.pieces.Materialize(&result.digests);
    result.placement = planned.placement;
    result.resourceRva = planned.resourceRva;
    result.resourceSize = planned.resourceSize;
    return result;
}

} // namespace korva::pe
