#pragma once

#include <string>

namespace korva {

// Every call into the operating system lives behind this seam, so that a
// native Windows build replaces this module and nothing else.

// The full path of the running program's own executable file.
std::string OwnExecutablePath();

// The directory part of a path: everything up to and including the last '/'.
std::string DirectoryOf(const std::string& path);

} // namespace korva
