#pragma once

#include <string>
#include <string_view>

namespace korva {

// Resolves the backslash escapes of the text between a text line's quotes
// into `out`, which is cleared first. False for a hexadecimal escape whose
// two characters are not both hexadecimal digits; `out` is then unspecified.
// A hexadecimal escape gives the byte of its value, or with `utf8` the
// character U+00HH in UTF-8, so that every escape gives valid text.
bool ResolveEscapes(std::string_view quoted, std::string& out, bool utf8 = false);

} // namespace korva
