#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/result.h"
#include "strtables/pe/resource_update.h"
#include "strtables/string_tables.h"

namespace korva {

// The pending resource update of one file, as the stage that writes string
// tables uses it; null when none could be begun.
using UpdateHandle = std::unique_ptr<pe::ResourceUpdate>;

// The resource update calls of the platform's API (BeginUpdateResource,
// UpdateResource, EndUpdateResource), each saying why when it fails.

// Begins an update of the file's resources that keeps every resource and
// all other content. Existing resources are always kept: the flag must be
// false.
Result<UpdateHandle> BeginResourceUpdate(const char* fileName, bool deleteExistingResources);

// The same, but the updated file goes to `output` when it ends, and
// `fileName` is only read (see pe::ResourceUpdate::BeginCopy).
Result<UpdateHandle> BeginResourceUpdateInto(const std::string& fileName,
                                             const std::string& output);

// With data, stages that resource with a copy of the data, replacing one of
// the same type, name and language. With no data and size 0, stages the
// deletion of that one language copy.
Result<void> StageResource(const UpdateHandle& handle, const ResourceName& type,
                           const ResourceName& name, std::uint16_t language, const void* data,
                           std::uint32_t size);

// Stages that resource with data made on demand while the file is written
// and checked; the new copies of every block in every language would
// otherwise be held in memory all at once. The source must outlive
// EndResourceUpdate.
Result<void> StageResource(const UpdateHandle& handle, const ResourceName& type,
                           const ResourceName& name, std::uint16_t language,
                           const pe::ProducedData& data);

// Writes every staged change into the file (discard false) or drops them
// all (discard true). The handle is finished either way.
Result<void> EndResourceUpdate(UpdateHandle& handle, bool discard);

// An update that is only rehearsed: begun on a file that need not be
// writable, staged as any other, and ended by RehearseResourceUpdate, which
// does what EndResourceUpdate would short of writing the file (the new file
// is built in memory, checked and dropped) and fails where and as it would.
Result<UpdateHandle> BeginResourceRehearsal(const char* fileName);
Result<void> RehearseResourceUpdate(UpdateHandle& handle);

} // namespace korva
