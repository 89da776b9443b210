#pragma once

#include <string>
#include <vector>

namespace korva {

enum class ParseState { ExpectNeutralLang, ExpectDestList, ExpectProgFile, Complete };

// Reads the arguments (after the program's own name) into the settings and
// the language selection. Writes nothing; false means the usage text is due,
// after the line in `mistake` that names the argument and what is wrong
// with it (left empty for no arguments at all, which ask for the usage).
bool ParseCommandLine(const std::vector<std::string>& args, std::string* mistake = nullptr);

// Whether --help stands among the options: the help text is due, and
// nothing else.
bool AsksForHelp(const std::vector<std::string>& args);

// The usage text, every line through WriteLine.
void PrintUsage();

// The usage text with the long options described.
void PrintHelp();

} // namespace korva
