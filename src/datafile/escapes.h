#pragma once

#include <string>
#include <string_view>

namespace korva {

// Resolves the backslash escapes of the text between a text line's quotes
// into `out`, which is cleared first. False for a hexadecimal escape whose
// two characters are not both hexadecimal digits; `out` is then unspecified.
bool ResolveEscapes(std::string_view quoted, std::string& out);

} // namespace korva
