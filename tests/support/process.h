#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace korva::test {

struct ProcessResult {
    int exitCode = -1;
    std::string output; // standard output, bytes unchanged
};

inline std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (const char c : s) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

// Runs a program with arguments through the shell, capturing standard output.
inline ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::string& shellPrefix = "") {
    std::string command = shellPrefix + ShellQuote(program);
    for (const std::string& arg : args) {
        // Two appends: GCC 12 reports a false -Wrestrict on " " + std::string
        // in optimised builds.
        command += ' ';
        command += ShellQuote(arg);
    }
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run " + command);
    }
    ProcessResult result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The built korva binary, as CTest hands it over.
inline std::string KorvaBinary() {
    const char* path = std::getenv("KORVA_BIN");
    if (path == nullptr) {
        throw std::runtime_error("KORVA_BIN is not set");
    }
    return path;
}

} // namespace korva::test
