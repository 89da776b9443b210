#pragma once

#include <cstdint>
#include <memory>

#include "strtables/pe/resource_update.h"
#include "strtables/string_tables.h"

namespace korva {

// The pending resource update of one file, as the stage that writes string
// tables uses it; null when none could be begun.
using TUpdateHandle = std::unique_ptr<pe::ResourceUpdate>;

// Begins an update of the file's resources that keeps every resource and
// all other content; null when the file cannot be opened for update or read
// as an image. Existing resources are always kept: the flag must be false.
TUpdateHandle BeginUpdateResourceA(const char* fileName, bool deleteExistingResources);

// With data, stages that resource with a copy of the data, replacing one of
// the same type, name and language. With no data and size 0, stages the
// deletion of that one language copy. Returns true on success.
bool UpdateResourceA(const TUpdateHandle& handle, const TResName& type, const TResName& name,
                     std::uint16_t language, const void* data, std::uint32_t size);

// Stages that resource with data made on demand while the file is written
// and checked; the new copies of every block in every language would
// otherwise be held in memory all at once. The source must outlive
// EndUpdateResourceA.
bool UpdateResourceA(const TUpdateHandle& handle, const TResName& type, const TResName& name,
                     std::uint16_t language, const pe::ProducedData& data);

// Writes every staged change into the file (discard false) or drops them
// all (discard true). The handle is finished either way.
bool EndUpdateResourceA(TUpdateHandle& handle, bool discard);

} // namespace korva
