#include "strtables/pe/resource_update.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/platform.h"
#include "strtables/pe/resource_serializer.h"

namespace korva::pe {

namespace {

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

// Where `part` starts in `whole`, when all of it lies there.
std::optional<std::uint64_t> OffsetIn(Bytes whole, Bytes part) {
    const auto from = reinterpret_cast<std::uintptr_t>(whole.data());
    const auto at = reinterpret_cast<std::uintptr_t>(part.data());
    if (whole.empty() || part.empty() || at < from || at - from > whole.size() ||
        part.size() > whole.size() - (at - from)) {
        return std::nullopt;
    }
    return at - from;
}

} // namespace

ResourceUpdate::ResourceUpdate(std::string path, std::unique_ptr<ResourceModule> module)
    : path_(std::move(path)), module_(std::move(module)),
      changes_(std::make_unique<ResourceChanges>(module_->root())) {}

Result<ResourceUpdate> ResourceUpdate::Begin(const std::string& path) {
    KORVA_RETURN_IF_ERROR(CheckWritable(path));
    // Mapped, not read: the rewrite passes most of the file on unchanged and
    // needs only its headers and resources in memory.
    KORVA_ASSIGN_OR_RETURN(ResourceModule module, ResourceModule::Open(path));
    return ResourceUpdate(path, std::make_unique<ResourceModule>(std::move(module)));
}

Result<ResourceUpdate> ResourceUpdate::BeginCopy(const std::string& source,
                                                 const std::string& output) {
    // Checked now, as Begin checks its own file: a file that cannot be
    // replaced is refused before the work is done.
    const bool replaces = !NothingAt(output);
    if (replaces) {
        KORVA_RETURN_IF_ERROR(CheckWritable(output));
    }
    KORVA_ASSIGN_OR_RETURN(ResourceModule module, ResourceModule::Open(source));
    ResourceUpdate update(output, std::make_unique<ResourceModule>(std::move(module)));
    update.copy_ = true;
    if (!replaces) {
        update.newFileLike_ = source;
    }
    return update;
}

Result<ResourceUpdate> ResourceUpdate::FromBytes(std::vector<std::uint8_t> bytes) {
    KORVA_ASSIGN_OR_RETURN(ResourceModule module, ResourceModule::FromBytes(std::move(bytes)));
    return ResourceUpdate(std::string(), std::make_unique<ResourceModule>(std::move(module)));
}

Result<ResourceUpdate> ResourceUpdate::ForRehearsal(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(ResourceModule module, ResourceModule::Open(path));
    return ResourceUpdate(std::string(), std::make_unique<ResourceModule>(std::move(module)));
}

Result<void> ResourceUpdate::Put(const ResourceId& type, const ResourceId& name,
                                 std::uint16_t language, std::span<const std::uint8_t> bytes,
                                 std::uint32_t codePage) {
    if (bytes.size() > kMaxResourceOffset) {
        return MakeError("resource data too large");
    }
    return changes_->Put(type, name, language, bytes, codePage);
}

Result<void> ResourceUpdate::Put(const ResourceId& type, const ResourceId& name,
                                 std::uint16_t language, const ProducedData& produced,
                                 std::uint32_t codePage) {
    if (produced.size > kMaxResourceOffset || produced.source == nullptr) {
        return MakeError("resource data too large or missing");
    }
    return changes_->Put(type, name, language, produced, codePage);
}

Result<void> ResourceUpdate::Remove(const ResourceId& type, const ResourceId& name,
                                    std::uint16_t language) {
    return changes_->Remove(type, name, language);
}

Result<ResourceLayout> ResourceUpdate::LayOut() const {
    Result<ResourceLayout> layout = LayOutResources(changes_->tree());
    if (!layout) {
        return WithContext("laying out resources", layout.error());
    }
    return layout;
}

Result<RebuiltImage> ResourceUpdate::Build() const {
    KORVA_ASSIGN_OR_RETURN(const ResourceLayout layout, LayOut());
    KORVA_ASSIGN_OR_RETURN(RebuiltImage rebuilt, RebuildImage(module_->file(), module_->image(),
                                                              module_->root(), layout));
    KORVA_RETURN_IF_ERROR(VerifyRebuiltImage(rebuilt, changes_->tree()));
    return rebuilt;
}

Result<void> ResourceUpdate::Commit() const {
    if (!changes_->changed() && !copy_) {
        return {};
    }
    if (path_.empty()) {
        return MakeError("an update over bytes in memory has no file to write");
    }
    if (!changes_->changed()) {
        return CopyUnchanged();
    }
    // Every reason from below names the file where it matters (the
    // platform's) or is about the image as a whole.
    return WriteAndCheck();
}

// WriteAndCheck's steps with memory in place of the temporary file: the
// same layout, plan, stream and check, so the same failures, and the old
// file's pages given back as the stream passes them.
Result<void> ResourceUpdate::Rehearse() const {
    if (!changes_->changed()) {
        return {};
    }
    KORVA_ASSIGN_OR_RETURN(const ResourceLayout layout, LayOut());
    PageRecycler oldPages(module_->file(), [&](Bytes b) { module_->ReleasePages(b); });
    const PageRelease releaseOld = [&](Bytes b) { oldPages.Done(b); };
    KORVA_ASSIGN_OR_RETURN(
        PlannedImage planned,
        PlanRebuiltImage(module_->file(), module_->image(), module_->root(), layout, releaseOld));
    std::vector<std::uint8_t> written;
    written.reserve(static_cast<std::size_t>(planned.pieces.size()));
    const auto sink = [&](Bytes bytes) -> Result<void> {
        written.insert(written.end(), bytes.begin(), bytes.end());
        return {};
    };
    ProducedDigests digests;
    KORVA_RETURN_IF_ERROR(planned.pieces.WriteTo(sink, releaseOld, &digests));
    oldPages.Flush();
    return VerifyRebuiltImage(written, planned.resourceRva, planned.resourceSize, changes_->tree(),
                              digests, releaseOld);
}

// The new file goes straight from the old file and the staged data to a
// temporary file, which is read back and checked before it replaces the old
// one; at no point is the whole file in memory. The check parses the new
// file and compares its resources: data made on demand by digest, kept
// resource data byte for byte with the old file, copied or not (tens of
// megabytes cost a few milliseconds there, and it catches a leaf pointed at
// the wrong bytes); the other sections' bytes are trusted to their place in
// the parsed section table.
Result<void> ResourceUpdate::WriteAndCheck() const {
    KORVA_ASSIGN_OR_RETURN(const ResourceLayout layout, LayOut());
    PageRecycler oldPages(module_->file(), [&](Bytes b) { module_->ReleasePages(b); });
    const PageRelease releaseOld = [&](Bytes b) { oldPages.Done(b); };
    KORVA_ASSIGN_OR_RETURN(
        PlannedImage planned,
        PlanRebuiltImage(module_->file(), module_->image(), module_->root(), layout, releaseOld));
    KORVA_ASSIGN_OR_RETURN(FileReplacement replacement, BeginReplacement());
    // Unchanged ranges of the old file go from file to file without passing
    // through this process.
    const auto sink = [&](Bytes bytes) {
        const std::optional<std::uint64_t> offset = OffsetIn(module_->file(), bytes);
        if (offset && module_->mapped() != nullptr) {
            return replacement.AppendCopy(*module_->mapped(), *offset, bytes.size());
        }
        return replacement.Append(bytes);
    };
    // Each item made on demand is made once: its digest, taken as it is
    // written, stands for it in the check.
    ProducedDigests digests;
    Result<void> streamed = planned.pieces.WriteTo(sink, releaseOld, &digests);
    oldPages.Flush();
    if (!streamed) {
        return streamed.error();
    }

    const Result<MappedFile> written = replacement.MapWritten();
    if (!written) {
        return WithContext("cannot read back the new file", written.error());
    }
    {
        PageRecycler newPages(written->Bytes(), [&](Bytes b) { written->ReleasePages(b); });
        const PageRelease release = [&](Bytes b) {
            oldPages.Done(b);
            newPages.Done(b);
        };
        KORVA_RETURN_IF_ERROR(VerifyRebuiltImage(written->Bytes(), planned.resourceRva,
                                                 planned.resourceSize, changes_->tree(), digests,
                                                 release));
    }
    return replacement.Commit();
}

Result<FileReplacement> ResourceUpdate::BeginReplacement() const {
    return newFileLike_.empty() ? FileReplacement::Begin(path_)
                                : FileReplacement::BeginNew(path_, newFileLike_);
}

// The file read, as it is, where an update into another file changed
// nothing: that file must still come out, the same as the input.
Result<void> ResourceUpdate::CopyUnchanged() const {
    KORVA_ASSIGN_OR_RETURN(FileReplacement replacement, BeginReplacement());
    const Bytes file = module_->file();
    KORVA_RETURN_IF_ERROR(module_->mapped() != nullptr
                              ? replacement.AppendCopy(*module_->mapped(), 0, file.size())
                              : replacement.Append(file));
    return replacement.Commit();
}

} // namespace korva::pe
