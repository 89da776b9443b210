#pragma once

#include <string>
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

// A resource korva would translate (its one copy is in the original neutral
// language) whose format reader refuses it.
struct UnreadableResource {
    std::string name;   // "menu #101", "dialog ABOUT"
    std::string reason; // the reader's: "truncated item"
};

// Every unreadable resource of the options' kinds but string tables, in the
// order korva's reader meets them. The reading stops at the first; this goes
// on past it to name them all.
Result<std::vector<UnreadableResource>> FindUnreadableResources(const std::string& path,
                                                                const StringTableOptions& options);

} // namespace korva
