#pragma once

// What the Windows side of the platform seam shares between its files.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"

namespace korva::win {

// UTF-8 as the program carries paths, and UTF-16 as Windows takes them. A
// lone surrogate, which a Windows file name may hold, has its three-byte
// form, so every name comes back unit for unit.
std::wstring Utf16(std::string_view utf8);
std::string Utf8(std::wstring_view utf16);

// A path for the wide calls: past MAX_PATH, the full path in its \\?\ form,
// which the calls take at any length.
std::wstring SystemPath(const std::string& path);

// The full path the system makes of `path` from the current directory (of
// its drive, for "C:name"); the failure names `shown`.
Result<std::wstring> FullPathOf(const std::wstring& path, const std::string& shown);

// The directory of a full path, up to and including its last backslash.
std::wstring DirectoryOf(const std::wstring& path);

// What went wrong and why, in the same words on every machine for the
// failures a run meets, whatever the language of the system's messages.
Error Failure(const std::string& what, DWORD error);

// Closes a handle when it goes out of scope.
class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    Handle(Handle&& other) noexcept;
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle();

    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE release();

private:
    HANDLE h_;
};

// The seam's members keep a handle as its value (NativeHandle); -1, the
// value of INVALID_HANDLE_VALUE, stands for none.
inline std::intptr_t HandleValue(HANDLE h) {
    return h == nullptr ? -1 : reinterpret_cast<std::intptr_t>(h);
}
inline HANDLE FromValue(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

// Opens a file that must be a regular one: a directory, device, pipe or
// console is refused ("x is not a regular file") before anything is read.
// Other programs may read, write, rename and delete it meanwhile, as they
// may on POSIX.
Result<Handle> OpenRegularFile(const std::string& path, DWORD access);

// What a file is and was: which file on which volume, its size and times.
struct FileState {
    DWORD volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t lastWrite = 0;
    std::int64_t change = 0;
    DWORD attributes = 0;
};
Result<FileState> StateOf(HANDLE file, const std::string& name);

// Whether two looks at a file saw the same file with the same content, as
// far as the file system tells: the same file index, size and times.
bool SameFileUnchanged(const FileState& a, const FileState& b);

// The file a TargetLock holds: its path as given and what it was when the
// lock was taken. Null while no lock is held.
struct LockedFile {
    std::string path;
    FileState taken;
};
const LockedFile* CurrentLock();

// Temporary files, by full path, that an interruption (Ctrl+C, Ctrl+Break,
// the console closed) removes before the process ends with exit code 2.
// Only files that would outlive the process need it: one still marked for
// deletion vanishes with the process anyway.
void RememberTemporary(const std::wstring& path);
void ForgetTemporary(const std::wstring& path);

} // namespace korva::win
