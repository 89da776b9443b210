#pragma once

#include <string>
#include <string_view>

#include "common/result.h"

namespace korva::dat {

// The whole content of a file.
Result<std::string> ReadFileBytes(const std::string& path);

// Puts `bytes` in place of the file at `path`, or creates it: a reader sees
// the old content or the new (or no file), never a part of either, and a
// failure leaves the old file as it was (or none). A read-only file is
// refused.
Result<void> WriteFileAllOrNothing(const std::string& path, std::string_view bytes);

} // namespace korva::dat
