#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "strtables/pe/image_rebuild.h"
#include "strtables/pe/image_verify.h"
#include "strtables/pe/resource_changes.h"
#include "strtables/pe/resource_module.h"

namespace korva::pe {

// One pending update of an image's resources: changes are staged against a
// copy of the whole tree and reach the file only at Commit, all at once.
class ResourceUpdate {
public:
    // Reads the named file for update. Fails when it cannot be opened for
    // writing or is not an image whose resources can be read.
    static Result<ResourceUpdate> Begin(const std::string& path);
    // Reads `source` for an update whose Commit writes the new file to
    // `output` instead, and never opens `source` for writing. A file at
    // `output` is replaced as Begin's Commit replaces its own, and must be a
    // regular file that can be written now; where there is none, a new one
    // is made with the permissions of `source`. With nothing staged, Commit
    // writes a copy of `source` there.
    static Result<ResourceUpdate> BeginCopy(const std::string& source, const std::string& output);
    // The same over bytes in memory; Commit is not available then.
    static Result<ResourceUpdate> FromBytes(std::vector<std::uint8_t> bytes);
    // Reads the named file for Rehearse only: it need not be writable, and
    // Commit is not available.
    static Result<ResourceUpdate> ForRehearsal(const std::string& path);

    // Stages the copy of type/name/language, replacing one that is there.
    Result<void> Put(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                     std::span<const std::uint8_t> bytes, std::uint32_t codePage = 0);
    // The same with data made on demand while the file is written and
    // checked; its source must outlive Build or Commit.
    Result<void> Put(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                     const ProducedData& produced, std::uint32_t codePage = 0);
    // Stages the removal of one copy. Removing a copy that is not there
    // succeeds and changes nothing.
    Result<void> Remove(const ResourceId& type, const ResourceId& name, std::uint16_t language);

    bool changed() const { return changes_->changed(); }
    const ResourceDirectory& stagedTree() const { return changes_->tree(); }

    // The new file in memory, checked by reading it back: sections apart,
    // the resource tree sorted and equal to the staged one.
    Result<RebuiltImage> Build() const;

    // Writes the new file over the old one (BeginCopy: to its output),
    // atomically. With nothing staged the file is left alone.
    Result<void> Commit() const;

    // What Commit does short of writing a file, failing where and as it
    // would: the layout, the placement, the new file (in memory, then
    // dropped) and its check.
    Result<void> Rehearse() const;

private:
    ResourceUpdate(std::string path, std::unique_ptr<ResourceModule> module);
    Result<ResourceLayout> LayOut() const;
    Result<void> WriteAndCheck() const;
    Result<FileReplacement> BeginReplacement() const;
    Result<void> CopyUnchanged() const;

    std::string path_;  // the file written; empty for an update over bytes or for a rehearsal
    bool copy_ = false; // BeginCopy: path_ is another file than the one read
    // BeginCopy to a path where no file was: the file whose permissions the
    // new one takes; empty otherwise.
    std::string newFileLike_;
    std::unique_ptr<ResourceModule> module_;
    std::unique_ptr<ResourceChanges> changes_;
};

} // namespace korva::pe
