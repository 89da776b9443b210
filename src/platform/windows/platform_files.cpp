// Reading files, the console and the command line on Windows.

// windows.h first: the other system headers build on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/platform.h"
#include "platform/windows/files.h"

namespace korva {
namespace win {
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

std::string FullPath(const std::string& path) {
    const Result<std::wstring> full = win::FullPathOf(win::Utf16(path), path);
    return full ? win::Utf8(*full) : path;
}

bool NothingAt(const std::string& path) {
    if (GetFileAttributesW(win::SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    // A name no file can have (a drive's colon inside it) names nothing.
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME;
}

bool SameFile(const std::string& a, const std::string& b) {
    const auto state = [](const std::string& path) -> Result<win::FileState> {
        KORVA_ASSIGN_OR_RETURN(Handle file, win::OpenRegularFile(path, FILE_READ_ATTRIBUTES));
        return win::StateOf(file.get(), path);
    };
    const Result<win::FileState> first = state(a);
    const Result<win::FileState> second = state(b);
    return first && second && first->volume == second->volume && first->index == second->index;
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

std::uintptr_t MappedFile::PageSize() {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    return system.dwPageSize;
}

void MappedFile::DropPages(void* first, std::size_t size) {
    // Unlocking pages that were never locked takes them out of the working
    // set, as the documentation of VirtualUnlock says, and keeps their
    // content: a mapped page comes back from the file, a read one from the
    // paging file. Only advice, so its failure is ignored.
    (void)VirtualUnlock(first, size);
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
