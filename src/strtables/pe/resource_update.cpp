#include "strtables/pe/resource_update.h"

#include <algorithm>
#include <cstring>
#include <utility>

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

// `made` is room for data made on demand, kept from one call to the next.
bool SameData(const ResourceData& written, const ResourceData& read, const PageRelease& release,
              std::vector<std::uint8_t>& made) {
    if (written.codePage != read.codePage || written.reserved != read.reserved ||
        written.located != read.located) {
        return false;
    }
    if (!written.located) {
        return written.originalRva == read.originalRva && written.originalSize == read.originalSize;
    }
    if (const ProducedData& produced = written.produced; produced.source != nullptr) {
        made.resize(produced.size);
        produced.source->Produce(produced.item, made);
        return SameBytes(made, read.bytes, release);
    }
    return SameBytes(written.bytes, read.bytes, release);
}

// Gives back the pages of one mapped file in large steps while a pass moves
// through it mostly in file order: pages behind the pass are not needed
// again, and a page released too early is only read again.
class PageRecycler {
public:
    PageRecycler(Bytes file, PageRelease release) : file_(file), release_(std::move(release)) {}
    PageRecycler(const PageRecycler&) = delete;
    PageRecycler& operator=(const PageRecycler&) = delete;
    ~PageRecycler() { Flush(); }

    void Done(Bytes bytes) {
        if (bytes.empty() || !release_ || bytes.data() < file_.data() ||
            bytes.data() + bytes.size() > file_.data() + file_.size()) {
            return;
        }
        if (from_ == nullptr || bytes.data() < from_) {
            from_ = bytes.data();
        }
        end_ = std::max(end_, bytes.data() + bytes.size());
        if (end_ - from_ >= kStep) {
            Flush();
        }
    }
    void Flush() {
        if (from_ != nullptr && release_) {
            release_(Bytes(from_, static_cast<std::size_t>(end_ - from_)));
        }
        from_ = nullptr;
        end_ = nullptr;
    }

private:
    static constexpr std::ptrdiff_t kStep = std::ptrdiff_t{256} << 10;
    Bytes file_;
    PageRelease release_;
    const std::uint8_t* from_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

// The tree read back must list the staged entries in the loader's order and
// hold exactly their data. The reader bounds the depth, so recursion ends.
Result<bool> CompareTrees(const ResourceDirectory& staged, // NOLINT(misc-no-recursion)
                          const ResourceDirectory& read, const PageRelease& release,
                          std::vector<std::uint8_t>& made) {
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
            if (Result<bool> r = CompareTrees(*want.subdirectory, *got.subdirectory, release, made);
                !r) {
                return r;
            }
        } else {
            if (!SameData(*want.data, *got.data, release, made)) {
                return MakeError("resource data differs");
            }
        }
    }
    return true;
}

} // namespace

Result<bool> VerifyRebuiltImage(const RebuiltImage& rebuilt, const ResourceDirectory& staged) {
    return VerifyRebuiltImage(rebuilt.bytes, rebuilt.resourceRva, rebuilt.resourceSize, staged);
}

Result<bool> VerifyRebuiltImage(Bytes file, std::uint32_t resourceRva, std::uint32_t resourceSize,
                                const ResourceDirectory& staged, const PageRelease& release) {
    Result<ResourceModule> module = ResourceModule::View(file);
    if (!module) {
        return WithContext("the new image does not read back", module.error());
    }
    if (Result<bool> r = CheckSectionsApart(module->image()); !r) {
        return WithContext("the new image is inconsistent", r.error());
    }
    const DataDirectory dir = module->image().Directory(kResourceDirectory);
    if (dir.virtualAddress != resourceRva || dir.size != resourceSize) {
        return MakeError("the new image does not point at the new resources");
    }
    std::vector<std::uint8_t> made;
    if (Result<bool> r = CompareTrees(staged, module->root(), release, made); !r) {
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
    // Mapped, not read: the rewrite passes most of the file on unchanged and
    // needs only its headers and resources in memory.
    Result<ResourceModule> module = ResourceModule::Open(path);
    if (!module) {
        return module.error();
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

Result<bool> ResourceUpdate::Put(const ResourceId& type, const ResourceId& name,
                                 std::uint16_t language, const ProducedData& produced,
                                 std::uint32_t codePage) {
    if (produced.size > 0x7FFFFFFF || produced.source == nullptr) {
        return MakeError("resource data too large or missing");
    }
    return changes_->Put(type, name, language, produced, codePage);
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
    Result<bool> written = WriteAndCheck();
    if (!written) {
        return WithContext(path_, written.error());
    }
    return true;
}

// The new file goes straight from the old file's mapping and the staged data
// to a temporary file, which is read back and checked before it replaces the
// old one; at no point is the whole file in memory.
Result<bool> ResourceUpdate::WriteAndCheck() const {
    Result<ResourceLayout> layout = LayOutResources(changes_->tree());
    if (!layout) {
        return WithContext("laying out resources", layout.error());
    }
    PageRecycler oldPages(module_->file(), [&](Bytes b) { module_->ReleasePages(b); });
    const PageRelease releaseOld = [&](Bytes b) { oldPages.Done(b); };
    Result<PlannedImage> planned =
        PlanRebuiltImage(module_->file(), module_->image(), module_->root(), *layout, releaseOld);
    if (!planned) {
        return planned.error();
    }
    FileStatus status;
    std::optional<FileReplacement> replacement = FileReplacement::Begin(path_, status);
    if (!replacement) {
        return MakeError(status.error);
    }
    Result<bool> streamed = planned->pieces.WriteTo(
        [&](Bytes bytes) -> Result<bool> {
            if (FileStatus s = replacement->Append(bytes); !s) {
                return MakeError(s.error);
            }
            return true;
        },
        releaseOld);
    oldPages.Flush();
    if (!streamed) {
        return streamed.error();
    }

    std::string error;
    const std::optional<MappedFile> written = replacement->MapWritten(error);
    if (!written) {
        return MakeError("cannot read back the new file: " + error);
    }
    {
        PageRecycler newPages(written->Bytes(), [&](Bytes b) { written->ReleasePages(b); });
        const PageRelease release = [&](Bytes b) {
            oldPages.Done(b);
            newPages.Done(b);
        };
        if (Result<bool> r = VerifyRebuiltImage(written->Bytes(), planned->resourceRva,
                                                planned->resourceSize, changes_->tree(), release);
            !r) {
            return r.error();
        }
    }
    if (status = replacement->Commit(); !status) {
        return MakeError(status.error);
    }
    return true;
}

} // namespace korva::pe
