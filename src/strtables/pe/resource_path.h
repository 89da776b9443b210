#pragma once

#include <span>
#include <string>

#include "strtables/pe/resource_tree.h"

namespace korva::pe {

// How a message names the entry that `path` reaches, given as the keys from
// the root down: the first is a type, the second a name, the third a
// language, as in every tree a resource compiler writes ("type #6 (string
// table), name #1, language 0x0409"); keys deeper than that are entries.
// An empty path is the root directory.
std::string DescribeResourcePath(std::span<const ResourceId* const> path);

} // namespace korva::pe
