#pragma once

// What the Windows end-to-end tests share: UTF-8 and UTF-16 by the system's
// own conversion (not the tool's), programs started with a wide command
// line and their output read as bytes, and a directory of their own whose
// name no code page holds.

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace korva::windows_test {

inline std::wstring Wide(const std::string& utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        out.data(), size);
    return out;
}

inline std::string Utf8(const std::wstring& wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// A path the build handed over (a POSIX one under Wine) as Windows names it.
inline std::wstring FullPath(const std::string& path) {
    const std::wstring given = Wide(path);
    std::wstring full(32768, L'\0');
    full.resize(
        GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    return full;
}

// One argument as CommandLineToArgvW and the C run-time split it again:
// quoted when it holds a blank or a quote, with the backslashes before a
// quote doubled.
inline std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

struct Outcome {
    DWORD exitCode = 0;
    std::string output; // standard output, the bytes as written
};

// Starts `program` with `args` in `directory` (empty: this one) and waits
// for it, its standard output read through a pipe.
inline Outcome RunProgram(const std::wstring& program, const std::vector<std::wstring>& args,
                          const std::wstring& directory = {}) {
    std::wstring line = Quote(program);
    for (const std::wstring& arg : args) {
        line += L" " + Quote(arg);
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0) ||
        !SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0)) {
        throw std::runtime_error("cannot create a pipe");
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       directory.empty() ? nullptr : directory.c_str(), &startup, &process);
    CloseHandle(write);
    if (!started) {
        CloseHandle(read);
        throw std::runtime_error("cannot start " + Utf8(program));
    }
    Outcome run;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        run.output.append(buffer, got);
    }
    CloseHandle(read);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + Utf8(path.native()));
    }
}

// The \\?\ form of a full path: the wide calls take it past MAX_PATH, which
// the test's own files may be.
inline std::wstring LongForm(const std::wstring& full) {
    return LR"(\\?\)" + full;
}

// The names in a directory, "." and ".." left out.
inline std::set<std::wstring> Names(const std::wstring& directory) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(LongForm(directory + L"\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.insert(name);
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    return names;
}

inline void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(LongForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    SetFileAttributesW(LongForm(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(LongForm(path).c_str());
        return;
    }
    for (const std::wstring& name : Names(path)) {
        RemoveTree(path + L"\\" + name);
    }
    RemoveDirectoryW(LongForm(path).c_str());
}

// Whether file names must keep to ASCII: Wine takes the system code page
// from LC_ALL even for a locale the system does not have, which the tests
// of other code pages use, but then it names files in ASCII only.
inline bool AsciiNames() {
    return std::getenv("KORVA_EXPECTED_ACP") != nullptr;
}

// A fresh directory in the temporary one, named in scripts that no single
// code page holds, removed with what is in it.
class Workspace {
public:
    Workspace() {
        const std::wstring name = AsciiNames()
                                      ? L"korva workspace "
                                      : L"korva \u00dcbersetzung \u65e5\u672c \u0391\u03a9 ";
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / (name + std::to_wstring(random()));
            if (std::filesystem::create_directory(candidate)) {
                path_ = candidate;
            }
        }
        if (path_.empty()) {
            throw std::runtime_error("cannot create a workspace");
        }
    }
    ~Workspace() { RemoveTree(path_.native()); }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::filesystem::path& path() const { return path_; }

    std::set<std::wstring> Listing() const { return Names(path_.native()); }

private:
    std::filesystem::path path_;
};

} // namespace korva::windows_test
