#pragma once

#include <string>

namespace korva {

// Settings of the run, written only while the command line is parsed.
extern bool QuietMode;
extern bool AbortOnMissing;
extern bool WritePlaceholders;
extern std::string DataFileName;
// Set by --data: DataFileName is an ordinary path, taken from the working
// directory, where a name from -D lies in korva's own directory.
extern bool DataFileIsPath;
extern std::string ProgFileName;
// --output: the file the translated program goes to; empty: ProgFileName
// itself, rewritten in place.
extern std::string OutputFileName;

inline constexpr const char* DefaultDataFileName = "KORVA.DAT";

// Back to the state at program start (for tests).
void ResetSettings();

} // namespace korva
