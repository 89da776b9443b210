#pragma once

#include <string>
#include <vector>

namespace korva {

enum class ParseState { ExpectNeutralLang, ExpectDestList, ExpectProgFile, Complete };

// Reads the arguments (after the program's own name) into the settings and
// the language selection. Writes nothing; false means the usage text is due.
bool ParseCommandLine(const std::vector<std::string>& args);

// The usage text, every line through WriteLine.
void PrintUsage();

} // namespace korva
