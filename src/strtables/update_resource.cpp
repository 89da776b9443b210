#include "strtables/update_resource.h"

#include <span>
#include <string>
#include <utility>

#include "strtables/read_string_tables.h"

namespace korva {

Result<UpdateHandle> BeginResourceUpdate(const char* fileName, bool deleteExistingResources) {
    if (fileName == nullptr) {
        return MakeError("no file name to update");
    }
    if (deleteExistingResources) {
        return MakeError("an update that deletes every existing resource is not supported");
    }
    KORVA_ASSIGN_OR_RETURN(pe::ResourceUpdate update, pe::ResourceUpdate::Begin(fileName));
    return std::make_unique<pe::ResourceUpdate>(std::move(update));
}

Result<UpdateHandle> BeginResourceUpdateInto(const std::string& fileName,
                                             const std::string& output) {
    KORVA_ASSIGN_OR_RETURN(pe::ResourceUpdate update,
                           pe::ResourceUpdate::BeginCopy(fileName, output));
    return std::make_unique<pe::ResourceUpdate>(std::move(update));
}

Result<UpdateHandle> BeginResourceRehearsal(const char* fileName) {
    if (fileName == nullptr) {
        return MakeError("no file name to update");
    }
    KORVA_ASSIGN_OR_RETURN(pe::ResourceUpdate update, pe::ResourceUpdate::ForRehearsal(fileName));
    return std::make_unique<pe::ResourceUpdate>(std::move(update));
}

Result<void> StageResource(const UpdateHandle& handle, const ResourceName& type,
                           const ResourceName& name, std::uint16_t language, const void* data,
                           std::uint32_t size) {
    if (handle == nullptr) {
        return MakeError("no update to stage a resource in");
    }
    const pe::ResourceId typeId = ToResourceId(type);
    const pe::ResourceId nameId = ToResourceId(name);
    if (data == nullptr) {
        if (size != 0) {
            return MakeError("no data for a resource of " + std::to_string(size) + " bytes");
        }
        return handle->Remove(typeId, nameId, language);
    }
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(data), size);
    return handle->Put(typeId, nameId, language, bytes);
}

Result<void> StageResource(const UpdateHandle& handle, const ResourceName& type,
                           const ResourceName& name, std::uint16_t language,
                           const pe::ProducedData& data) {
    if (handle == nullptr) {
        return MakeError("no update to stage a resource in");
    }
    return handle->Put(ToResourceId(type), ToResourceId(name), language, data);
}

Result<void> EndResourceUpdate(UpdateHandle& handle, bool discard) {
    if (handle == nullptr) {
        return MakeError("no update to end");
    }
    const UpdateHandle finished = std::move(handle);
    if (discard) {
        return {};
    }
    return finished->Commit();
}

Result<void> RehearseResourceUpdate(UpdateHandle& handle) {
    if (handle == nullptr) {
        return MakeError("no update to end");
    }
    const UpdateHandle finished = std::move(handle);
    return finished->Rehearse();
}

} // namespace korva
