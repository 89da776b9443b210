#pragma once

// Windows console programs built at test time from show_strings.c (or another
// probe of the same kind) and a resource script, by mingw-w64 and by clang with llvm-rc and
// lld-link, for x64 and x86.
//
// ctest runs every test case in a process of its own, so each built program
// is kept in the build tree under a key made of everything that went into
// it, and a process that finds it there does not build it again.

#include <stdio.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/process.h"

namespace korva::e2e {

enum class Builder { MingwX64, MingwX86, ClangX64, ClangX86 };

inline std::string BuilderName(Builder builder) {
    switch (builder) {
    case Builder::MingwX64:
        return "mingw_x64";
    case Builder::MingwX86:
        return "mingw_x86";
    case Builder::ClangX64:
        return "clang_x64";
    case Builder::ClangX86:
        return "clang_x86";
    }
    return "unknown";
}

// Names, not bytes, in test listings.
inline void PrintTo(Builder builder, std::ostream* os) {
    *os << BuilderName(builder);
}

// What a program is made of besides its C source: the resource script and
// the files it refers to (an icon, say), by name.
struct ProgramSources {
    std::string rcScript;
    std::map<std::string, std::string> files;
    // The code page the script is written in (65001: UTF-8); 0 leaves each
    // resource compiler at its own default.
    int codePage = 0;
    // The path of the program's C source; empty: show_strings.c.
    std::string program = "";
    // A second resource script, compiled on its own and linked beside the
    // first, as in a project with two .rc files; mingw-w64 only (lld-link
    // refuses what GNU ld links with a warning: a resource both scripts
    // hold, which then is in the program twice).
    std::string secondRcScript = "";
};

namespace programs_detail {

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// The functions that the probes import from `dll`, with the bytes of
// their arguments: 32-bit stdcall names carry them (FindResourceExW@16).
inline std::string ImportDef(const std::string& dll, bool x86) {
    static const std::map<std::string, std::vector<std::pair<const char*, int>>> functions = {
        {"kernel32",
         {{"GetCommandLineW", 0},
          {"GetStdHandle", 4},
          {"WriteFile", 20},
          {"ExitProcess", 4},
          {"FindResourceExW", 16},
          {"LoadResource", 8},
          {"LockResource", 4},
          {"SizeofResource", 8},
          {"SetThreadUILanguage", 4},
          {"SetThreadLocale", 4},
          {"GetModuleHandleW", 4},
          {"GetModuleFileNameW", 12},
          {"FormatMessageW", 28},
          {"LoadLibraryA", 4},
          {"GetProcAddress", 8}}},
        {"user32",
         {{"LoadStringW", 16},
          {"LoadMenuW", 8},
          {"GetMenuItemCount", 4},
          {"GetMenuItemInfoW", 16},
          {"RegisterClassW", 4},
          {"DefWindowProcW", 16},
          {"CreateDialogParamW", 20},
          {"GetWindowTextW", 12},
          {"GetClassNameW", 12},
          {"GetWindow", 8},
          {"GetDlgCtrlID", 4},
          {"DestroyWindow", 4}}}};
    std::string def = "LIBRARY " + dll + ".dll\nEXPORTS\n";
    for (const auto& [name, bytes] : functions.at(dll)) {
        def += name;
        if (x86) {
            def += "@" + std::to_string(bytes);
        }
        def += "\n";
    }
    return def;
}

// The shell commands that build app.exe in the current directory from
// `source` (a file name with the extension .c) and app.rc.
inline std::string BuildCommands(Builder builder, int codePage, const std::string& source,
                                 bool secondScript = false) {
    const std::string object = source.substr(0, source.size() - 2) + ".obj";
    // Each option ends in a blank, so that without one the commands read as
    // they always did and programs built before are found again.
    const std::string page = codePage == 0 ? "" : std::to_string(codePage) + " ";
    // No C run-time: keep the compiler from calling memset and friends.
    const std::string freestanding = " -O1 -ffreestanding -fno-builtin ";
    switch (builder) {
    case Builder::MingwX64:
    case Builder::MingwX86: {
        const std::string prefix =
            builder == Builder::MingwX64 ? "x86_64-w64-mingw32-" : "i686-w64-mingw32-";
        const std::string windres = prefix + "windres " + (page.empty() ? "" : "-c " + page);
        const std::string second =
            secondScript ? windres + "-i app2.rc -o app2_res.o && " : std::string();
        // --dynamicbase makes ld emit relocations, as release builds have.
        return windres + "-i app.rc -o app_res.o && " + second + prefix + "gcc" + freestanding +
               "-nostdlib -Wl,--subsystem,console -Wl,--dynamicbase -o app.exe " + source +
               " app_res.o " + (secondScript ? "app2_res.o " : "") + "-lkernel32 -luser32";
    }
    case Builder::ClangX64:
    case Builder::ClangX86: {
        if (secondScript) {
            throw std::logic_error("a second resource script needs mingw-w64");
        }
        const bool x86 = builder == Builder::ClangX86;
        // lld-link gets its import libraries from llvm-dlltool, so
        // neither MSVC nor mingw-w64 libraries are needed.
        const std::string machine = x86 ? " -m i386 -k" : " -m i386:x86-64";
        std::string commands =
            "llvm-dlltool -d kernel32.def -l kernel32.lib" + machine +
            " && llvm-dlltool -d user32.def -l user32.lib" + machine + " && llvm-rc " +
            (page.empty() ? "" : "/C " + page) + "/fo app.res app.rc && " +
            "clang --target=" + (x86 ? "i686" : "x86_64") + "-pc-windows-msvc" + freestanding +
            "-fno-stack-protector -c " + source + " -o " + object + " && " +
            "lld-link /nologo /machine:" + (x86 ? "x86" : "x64") +
            " /subsystem:console /nodefaultlib /out:app.exe " + object +
            " app.res kernel32.lib user32.lib";
        if (!x86) {
            // Signing and packaging steps set the checksum, which this lld
            // cannot; the rewrite must then keep it right.
            commands +=
                " && /usr/bin/python3 -c 'import pefile, sys; pe = pefile.PE(sys.argv[1]); "
                "pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum(); pe.write(sys.argv[2])' "
                "app.exe summed.exe && mv summed.exe app.exe";
        }
        return commands;
    }
    }
    throw std::logic_error("unknown builder");
}

} // namespace programs_detail

// Builds the program, or finds it built before; returns the path of the
// image, which callers copy before they change it.
inline std::string BuildProgram(Builder builder, const ProgramSources& sources) {
    namespace fs = std::filesystem;
    using namespace programs_detail;
    const fs::path source =
        sources.program.empty() ? fs::path(KORVA_E2E_PROGRAM_SOURCE) : fs::path(sources.program);
    const std::string program = ReadText(source.string());
    const bool second = !sources.secondRcScript.empty();
    const std::string commands =
        BuildCommands(builder, sources.codePage, source.filename().string(), second);
    std::string recipe = commands + '\0' + program + '\0' + sources.rcScript;
    if (second) {
        recipe += '\0' + sources.secondRcScript;
    }
    for (const auto& [name, content] : sources.files) {
        recipe += '\0' + name + '\0' + content;
    }
    std::ostringstream key;
    key << BuilderName(builder) << "-" << std::hex << std::hash<std::string>{}(recipe);
    const fs::path cache = KORVA_E2E_CACHE;
    const fs::path done = cache / key.str();
    if (fs::exists(done / "app.exe")) {
        return (done / "app.exe").string();
    }

    fs::create_directories(cache);
    std::string pattern = (cache / "building-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a directory in " + cache.string());
    }
    const fs::path work = pattern;
    WriteText(work / source.filename(), program);
    WriteText(work / "app.rc", sources.rcScript);
    if (second) {
        WriteText(work / "app2.rc", sources.secondRcScript);
    }
    for (const char* dll : {"kernel32", "user32"}) {
        WriteText(work / (std::string(dll) + ".def"), ImportDef(dll, builder == Builder::ClangX86));
    }
    for (const auto& [name, content] : sources.files) {
        WriteText(work / name, content);
    }
    try {
        test::RunOrThrow("cd " + test::ShellQuote(work.string()) + " && " + commands);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(work, ignored);
        throw;
    }
    // Another test process may have built the same program meanwhile; the
    // rename publishes a complete directory or fails, and either is fine.
    if (::rename(work.c_str(), done.c_str()) != 0) {
        std::error_code ignored;
        fs::remove_all(work, ignored);
        if (!fs::exists(done / "app.exe")) {
            throw std::runtime_error("cannot store the program in " + done.string());
        }
    }
    return (done / "app.exe").string();
}

} // namespace korva::e2e
