#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace korva::dat {

// The whole program: takes the arguments after its name, writes its product
// and report to `out` and its messages to `err`, and returns the exit code.
// Starts from fresh run state, so tests may call it repeatedly.
int RunKorvaDat(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace korva::dat
