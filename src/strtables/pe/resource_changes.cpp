#include "strtables/pe/resource_changes.h"

#include <algorithm>
#include <utility>

#include "strtables/pe/resource_path.h"

namespace korva::pe {

namespace {

// FindEntry that looks at entry `next` first and leaves `next` after the
// entry found. A writer stages names in the order the directory lists them;
// searching all names for each would make thousands of blocks quadratic.
ResourceEntry* FindEntryFrom(ResourceDirectory& directory, const ResourceId& id,
                             std::size_t& next) {
    std::vector<ResourceEntry>& entries = directory.entries;
    if (next >= entries.size() || !(entries[next].id == id)) {
        const ResourceEntry* found = FindEntry(directory, id);
        if (found == nullptr) {
            return nullptr;
        }
        next = static_cast<std::size_t>(found - entries.data());
    }
    return &entries[next++];
}

// The subdirectory under `id`, created when missing. Fails when a data leaf
// already sits where the directory belongs. `next` as for FindEntryFrom.
Result<ResourceDirectory*> DirectoryAt(ResourceDirectory& parent, const ResourceId& id,
                                       std::size_t& next) {
    ResourceEntry* entry = FindEntryFrom(parent, id, next);
    if (entry == nullptr) {
        ResourceEntry added;
        added.id = id;
        added.subdirectory = std::make_unique<ResourceDirectory>();
        parent.entries.push_back(std::move(added));
        next = parent.entries.size();
        return parent.entries.back().subdirectory.get();
    }
    if (entry->subdirectory == nullptr) {
        return MakeError("resource data found where a directory was expected");
    }
    return entry->subdirectory.get();
}

void EraseEntry(ResourceDirectory& directory, const ResourceEntry* entry) {
    directory.entries.erase(directory.entries.begin() + (entry - directory.entries.data()));
}

} // namespace

// Recursion is bounded: the reader limits the depth of what it builds, and
// staging adds no deeper levels.
ResourceDirectory CloneResourceTree(const ResourceDirectory& tree) { // NOLINT(misc-no-recursion)
    ResourceDirectory copy;
    copy.info = tree.info;
    copy.entries.reserve(tree.entries.size());
    for (const ResourceEntry& entry : tree.entries) {
        ResourceEntry cloned;
        cloned.id = entry.id;
        if (entry.subdirectory != nullptr) {
            cloned.subdirectory =
                std::make_unique<ResourceDirectory>(CloneResourceTree(*entry.subdirectory));
        }
        if (entry.data != nullptr) {
            cloned.data = std::make_unique<ResourceData>(*entry.data);
        }
        copy.entries.push_back(std::move(cloned));
    }
    return copy;
}

ResourceChanges::ResourceChanges(const ResourceDirectory& original)
    : tree_(CloneResourceTree(original)) {}

// Directories live behind their own pointers, so the one found stays where
// it is while entries are added around it; only removing entries can end it.
Result<ResourceDirectory*> ResourceChanges::LanguagesOf(const ResourceId& type,
                                                        const ResourceId& name) {
    if (last_.languages != nullptr && last_.type == type && last_.name == name) {
        return last_.languages;
    }
    Result<ResourceDirectory*> names = DirectoryAt(tree_, type, nextType_);
    if (!names) {
        return names;
    }
    Result<ResourceDirectory*> languages = DirectoryAt(**names, name, nextName_);
    if (!languages) {
        return languages;
    }
    last_ = LastFound{type, name, *languages};
    return languages;
}

Result<void> ResourceChanges::Put(const ResourceId& type, const ResourceId& name,
                                  std::uint16_t language, std::span<const std::uint8_t> bytes,
                                  std::uint32_t codePage) {
    auto data = std::make_unique<ResourceData>();
    data->bytes = staged_.emplace_back(bytes.begin(), bytes.end());
    data->codePage = codePage;
    data->originalSize = static_cast<std::uint32_t>(bytes.size());
    return Stage(type, name, language, std::move(data));
}

Result<void> ResourceChanges::Put(const ResourceId& type, const ResourceId& name,
                                  std::uint16_t language, const ProducedData& produced,
                                  std::uint32_t codePage) {
    auto data = std::make_unique<ResourceData>();
    data->produced = produced;
    data->codePage = codePage;
    data->originalSize = produced.size;
    return Stage(type, name, language, std::move(data));
}

Result<void> ResourceChanges::Stage(const ResourceId& type, const ResourceId& name,
                                    std::uint16_t language, std::unique_ptr<ResourceData> data) {
    Result<ResourceDirectory*> languages = LanguagesOf(type, name);
    if (!languages) {
        const ResourceId languageId = ResourceId::Id(language);
        const ResourceId* path[] = {&type, &name, &languageId};
        return WithContext("staging " + DescribeResourcePath(path), languages.error());
    }
    const ResourceId languageId = ResourceId::Id(language);
    ResourceEntry* entry = FindEntry(**languages, languageId);
    if (entry == nullptr) {
        (*languages)->entries.push_back(ResourceEntry{languageId, nullptr, nullptr});
        entry = &(*languages)->entries.back();
    }
    entry->subdirectory.reset();
    entry->data = std::move(data);
    changed_ = true;
    return {};
}

Result<void> ResourceChanges::Remove(const ResourceId& type, const ResourceId& name,
                                     std::uint16_t language) {
    if (last_.languages != nullptr && last_.type == type && last_.name == name) {
        // The common case: the copies just staged stay, so no directory goes.
        ResourceDirectory& languages = *last_.languages;
        const ResourceEntry* languageEntry = FindEntry(languages, ResourceId::Id(language));
        if (languageEntry == nullptr) {
            return {};
        }
        if (languages.entries.size() > 1) {
            EraseEntry(languages, languageEntry);
            changed_ = true;
            return {};
        }
    }
    last_ = LastFound{};
    ResourceEntry* typeEntry = FindEntry(tree_, type);
    if (typeEntry == nullptr || typeEntry->subdirectory == nullptr) {
        return {};
    }
    ResourceDirectory& names = *typeEntry->subdirectory;
    ResourceEntry* nameEntry = FindEntry(names, name);
    if (nameEntry == nullptr || nameEntry->subdirectory == nullptr) {
        return {};
    }
    ResourceDirectory& languages = *nameEntry->subdirectory;
    const ResourceEntry* languageEntry = FindEntry(languages, ResourceId::Id(language));
    if (languageEntry == nullptr) {
        return {};
    }
    EraseEntry(languages, languageEntry);
    if (languages.entries.empty()) {
        EraseEntry(names, nameEntry);
    }
    if (names.entries.empty()) {
        EraseEntry(tree_, typeEntry);
    }
    changed_ = true;
    return {};
}

} // namespace korva::pe
