#pragma once

#include <string_view>
#include <vector>

#include "common/result.h"
#include "restexts/resource_kinds.h"
#include "strtables/pe/resource_module.h"
#include "strtables/string_tables.h"

namespace korva {

// Appends a record for every menu, dialog, version-info and message-table
// resource of the kinds `options` chooses, in that order of kinds and the
// directory's order within each. A resource korva would translate is read
// into its parts; one that cannot be read fails the whole reading, with the
// resource named, since a build wants all of its chosen texts or nothing.
// Whether any resource of those kinds was there comes back as the value.
Result<bool> ReadTextResources(const pe::ResourceModule& module, const StringTableOptions& options,
                               std::vector<TResInfo>& records);

} // namespace korva
