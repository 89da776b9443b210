#pragma once

// Real PE files made at test time by real toolchains, for tests that want
// what a compiler and linker actually emit.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/process.h"

namespace korva::test {

// A directory of this test process, removed when the process ends.
inline const std::filesystem::path& ScratchDir() {
    struct Dir {
        std::filesystem::path path;
        Dir() {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "korva-test-XXXXXX").string();
            if (::mkdtemp(pattern.data()) == nullptr) {
                throw std::runtime_error("cannot create a scratch directory");
            }
            path = pattern;
        }
        ~Dir() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Dir dir;
    return dir.path;
}

inline std::string WriteScratchFile(const std::string& name, const std::string& content) {
    const std::filesystem::path path = ScratchDir() / name;
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return path.string();
}

inline std::string WriteScratchFile(const std::string& name,
                                    const std::vector<std::uint8_t>& bytes) {
    return WriteScratchFile(name, std::string(bytes.begin(), bytes.end()));
}

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Runs a shell command; throws with its output when it fails.
inline std::string RunOrThrow(const std::string& command) {
    const ProcessResult result = RunProgram("sh", {"-c", command + " 2>&1"});
    if (result.exitCode != 0) {
        throw std::runtime_error(command + " failed:\n" + result.output);
    }
    return result.output;
}

enum class Toolchain {
    LldX64,   // llvm-rc + lld-link, a 64-bit DLL
    LldX86,   // llvm-rc + lld-link /machine:x86, a 32-bit DLL
    MingwX64, // windres + x86_64-w64-mingw32-gcc, a console program
    MingwX86, // windres + i686-w64-mingw32-gcc, a 32-bit console program
};

inline const std::vector<Toolchain>& AllToolchains() {
    static const std::vector<Toolchain> all{Toolchain::LldX64, Toolchain::LldX86,
                                            Toolchain::MingwX64};
    return all;
}

inline std::string ToolchainName(Toolchain toolchain) {
    switch (toolchain) {
    case Toolchain::LldX64:
        return "lld_x64";
    case Toolchain::LldX86:
        return "lld_x86";
    case Toolchain::MingwX64:
        return "mingw_x64";
    case Toolchain::MingwX86:
        return "mingw_x86";
    }
    return "unknown";
}

// Builds an image holding the resources of `rcScript` and returns its path.
// Built once per process and name.
inline std::string BuildFixture(Toolchain toolchain, const std::string& name,
                                const std::string& rcScript) {
    static std::map<std::string, std::string> built;
    const std::string key = ToolchainName(toolchain) + "_" + name;
    if (const auto it = built.find(key); it != built.end()) {
        return it->second;
    }
    const std::string rc = WriteScratchFile(key + ".rc", rcScript);
    const std::string base = (ScratchDir() / key).string();
    std::string image;
    switch (toolchain) {
    case Toolchain::LldX64:
    case Toolchain::LldX86: {
        image = base + ".dll";
        const std::string machine = toolchain == Toolchain::LldX64 ? "x64" : "x86";
        RunOrThrow("llvm-rc /fo " + ShellQuote(base + ".res") + " " + ShellQuote(rc));
        RunOrThrow("lld-link /nologo /dll /noentry /machine:" + machine +
                   " /out:" + ShellQuote(image) + " " + ShellQuote(base + ".res"));
        break;
    }
    case Toolchain::MingwX64:
    case Toolchain::MingwX86: {
        image = base + ".exe";
        const std::string prefix =
            toolchain == Toolchain::MingwX64 ? "x86_64-w64-mingw32-" : "i686-w64-mingw32-";
        const std::string main = WriteScratchFile(key + ".c", "int main(void) { return 0; }\n");
        RunOrThrow(prefix + "windres -i " + ShellQuote(rc) + " -o " + ShellQuote(base + "_res.o"));
        RunOrThrow(prefix + "gcc -o " + ShellQuote(image) + " " + ShellQuote(main) + " " +
                   ShellQuote(base + "_res.o"));
        break;
    }
    }
    built[key] = image;
    return image;
}

} // namespace korva::test
