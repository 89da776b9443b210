#include "strtables/pe/resource_update.h"

#include <algorithm>

#include "common/platform.h"
#include "strtables/pe/resource_serializer.h"

namespace korva::pe {

namespace {

// The maximum of VirtualSize and SizeOfRawData, as the rebuild counts it.
std::uint64_t Extent(const SectionHeader& h) {
    return std::max(h.virtualSize, h.sizeOfRawData);
}

Result<bool> CheckSectionsApart(const Image& image) {
    std::vector<const SectionHeader*> byAddress;
    std::vector<const SectionHeader*> byOffset;
    for (const Section& section : image.sections) {
        byAddress.push_back(&section.header);
        if (section.header.sizeOfRawData != 0) {
            byOffset.push_back(&section.header);
        }
    }
    std::sort(byAddress.begin(), byAddress.end(),
              [](const auto* a, const auto* b) { return a->virtualAddress < b->virtualAddress; });
    for (std::size_t i = 1; i < byAddress.size(); ++i) {
        if (byAddress[i - 1]->virtualAddress + Extent(*byAddress[i - 1]) >
            byAddress[i]->virtualAddress) {
            return MakeError("sections overlap in memory");
        }
    }
    std::sort(byOffset.begin(), byOffset.end(), [](const auto* a, const auto* b) {
        return a->pointerToRawData < b->pointerToRawData;
    });
    for (std::size_t i = 0; i < byOffset.size(); ++i) {
        const std::uint64_t end =
            std::uint64_t{byOffset[i]->pointerToRawData} + byOffset[i]->sizeOfRawData;
        if (end > image.fileSize ||
            (i + 1 < byOffset.size() && end > byOffset[i + 1]->pointerToRawData)) {
            return MakeError("sections overlap in the file or run past its end");
        }
    }
    return true;
}

bool SameData(const ResourceData& written, const ResourceData& read) {
    if (written.codePage != read.codePage || written.reserved != read.reserved ||
        written.located != read.located) {
        return false;
    }
    if (!written.located) {
        return written.originalRva == read.originalRva && written.originalSize == read.originalSize;
    }
    return std::equal(written.bytes.begin(), written.bytes.end(), read.bytes.begin(),
                      read.bytes.end());
}

// The tree read back must list the staged entries in the loader's order and
// hold exactly their data. The reader bounds the depth, so recursion ends.
Result<bool> CompareTrees(const ResourceDirectory& staged, // NOLINT(misc-no-recursion)
                          const ResourceDirectory& read) {
    const DirectoryInfo& a = staged.info;
    const DirectoryInfo& b = read.info;
    if (a.characteristics != b.characteristics || a.timeDateStamp != b.timeDateStamp ||
        a.majorVersion != b.majorVersion || a.minorVersion != b.minorVersion) {
        return MakeError("a directory header differs");
    }
    if (staged.entries.size() != read.entries.size()) {
        return MakeError("a directory has a different number of entries");
    }
    std::vector<const ResourceEntry*> sorted;
    for (const ResourceEntry& entry : staged.entries) {
        sorted.push_back(&entry);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto* x, const auto* y) { return ResourceIdLess(x->id, y->id); });
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const ResourceEntry& want = *sorted[i];
        const ResourceEntry& got = read.entries[i];
        if (i > 0 && !ResourceIdLess(read.entries[i - 1].id, got.id)) {
            return MakeError("a directory is not in search order");
        }
        if (!(want.id == got.id)) {
            return MakeError("an entry has a different name");
        }
        if ((want.subdirectory == nullptr) != (got.subdirectory == nullptr)) {
            return MakeError("an entry changed between directory and data");
        }
        if (want.subdirectory != nullptr) {
            if (Result<bool> r = CompareTrees(*want.subdirectory, *got.subdirectory); !r) {
                return r;
            }
        } else if (!SameData(*want.data, *got.data)) {
            return MakeError("resource data differs");
        }
    }
    return true;
}

} // namespace

Result<bool> VerifyRebuiltImage(const RebuiltImage& rebuilt, const ResourceDirectory& staged) {
    Result<ResourceModule> module = ResourceModule::FromBytes(rebuilt.bytes);
    if (!module) {
        return WithContext("the new image does not read back", module.error());
    }
    if (Result<bool> r = CheckSectionsApart(module->image()); !r) {
        return WithContext("the new image is inconsistent", r.error());
    }
    const DataDirectory dir = module->image().Directory(kResourceDirectory);
    if (dir.virtualAddress != rebuilt.resourceRva || dir.size != rebuilt.resourceSize) {
        return MakeError("the new image does not point at the new resources");
    }
    if (Result<bool> r = CompareTrees(staged, module->root()); !r) {
        return WithContext("the new image's resources differ from the staged ones", r.error());
    }
    return true;
}

ResourceUpdate::ResourceUpdate(std::string path, std::unique_ptr<ResourceModule> module)
    : path_(std::move(path)), module_(std::move(module)),
      changes_(std::make_unique<ResourceChanges>(module_->root())) {}

Result<ResourceUpdate> ResourceUpdate::Begin(const std::string& path) {
    if (FileStatus writable = CheckWritable(path); !writable) {
        return MakeError(writable.error);
    }
    std::vector<std::uint8_t> bytes;
    if (FileStatus read = ReadWholeFile(path, bytes); !read) {
        return MakeError(read.error);
    }
    Result<ResourceModule> module = ResourceModule::FromBytes(std::move(bytes));
    if (!module) {
        return WithContext(path, module.error());
    }
    return ResourceUpdate(path, std::make_unique<ResourceModule>(std::move(*module)));
}

Result<ResourceUpdate> ResourceUpdate::FromBytes(std::vector<std::uint8_t> bytes) {
    Result<ResourceModule> module = ResourceModule::FromBytes(std::move(bytes));
    if (!module) {
        return module.error();
    }
    return ResourceUpdate(std::string(), std::make_unique<ResourceModule>(std::move(*module)));
}

Result<bool> ResourceUpdate::Put(const ResourceId& type, const ResourceId& name,
                                 std::uint16_t language, std::span<const std::uint8_t> bytes,
                                 std::uint32_t codePage) {
    if (bytes.size() > 0x7FFFFFFF) {
        return MakeError("resource data too large");
    }
    return changes_->Put(type, name, language, bytes, codePage);
}

Result<bool> ResourceUpdate::Remove(const ResourceId& type, const ResourceId& name,
                                    std::uint16_t language) {
    return changes_->Remove(type, name, language);
}

Result<RebuiltImage> ResourceUpdate::Build() const {
    Result<ResourceLayout> layout = LayOutResources(changes_->tree());
    if (!layout) {
        return WithContext("laying out resources", layout.error());
    }
    Result<RebuiltImage> rebuilt =
        RebuildImage(module_->file(), module_->image(), module_->root(), *layout);
    if (!rebuilt) {
        return rebuilt.error();
    }
    if (Result<bool> r = VerifyRebuiltImage(*rebuilt, changes_->tree()); !r) {
        return r.error();
    }
    return rebuilt;
}

Result<bool> ResourceUpdate::Commit() const {
    if (!changes_->changed()) {
        return true;
    }
    if (path_.empty()) {
        return MakeError("an update over bytes in memory has no file to write");
    }
    Result<RebuiltImage> rebuilt = Build();
    if (!rebuilt) {
        return WithContext(path_, rebuilt.error());
    }
    if (FileStatus written = ReplaceFileAtomically(path_, rebuilt->bytes); !written) {
        return MakeError(written.error);
    }
    return true;
}

} // namespace korva::pe
