#include "strtables/pe/image_verify.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "strtables/pe/resource_module.h"
#include "strtables/pe/resource_path.h"

namespace korva::pe {

namespace {

Result<void> CheckSectionsApart(const Image& image) {
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
        if (byAddress[i - 1]->virtualAddress + VirtualExtent(*byAddress[i - 1]) >
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
    return {};
}

// Compares in steps, handing each compared step to `release`, so that a
// large resource is not in memory twice while it is checked.
bool SameBytes(Bytes a, Bytes b, const PageRelease& release) {
    if (a.size() != b.size()) {
        return false;
    }
    constexpr std::size_t kStep = std::size_t{256} << 10;
    for (std::size_t at = 0; at < a.size(); at += kStep) {
        const std::size_t n = std::min(kStep, a.size() - at);
        if (std::memcmp(a.data() + at, b.data() + at, n) != 0) {
            return false;
        }
        if (release) {
            release(a.subspan(at, n));
            release(b.subspan(at, n));
        }
    }
    return true;
}

// What the check needs besides the two trees.
struct CheckContext {
    const ProducedDigests& digests;
    const PageRelease& release;
};

bool SameData(const ResourceData& written, const ResourceData& read, const CheckContext& check) {
    if (written.codePage != read.codePage || written.reserved != read.reserved ||
        written.located != read.located) {
        return false;
    }
    if (!written.located) {
        return written.originalRva == read.originalRva && written.originalSize == read.originalSize;
    }
    if (const ProducedData& produced = written.produced; produced.source != nullptr) {
        const bool same = check.digests.Matches(produced, read.bytes);
        if (check.release) {
            check.release(read.bytes);
        }
        return same;
    }
    return SameBytes(written.bytes, read.bytes, check.release);
}

// Where a difference lies: in the directory `path` leads to, or at its
// entry `last`.
std::string Where(std::vector<const ResourceId*> path, const ResourceId* last = nullptr) {
    if (last != nullptr) {
        path.push_back(last);
    }
    return DescribeResourcePath(path);
}

// The tree read back must list the staged entries in the loader's order and
// hold exactly their data. The reader bounds the depth, so recursion ends.
// `path` holds the keys down to these directories, for the messages.
Result<void> CompareTrees(const ResourceDirectory& staged, // NOLINT(misc-no-recursion)
                          const ResourceDirectory& read, const CheckContext& check,
                          std::vector<const ResourceId*>& path) {
    const DirectoryInfo& a = staged.info;
    const DirectoryInfo& b = read.info;
    if (a.characteristics != b.characteristics || a.timeDateStamp != b.timeDateStamp ||
        a.majorVersion != b.majorVersion || a.minorVersion != b.minorVersion) {
        return MakeError("the directory header of " + Where(path) + " differs");
    }
    if (staged.entries.size() != read.entries.size()) {
        return MakeError("the directory of " + Where(path) + " has a different number of entries");
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
            return MakeError("the directory of " + Where(path) + " is not in search order");
        }
        if (!(want.id == got.id)) {
            return MakeError("resource " + Where(path, &want.id) + " has a different name");
        }
        if ((want.subdirectory == nullptr) != (got.subdirectory == nullptr)) {
            return MakeError("resource " + Where(path, &want.id) +
                             " changed between directory and data");
        }
        if (want.subdirectory != nullptr) {
            path.push_back(&want.id);
            KORVA_RETURN_IF_ERROR(CompareTrees(*want.subdirectory, *got.subdirectory, check, path));
            path.pop_back();
        } else if (!SameData(*want.data, *got.data, check)) {
            return MakeError("the data of resource " + Where(path, &want.id) + " differs");
        }
    }
    return {};
}

} // namespace

Result<void> VerifyRebuiltImage(const RebuiltImage& rebuilt, const ResourceDirectory& staged) {
    return VerifyRebuiltImage(rebuilt.bytes, rebuilt.resourceRva, rebuilt.resourceSize, staged,
                              rebuilt.digests);
}

Result<void> VerifyRebuiltImage(Bytes file, std::uint32_t resourceRva, std::uint32_t resourceSize,
                                const ResourceDirectory& staged, const ProducedDigests& digests,
                                const PageRelease& release) {
    Result<ResourceModule> module = ResourceModule::View(file);
    if (!module) {
        return WithContext("the new image does not read back", module.error());
    }
    if (Result<void> r = CheckSectionsApart(module->image()); !r) {
        return WithContext("the new image is inconsistent", r.error());
    }
    const DataDirectory dir = module->image().Directory(kResourceDirectory);
    if (dir.virtualAddress != resourceRva || dir.size != resourceSize) {
        return MakeError("the new image does not point at the new resources");
    }
    const CheckContext check{digests, release};
    std::vector<const ResourceId*> path;
    if (Result<void> r = CompareTrees(staged, module->root(), check, path); !r) {
        return WithContext("the new image's resources differ from the staged ones", r.error());
    }
    return {};
}

} // namespace korva::pe
