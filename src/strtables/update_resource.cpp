#include "strtables/update_resource.h"

#include <span>
#include <utility>

#include "strtables/read_string_tables.h"

namespace korva {

UpdateHandle BeginUpdateResourceA(const char* fileName, bool deleteExistingResources) {
    if (fileName == nullptr || deleteExistingResources) {
        return nullptr;
    }
    pe::Result<pe::ResourceUpdate> update = pe::ResourceUpdate::Begin(fileName);
    if (!update) {
        return nullptr;
    }
    return std::make_unique<pe::ResourceUpdate>(std::move(*update));
}

bool UpdateResourceA(const UpdateHandle& handle, const ResourceName& type, const ResourceName& name,
                     std::uint16_t language, const void* data, std::uint32_t size) {
    if (handle == nullptr) {
        return false;
    }
    const pe::ResourceId typeId = ToResourceId(type);
    const pe::ResourceId nameId = ToResourceId(name);
    if (data == nullptr) {
        return size == 0 && handle->Remove(typeId, nameId, language).ok();
    }
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(data), size);
    return handle->Put(typeId, nameId, language, bytes).ok();
}

bool UpdateResourceA(const UpdateHandle& handle, const ResourceName& type, const ResourceName& name,
                     std::uint16_t language, const pe::ProducedData& data) {
    if (handle == nullptr) {
        return false;
    }
    return handle->Put(ToResourceId(type), ToResourceId(name), language, data).ok();
}

bool EndUpdateResourceA(UpdateHandle& handle, bool discard) {
    if (handle == nullptr) {
        return false;
    }
    const UpdateHandle finished = std::move(handle);
    return discard || finished->Commit().ok();
}

} // namespace korva
