#pragma once

#include <string>

namespace korva {

// Settings of the run, written only while the command line is parsed.
extern bool QuietMode;
extern bool AbortOnMissing;
extern bool WritePlaceholders;
extern std::string DataFileName;
extern std::string ProgFileName;

inline constexpr const char* DefaultDataFileName = "KORVA.DAT";

// Back to the state at program start (for tests).
void ResetSettings();

} // namespace korva
