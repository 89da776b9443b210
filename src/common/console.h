#pragma once

#include <iosfwd>
#include <string_view>

namespace korva {

// Every line of the tool goes to one stream, as bytes, ended by CR LF.
void SetConsole(std::ostream& out);
std::ostream& Console();

// Writes the line whatever the quiet mode.
void WriteLine(std::string_view text);

// Writes a progress line, unless quiet mode is on.
void LogLine(std::string_view text);

} // namespace korva
