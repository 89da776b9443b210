#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "driver/command_line.h"

namespace korva {

// The one line that names what is wrong with a command line, written before
// the usage text. Each names the argument as the usage text names its place
// (NeutralLang, DestLang, ProgFileName) and says why, with the mistakes a
// shell or a build script makes of a list in mind: a blank splits it into
// several arguments, CMake splits it at its parentheses.

// Why the argument where NeutralLang stands is refused.
std::string NeutralLangMistake(std::string_view arg);

// Why the destination list args[at] is refused; `reason` is what the list's
// reader said of it.
std::string DestListMistake(const std::vector<std::string>& args, std::size_t at,
                            const std::string& reason);

// Why a command line whose last argument left the reading in `state` is
// incomplete; empty for Complete.
std::string MissingArgumentsMistake(ParseState state);

// Why the argument `extra`, which follows ProgFileName `program`, is refused.
std::string ExtraArgumentMistake(std::string_view program, std::string_view extra);

} // namespace korva
