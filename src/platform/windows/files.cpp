// The pieces the Windows side of the platform seam shares between its files
// (files.h): paths in UTF-16, failures in words, handles, regular files.

#include "platform/windows/files.h"

#include <string>
#include <utility>

#include "text/utf8.h"

namespace korva::win {

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

Result<std::wstring> FullPathOf(const std::wstring& path, const std::string& shown) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (size == 0 || length == 0 || length >= size) {
        return Failure("cannot resolve " + shown, GetLastError());
    }
    full.resize(length);
    return full;
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

} // namespace korva::win
