#pragma once

// Running Windows programs under Wine in a prefix of the tests' own.

#include <set>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/process.h"

namespace korva::test {

namespace wine_detail {

// Creates the prefix on first use and runs the commands of `setup` in it;
// returns the environment that selects the prefix. Creating one takes
// seconds and two Wine processes must not create the same one at once, so
// test processes that start together take turns under a lock and the first
// one makes it.
inline std::string PreparedPrefix(const std::string& prefix,
                                  const std::vector<std::string>& setup) {
    const std::string env = "WINEDEBUG=-all WINEPREFIX=" + ShellQuote(prefix) + " ";
    static std::set<std::string> ready;
    if (ready.count(prefix) == 0) {
        const std::string marker = ShellQuote(prefix + "/.korva-ready");
        // The test programs need neither Mono nor Gecko; not offering to
        // install them saves seconds.
        std::string init = env + "WINEDLLOVERRIDES=mscoree,mshtml= wineboot -i";
        for (const std::string& command : setup) {
            init += " && " + env + command;
        }
        RunOrThrow(
            "flock " + ShellQuote(prefix + ".lock") + " sh -c " +
            ShellQuote("[ -e " + marker + " ] || { " + init + " && touch " + marker + "; }"));
        ready.insert(prefix);
    }
    return env;
}

// Wine's launcher now and then fails to start a program that a moment later
// starts fine (seen while other tests' Wine processes come and go); it then
// says so through start.exe, whose message names the call that failed in
// every language. Such a run says nothing about the program, so it is run
// again, a few times at most.
inline ProcessResult RunStarted(const std::vector<std::string>& args, const std::string& env) {
    constexpr int kAttempts = 3;
    ProcessResult run;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        run = RunProgram("wine", args, env);
        if (run.output.find("ShellExecuteEx") == std::string::npos) {
            break;
        }
    }
    return run;
}

} // namespace wine_detail

// Runs `program` under Wine with the prefix `prefix`, capturing its standard
// output.
inline ProcessResult RunUnderWine(const std::string& prefix, const std::string& program,
                                  const std::vector<std::string>& args) {
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    return wine_detail::RunStarted(all, wine_detail::PreparedPrefix(prefix, {}));
}

// The same for a program that creates windows, where the machine may have no
// display: the prefix (one that RunUnderWine is not given) selects Wine's null
// graphics driver, with which windows are made and keep their texts but
// nothing is drawn. The server that wineboot left running knows the old
// setting, so it must end before the first program starts.
inline ProcessResult RunUnderWineWithoutDisplay(const std::string& prefix,
                                                const std::string& program,
                                                const std::vector<std::string>& args) {
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    return wine_detail::RunStarted(
        all, wine_detail::PreparedPrefix(
                 prefix,
                 {"wine reg add 'HKCU\\Software\\Wine\\Drivers' /v Graphics /d null /f >/dev/null",
                  "wineserver -w"}));
}

} // namespace korva::test
