#pragma once

#include <string>
#include <vector>

#include "dat/command_args.h"

namespace korva::dat {

// Each takes the arguments after its own name and returns the exit code.
int RunExtract(const std::vector<std::string>& args, Streams io);
int RunUpdate(const std::vector<std::string>& args, Streams io);
int RunCheck(const std::vector<std::string>& args, Streams io);
int RunExportPo(const std::vector<std::string>& args, Streams io);
int RunImportPo(const std::vector<std::string>& args, Streams io);
int RunPseudo(const std::vector<std::string>& args, Streams io);

// The manual page of a subcommand, or of the program for "".
std::string_view HelpText(std::string_view command);

} // namespace korva::dat
