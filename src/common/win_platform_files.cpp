// Reading files, the console and the command line on Windows, and the
// pieces the rest of the Windows seam shares.

// windows.h first: the other system headers build on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "common/platform.h"
#include "common/utf8.h"
#include "common/win_files.h"

namespace korva {

namespace win {

std::wstring Utf16(std::string_view utf8) {
    std::wstring out(Utf16LengthOfUtf8(utf8), L'\0');
    // wchar_t is a UTF-16LE code unit on Windows.
    PutUtf8AsUtf16Le(utf8, reinterpret_cast<std::uint8_t*>(out.data()));
    return out;
}

std::string Utf8(std::wstring_view utf16) {
    std::string out;
    AppendUtf16LeAsUtf8({reinterpret_cast<const std::uint8_t*>(utf16.data()), utf16.size() * 2},
                        out);
    return out;
}

std::wstring SystemPath(const std::string& path) {
    std::wstring wide = Utf16(path);
    // Below the limit the path goes as it is, so that the system reads it as
    // it reads any other (device names, trailing dots and blanks). The
    // margin leaves room for a temporary name beside the file.
    constexpr std::size_t kPlain = MAX_PATH - 24;
    if (wide.size() < kPlain || wide.starts_with(LR"(\\?\)") || wide.starts_with(LR"(\\.\)")) {
        return wide;
    }
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return wide; // the call that uses it says what is wrong
    }
    full.resize(length);
    if (full.starts_with(LR"(\\)")) {
        return LR"(\\?\UNC\)" + full.substr(2);
    }
    return LR"(\\?\)" + full;
}

std::wstring DirectoryOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

namespace {

// The system's own message, in English where the system has it; the code
// in any case, which is what a search for the problem needs.
std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = 0;
    for (const DWORD language : {DWORD{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)}, DWORD{0}}) {
        length = FormatMessageW(flags, nullptr, error, language, reinterpret_cast<wchar_t*>(&text),
                                0, nullptr);
        if (length != 0) {
            break;
        }
    }
    std::string message = length == 0 ? std::string("Windows error") : Utf8({text, length});
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    return message + " (error " + std::to_string(error) + ")";
}

} // namespace

Error Failure(const std::string& what, DWORD error) {
    const char* reason = nullptr;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        reason = "No such file or directory";
        break;
    case ERROR_ACCESS_DENIED:
        reason = "Access is denied";
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        reason = "The file is in use by another program";
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        reason = "There is not enough space on the disk";
        break;
    case ERROR_WRITE_PROTECT:
        reason = "The medium is write-protected";
        break;
    case ERROR_INVALID_NAME:
        reason = "The file name is not valid";
        break;
    case ERROR_FILENAME_EXCED_RANGE:
        reason = "The file name is too long";
        break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        reason = "Not enough memory";
        break;
    default:
        return MakeError(what + ": " + SystemMessage(error));
    }
    return MakeError(what + ": " + reason);
}

Handle::Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, INVALID_HANDLE_VALUE)) {}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        if (valid()) {
            CloseHandle(h_);
        }
        h_ = std::exchange(other.h_, INVALID_HANDLE_VALUE);
    }
    return *this;
}

Handle::~Handle() {
    if (valid()) {
        CloseHandle(h_);
    }
}

HANDLE Handle::release() {
    return std::exchange(h_, INVALID_HANDLE_VALUE);
}

Result<Handle> OpenRegularFile(const std::string& path, DWORD access) {
    // Backup semantics let a directory open too, so that it is refused as
    // no file rather than as a file the user may not read.
    Handle file(CreateFileW(SystemPath(path).c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        Error failure =
            Failure((access & GENERIC_WRITE) != 0 ? "cannot open " + path + " for writing"
                                                  : "cannot open " + path,
                    error);
        // A file another program holds, or one the user may not read, is
        // there; a name that finds nothing, or a directory, is not.
        const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
            failure.kind = ErrorKind::NoSuchFile;
        }
        return failure;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return MakeError(path + " is not a regular file", ErrorKind::NoSuchFile);
    }
    return file;
}

Result<FileState> StateOf(HANDLE file, const std::string& name) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(file, &info) ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        return Failure("cannot examine " + name, GetLastError());
    }
    FileState state;
    state.volume = info.dwVolumeSerialNumber;
    state.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    state.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    state.lastWrite = basic.LastWriteTime.QuadPart;
    state.change = basic.ChangeTime.QuadPart;
    state.attributes = info.dwFileAttributes;
    return state;
}

bool SameFileUnchanged(const FileState& a, const FileState& b) {
    return a.volume == b.volume && a.index == b.index && a.size == b.size &&
           a.lastWrite == b.lastWrite && a.change == b.change;
}

namespace {

// Reads the whole of an open file into `out`, which holds `size` bytes; a
// file that ends sooner was cut short by another program meanwhile.
Result<void> ReadExactly(HANDLE file, std::uint8_t* out, std::size_t size,
                         const std::string& name) {
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    for (std::size_t done = 0; done < size;) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min(size - done, kChunk));
        if (!ReadFile(file, out + done, want, &got, nullptr)) {
            return Failure("cannot read " + name, GetLastError());
        }
        if (got == 0) {
            return MakeError(name + " was cut short by another program while it was read");
        }
        done += got;
    }
    return {};
}

} // namespace
} // namespace win

using win::Failure;
using win::Handle;

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return {argv + std::min(argc, 1), argv + argc};
    }
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
        args.push_back(win::Utf8(wide[i]));
    }
    LocalFree(wide);
    return args;
}

void UseBinaryConsole() {
    (void)_setmode(_fileno(stdout), _O_BINARY);
    (void)_setmode(_fileno(stderr), _O_BINARY);
}

std::filesystem::path FileSystemPath(const std::string& path) {
    return std::filesystem::path(win::Utf16(path));
}

std::string PathString(const std::filesystem::path& path) {
    return win::Utf8(path.native());
}

std::string OwnExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::string();
        }
        if (length < path.size()) {
            path.resize(length);
            return win::Utf8(path);
        }
        if (path.size() >= 32768) {
            return std::string(); // longer than any path Windows has
        }
        path.resize(path.size() * 2);
    }
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos) {
        return path.substr(0, slash + 1);
    }
    // "C:app.exe" lies in the current directory of drive C.
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
}

void IgnoreClosedOutput() {} // a closed pipe fails the write; nothing ends the process

Result<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(Handle file, win::OpenRegularFile(path, GENERIC_READ));
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                      nullptr)) {
            return Failure("cannot read " + path, GetLastError());
        }
        if (got == 0) {
            return bytes;
        }
        bytes.insert(bytes.end(), buffer.begin(),
                     buffer.begin() + static_cast<std::ptrdiff_t>(got));
    }
}

Result<void> CheckWritable(const std::string& path) {
    // The replacement needs the right to delete the file as well, and fails
    // while another program holds it open without letting it be deleted:
    // asked for both now, a file that cannot be replaced is refused before
    // the work is done, with the reason.
    KORVA_ASSIGN_OR_RETURN(Handle file, win::OpenRegularFile(path, GENERIC_WRITE | DELETE));
    // Windows neither writes nor replaces a read-only file, whoever asks;
    // said here also where the open above lets it through (the backup
    // rights of an administrator, Wine run as root).
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file.get(), &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Failure("cannot open " + path + " for writing", ERROR_ACCESS_DENIED);
    }
    return {};
}

Result<MappedFile> MappedFile::Open(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(Handle file, win::OpenRegularFile(path, GENERIC_READ));
    KORVA_ASSIGN_OR_RETURN(win::FileState state, win::StateOf(file.get(), path));
    if (state.size > SIZE_MAX) {
        return MakeError("cannot read " + path + ": too large for this build");
    }
    const auto size = static_cast<std::size_t>(state.size);
    if (size == 0) {
        return MappedFile(nullptr, 0);
    }
    // Whole pages of their own, so that ReleasePages has pages to give.
    auto* data = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (data == nullptr) {
        return Failure("cannot read " + path, GetLastError());
    }
    MappedFile out(data, size);
    KORVA_RETURN_IF_ERROR(win::ReadExactly(file.get(), data, size, path));
    DWORD old = 0;
    (void)VirtualProtect(data, size, PAGE_READONLY, &old);
    return out;
}

Result<MappedFile> MappedFile::FromDescriptor(NativeHandle fd, const std::string& name) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(win::FromValue(fd), &size)) {
        return Failure("cannot examine " + name, GetLastError());
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > SIZE_MAX) {
        return MakeError("cannot map " + name + ": too large for this build");
    }
    if (size.QuadPart == 0) {
        return MappedFile(nullptr, 0); // a mapping of nothing is refused
    }
    // The view keeps the mapping, and the mapping the file, for as long as
    // the view lives.
    const Handle mapping(
        CreateFileMappingW(win::FromValue(fd), nullptr, PAGE_READONLY, 0, 0, nullptr));
    void* view = mapping.valid() ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view == nullptr) {
        return Failure("cannot map " + name, GetLastError());
    }
    return MappedFile(static_cast<const std::uint8_t*>(view),
                      static_cast<std::size_t>(size.QuadPart));
}

void MappedFile::ReleasePages(std::span<const std::uint8_t> range) const {
    const auto begin = reinterpret_cast<std::uintptr_t>(range.data());
    const auto end = begin + range.size();
    const auto mine = reinterpret_cast<std::uintptr_t>(data_);
    if (data_ == nullptr || begin < mine || end > mine + size_ || begin >= end) {
        return;
    }
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const std::uintptr_t page = system.dwPageSize;
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t last = end / page * page;
    if (first < last) {
        // Unlocking pages that were never locked takes them out of the
        // working set, as the documentation of VirtualUnlock says, and keeps
        // their content: a mapped page comes back from the file, a read one
        // from the paging file. Only advice, so its failure is ignored.
        (void)VirtualUnlock(reinterpret_cast<void*>(first), last - first);
    }
}

void MappedFile::Release() {
    if (data_ == nullptr) {
        return;
    }
    // A view of a file (MapWritten) or memory the file was read into (Open).
    void* address = const_cast<std::uint8_t*>(data_);
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(address, &region, sizeof region) != 0 && region.Type == MEM_MAPPED) {
        UnmapViewOfFile(address);
    } else {
        VirtualFree(address, 0, MEM_RELEASE);
    }
    data_ = nullptr;
    size_ = 0;
}

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ >= 0) {
        CloseHandle(win::FromValue(fd_));
    }
}

Result<void> ReadOnlyFile::Open(const std::string& path) {
    if (fd_ >= 0) {
        CloseHandle(win::FromValue(std::exchange(fd_, -1)));
    }
    KORVA_ASSIGN_OR_RETURN(Handle file, win::OpenRegularFile(path, GENERIC_READ));
    fd_ = win::HandleValue(file.release());
    return {};
}

long long ReadOnlyFile::Read(char* buffer, std::size_t size) {
    if (fd_ < 0) {
        return -1;
    }
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
    if (!ReadFile(win::FromValue(fd_), buffer, want, &got, nullptr)) {
        return -1;
    }
    return got;
}

} // namespace korva
