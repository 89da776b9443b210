#pragma once

// Running Windows programs under Wine in a prefix of the tests' own.

#include <set>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/process.h"

namespace korva::test {

// Runs `program` under Wine with the prefix `prefix`, capturing its standard
// output. The prefix is created on first use; creating one takes seconds and
// two Wine processes must not create the same one at once, so test processes
// that start together take turns under a lock and the first one makes it.
inline ProcessResult RunUnderWine(const std::string& prefix, const std::string& program,
                                  const std::vector<std::string>& args) {
    const std::string env = "WINEDEBUG=-all WINEPREFIX=" + ShellQuote(prefix) + " ";
    static std::set<std::string> ready;
    if (ready.count(prefix) == 0) {
        const std::string marker = ShellQuote(prefix + "/.korva-ready");
        // The test programs need neither Mono nor Gecko; not offering to
        // install them saves seconds.
        const std::string init = env + "WINEDLLOVERRIDES=mscoree,mshtml= wineboot -i";
        RunOrThrow(
            "flock " + ShellQuote(prefix + ".lock") + " sh -c " +
            ShellQuote("[ -e " + marker + " ] || { " + init + " && touch " + marker + "; }"));
        ready.insert(prefix);
    }
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram("wine", all, env);
}

} // namespace korva::test
