#pragma once

#include <string>
#include <vector>

#include "common/result.h"
#include "strtables/string_tables.h"

namespace korva::dat {

// A resource korva would translate (its one copy is in the original neutral
// language) whose format reader refuses it.
struct UnreadableResource {
    std::string name;   // "menu #101", "dialog ABOUT"
    std::string reason; // the reader's: "truncated item"
};

// Every unreadable resource of the options' kinds but string tables, in the
// order korva's reader meets them; korva stops at the first. Korva's reader
// stops there too, so this goes on past it to name them all.
Result<std::vector<UnreadableResource>> FindUnreadableResources(const std::string& path,
                                                                const StringTableOptions& options);

} // namespace korva::dat
