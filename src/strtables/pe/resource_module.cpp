#include "strtables/pe/resource_module.h"

#include <algorithm>
#include <utility>

#include "strtables/pe/resource_reader.h"

namespace korva::pe {
namespace {

Bytes BytesOf(const std::variant<MappedFile, std::vector<std::uint8_t>, Bytes>& storage) {
    if (const auto* mapped = std::get_if<MappedFile>(&storage)) {
        return mapped->Bytes();
    }
    if (const auto* view = std::get_if<Bytes>(&storage)) {
        return *view;
    }
    return std::get<std::vector<std::uint8_t>>(storage);
}

// Smaller directories are searched directly.
constexpr std::size_t kIndexThreshold = 16;

} // namespace

ResourceModule::ResourceModule(Storage storage, Image image, ResourceDirectory root)
    : storage_(std::move(storage)), image_(std::move(image)),
      root_(std::make_unique<ResourceDirectory>(std::move(root))) {
    IndexDirectory(*root_);
}

// NOLINTNEXTLINE(misc-no-recursion): the reader bounds the tree's depth
void ResourceModule::IndexDirectory(const ResourceDirectory& directory) {
    const std::vector<ResourceEntry>& entries = directory.entries;
    if (entries.size() > kIndexThreshold) {
        std::vector<std::uint32_t> order(entries.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = static_cast<std::uint32_t>(i);
        }
        // Stable, so that of repeated keys the first in the file is found,
        // as the direct search finds it.
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return ResourceIdLess(entries[a].id, entries[b].id);
        });
        index_.emplace(&directory, std::move(order));
    }
    // The reader bounded the depth, so this recursion is bounded too.
    for (const ResourceEntry& entry : entries) {
        if (entry.subdirectory) {
            IndexDirectory(*entry.subdirectory);
        }
    }
}

const ResourceEntry* ResourceModule::Lookup(const ResourceDirectory& directory,
                                            const ResourceId& id) const {
    const auto it = index_.find(&directory);
    if (it == index_.end()) {
        return FindEntry(directory, id);
    }
    const std::vector<std::uint32_t>& order = it->second;
    const auto found = std::lower_bound(order.begin(), order.end(), id,
                                        [&](std::uint32_t i, const ResourceId& key) {
                                            return ResourceIdLess(directory.entries[i].id, key);
                                        });
    if (found == order.end() || !(directory.entries[*found].id == id)) {
        return nullptr;
    }
    return &directory.entries[*found];
}

// The subdirectory under `id`, or why there is none.
const ResourceDirectory* ResourceModule::SubdirectoryOf(const ResourceDirectory& directory,
                                                        const ResourceId& id,
                                                        EnumResult& failure) const {
    const ResourceEntry* entry = Lookup(directory, id);
    if (entry == nullptr) {
        failure = EnumResult::NotFound;
        return nullptr;
    }
    if (!entry->subdirectory) {
        failure = EnumResult::Malformed;
        return nullptr;
    }
    return entry->subdirectory.get();
}

Result<ResourceModule> ResourceModule::Open(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(MappedFile file, MappedFile::Open(path));
    Result<ResourceModule> module = Parse(Storage(std::move(file)));
    if (!module) {
        return WithContext(path, module.error());
    }
    return module;
}

Result<ResourceModule> ResourceModule::FromBytes(std::vector<std::uint8_t> bytes) {
    return Parse(Storage(std::move(bytes)));
}

Result<ResourceModule> ResourceModule::View(Bytes bytes) {
    return Parse(Storage(bytes));
}

void ResourceModule::ReleasePages(Bytes bytes) const {
    if (const auto* mapped = std::get_if<MappedFile>(&storage_)) {
        mapped->ReleasePages(bytes);
    }
}

Result<ResourceModule> ResourceModule::Parse(Storage storage) {
    // The spans below point into the storage's buffer, which a move of the
    // storage (mapping or vector) leaves where it is.
    const Bytes file = BytesOf(storage);
    KORVA_ASSIGN_OR_RETURN(Image image, ParseImage(file));
    KORVA_ASSIGN_OR_RETURN(ResourceDirectory root, ReadResourceTree(image, file));
    return ResourceModule(std::move(storage), std::move(image), std::move(root));
}

Bytes ResourceModule::file() const {
    return BytesOf(storage_);
}

EnumResult
ResourceModule::EnumNames(const ResourceId& type,
                          const std::function<bool(const ResourceId& name)>& callback) const {
    EnumResult failure = EnumResult::NotFound;
    const ResourceDirectory* names = SubdirectoryOf(*root_, type, failure);
    if (names == nullptr) {
        return failure;
    }
    for (const ResourceEntry& entry : names->entries) {
        if (!callback(entry.id)) {
            return EnumResult::Stopped;
        }
    }
    return EnumResult::Completed;
}

EnumResult
ResourceModule::EnumLanguages(const ResourceId& type, const ResourceId& name,
                              const std::function<bool(std::uint16_t language)>& callback) const {
    EnumResult failure = EnumResult::NotFound;
    const ResourceDirectory* names = SubdirectoryOf(*root_, type, failure);
    const ResourceDirectory* languages =
        names != nullptr ? SubdirectoryOf(*names, name, failure) : nullptr;
    if (languages == nullptr) {
        return failure;
    }
    // Checked before the first callback, so that a failed enumeration has
    // reported nothing.
    for (const ResourceEntry& entry : languages->entries) {
        if (!entry.id.isId) {
            return EnumResult::Malformed;
        }
    }
    for (const ResourceEntry& entry : languages->entries) {
        if (!callback(entry.id.id)) {
            return EnumResult::Stopped;
        }
    }
    return EnumResult::Completed;
}

const ResourceData* ResourceModule::Find(const ResourceId& type, const ResourceId& name,
                                         std::uint16_t language) const {
    EnumResult ignored = EnumResult::NotFound;
    const ResourceDirectory* names = SubdirectoryOf(*root_, type, ignored);
    const ResourceDirectory* languages =
        names != nullptr ? SubdirectoryOf(*names, name, ignored) : nullptr;
    const ResourceEntry* entry =
        languages != nullptr ? Lookup(*languages, ResourceId::Id(language)) : nullptr;
    return entry != nullptr ? entry->data.get() : nullptr;
}

} // namespace korva::pe
