#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace korva {

// True on the NT family. Our own PE layer stands in for the NT resource
// services, so every host that runs this build qualifies.
bool IsWindowsNT();

// The whole run: banner, stages, verdict. Takes the arguments after the
// program's name and returns the exit code. Starts from fresh run state, so
// tests may call it repeatedly.
int RunKorva(const std::vector<std::string>& args, std::ostream& out);

} // namespace korva
