// The atomic replacement of a file on Windows, with the attributes and
// access rights of the old file carried over to the new one.
//
// MoveFileExW renames the new file over the old one in one step, so a reader
// sees one or the other. ReplaceFileW would carry the old file's metadata
// itself, but it promises no single step (Wine's is three renames, and the
// old file is gone for a moment), so this side carries what it must keep
// itself and renames.

// windows.h first: the other system headers build on it.
#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/platform.h"
#include "platform/windows/files.h"

namespace korva {

using win::Failure;
using win::Handle;

namespace {

// A security descriptor as GetSecurityInfo hands it out; the pointers into
// it live as long as it does.
struct Security {
    PSID owner = nullptr;
    PSID group = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;

    Security() = default;
    Security(const Security&) = delete;
    Security& operator=(const Security&) = delete;
    ~Security() { LocalFree(descriptor); }

    bool Protected() const {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        return GetSecurityDescriptorControl(descriptor, &control, &revision) &&
               (control & SE_DACL_PROTECTED) != 0;
    }
};

DWORD ReadSecurity(HANDLE file, Security& out) {
    return GetSecurityInfo(file, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                               DACL_SECURITY_INFORMATION,
                           &out.owner, &out.group, &out.dacl, nullptr, &out.descriptor);
}

bool SameSid(PSID a, PSID b) {
    return (a == nullptr && b == nullptr) || (a != nullptr && b != nullptr && EqualSid(a, b));
}

bool SameAcl(PACL a, PACL b) {
    return (a == nullptr && b == nullptr) ||
           (a != nullptr && b != nullptr && a->AclSize == b->AclSize &&
            std::memcmp(a, b, a->AclSize) == 0);
}

// An administrator's new file belongs to the Administrators group, and
// giving it back to the old file's owner takes the right to restore files,
// which an elevated administrator holds but has not switched on.
bool EnableRestorePrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        return false;
    }
    const Handle owned(token);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &privileges.Privileges[0].Luid) &&
           AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS; // not ERROR_NOT_ALL_ASSIGNED: the token has it
}

// The owner, group and access rights (DACL) of the old file, where the new
// one was given others. A file inherits its rights from its directory, and
// both lie in the same one, so usually nothing differs and nothing is set.
// What cannot be kept fails the replacement, rather than widen or narrow
// who may use the file: as on POSIX, a user who may write another user's
// file may not give a new file to that user.
Result<void> KeepSecurity(HANDLE from, HANDLE to, const std::string& shown) {
    Security old;
    Security made;
    if (const DWORD e = ReadSecurity(from, old); e != ERROR_SUCCESS) {
        return Failure("cannot read the access rights of " + shown, e);
    }
    if (const DWORD e = ReadSecurity(to, made); e != ERROR_SUCCESS) {
        return Failure("cannot read the access rights of the new " + shown, e);
    }
    if (!SameSid(old.owner, made.owner) || !SameSid(old.group, made.group)) {
        const auto setOwner = [&] {
            return SetSecurityInfo(to, SE_FILE_OBJECT,
                                   OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                                   old.owner, old.group, nullptr, nullptr);
        };
        DWORD e = setOwner();
        if (e == ERROR_INVALID_OWNER && EnableRestorePrivilege()) {
            e = setOwner();
        }
        if (e != ERROR_SUCCESS) {
            return Failure("cannot give the new " + shown + " the owner and group of the old one",
                           e);
        }
    }
    if (!SameAcl(old.dacl, made.dacl) || old.Protected() != made.Protected()) {
        // Unprotected, the rights inherited from the directory are worked
        // out again, and come out as the old file's, from the same place.
        const SECURITY_INFORMATION which =
            DACL_SECURITY_INFORMATION | (old.Protected() ? PROTECTED_DACL_SECURITY_INFORMATION
                                                         : UNPROTECTED_DACL_SECURITY_INFORMATION);
        const DWORD e =
            SetSecurityInfo(to, SE_FILE_OBJECT, which, nullptr, nullptr, old.dacl, nullptr);
        if (e != ERROR_SUCCESS) {
            return Failure("cannot keep the access rights of " + shown, e);
        }
    }
    return {};
}

// The attributes a user sets on a program file. Read-only is not among
// them: a read-only file is refused before the run writes anything.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

Result<void> KeepAttributes(DWORD old, HANDLE to, const std::string& shown) {
    FILE_BASIC_INFO made{};
    if (!GetFileInformationByHandleEx(to, FileBasicInfo, &made, sizeof made)) {
        return Failure("cannot examine the new " + shown, GetLastError());
    }
    const DWORD wanted = (made.FileAttributes & ~kKeptAttributes) | (old & kKeptAttributes);
    if (wanted == made.FileAttributes) {
        return {};
    }
    FILE_BASIC_INFO change{}; // times of zero stay as they are
    change.FileAttributes = wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted;
    if (!SetFileInformationByHandle(to, FileBasicInfo, &change, sizeof change)) {
        return Failure("cannot keep the attributes of " + shown, GetLastError());
    }
    return {};
}

// Marks an open file for deletion when its last handle closes, or takes the
// mark away. Marked, the temporary file goes with the process however it
// ends, even killed, as an unnamed file does on Linux.
bool MarkForDeletion(HANDLE file, bool on) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = on ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

// The full path of the real file behind `path`: symbolic links and
// junctions followed, so that the link stays a link and the file it points
// to is replaced; the \\?\ form, which has no length limit.
Result<std::wstring> RealPath(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(Handle file, win::OpenRegularFile(path, FILE_READ_ATTRIBUTES));
    std::wstring real(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(file.get(), real.data(), static_cast<DWORD>(real.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            break; // a file system that cannot tell: the path as given, made full
        }
        if (length < real.size()) {
            real.resize(length);
            return real;
        }
        real.resize(length);
    }
    return win::FullPathOf(win::SystemPath(path), path);
}

Error InUse(const std::string& shown) {
    return MakeError(shown + " is in use by another program, which keeps it from being replaced");
}

Result<void> WriteAll(HANDLE file, std::span<const std::uint8_t> bytes, const std::string& name) {
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    while (!bytes.empty()) {
        const auto want = static_cast<DWORD>(std::min(bytes.size(), kChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), want, &written, nullptr) || written == 0) {
            return Failure("cannot write " + name, GetLastError());
        }
        bytes = bytes.subspan(written);
    }
    return {};
}

} // namespace

Result<FileReplacement> FileReplacement::Begin(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(std::wstring real, RealPath(path));
    FileReplacement out;
    out.shown_ = path;
    out.name_ = win::Utf8(real);
    KORVA_RETURN_IF_ERROR(out.CreateNamed());
    if (!MarkForDeletion(win::FromValue(out.fd_), true)) {
        // It stays until removed: an interruption must remove it then.
        win::RememberTemporary(win::Utf16(out.tempName_));
    }
    return out;
}

// The rights of a file on Windows come from its directory, not from the
// file it was copied from, so `permissionsOf` has nothing to give.
Result<FileReplacement> FileReplacement::BeginNew(const std::string& path,
                                                  const std::string& /*permissionsOf*/) {
    KORVA_ASSIGN_OR_RETURN(const std::wstring full, win::FullPathOf(win::SystemPath(path), path));
    FileReplacement out;
    out.shown_ = path;
    out.name_ = win::Utf8(full);
    out.newFile_ = true;
    KORVA_RETURN_IF_ERROR(out.CreateNamed());
    if (!MarkForDeletion(win::FromValue(out.fd_), true)) {
        win::RememberTemporary(win::Utf16(out.tempName_));
    }
    return out;
}

FileReplacement::~FileReplacement() {
    Abandon();
}

void FileReplacement::Abandon() {
    if (fd_ >= 0) {
        CloseHandle(win::FromValue(std::exchange(fd_, -1)));
    }
    if (!tempName_.empty()) {
        // Usually gone with its handle already, being marked for deletion.
        const std::wstring temp = win::Utf16(tempName_);
        DeleteFileW(temp.c_str());
        win::ForgetTemporary(temp);
        tempName_.clear();
    }
}

Result<void> FileReplacement::Append(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) {
        return MakeError("the replacement of " + shown_ + " is closed");
    }
    if (Result<void> s = WriteAll(win::FromValue(fd_), bytes, "a temporary file beside " + shown_);
        !s) {
        return s;
    }
    Appended(bytes.size());
    return {};
}

// The Windows build reads the target into memory (see MappedFile), so the
// bytes are simply written.
Result<void> FileReplacement::AppendCopy(const MappedFile& source, std::uint64_t offset,
                                         std::uint64_t size) {
    if (offset > source.size_ || size > source.size_ - offset) {
        return MakeError("a copy from beyond the end of the file into the replacement of " +
                         shown_);
    }
    return Append(
        source.Bytes().subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size)));
}

void FileReplacement::Appended(std::uint64_t size) {
    written_ += size;
}

Result<MappedFile> FileReplacement::MapWritten() const {
    if (fd_ < 0) {
        return MakeError("the replacement of " + shown_ + " is closed");
    }
    return MappedFile::FromDescriptor(fd_, "a temporary file beside " + shown_);
}

// A file another program changed since this run read it would lose that
// change, or get a mix of two contents: it is left alone.
Result<void> FileReplacement::CheckTargetUnchanged() const {
    const win::LockedFile* lock = win::CurrentLock();
    if (lock == nullptr || lock->path != shown_) {
        return {};
    }
    Result<Handle> file = win::OpenRegularFile(name_, FILE_READ_ATTRIBUTES);
    Result<win::FileState> now = file ? win::StateOf(file->get(), shown_) : file.error();
    if (!now || !win::SameFileUnchanged(*now, lock->taken)) {
        return MakeError(shown_ + " was changed by another program during the run");
    }
    return {};
}

Result<void> FileReplacement::PutInPlace() {
    if (fd_ < 0) {
        return MakeError("the replacement of " + shown_ + " is closed");
    }
    if (newFile_) {
        return PlaceNew();
    }
    const HANDLE temp = win::FromValue(fd_);
    {
        KORVA_ASSIGN_OR_RETURN(Handle old,
                               win::OpenRegularFile(name_, READ_CONTROL | FILE_READ_ATTRIBUTES));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(old.get(), &info)) {
            return Failure("cannot examine " + shown_, GetLastError());
        }
        if (Result<void> s = KeepSecurity(old.get(), temp, shown_); !s) {
            return s;
        }
        if (Result<void> s = KeepAttributes(info.dwFileAttributes, temp, shown_); !s) {
            return s;
        }
    } // no handle on the old file may stay open: it would keep it from being replaced
    if (!FlushFileBuffers(temp)) {
        return Failure("cannot flush a temporary file beside " + shown_, GetLastError());
    }
    if (Result<void> s = CheckTargetUnchanged(); !s) {
        return s;
    }
    // Another program that holds the file open without letting it be
    // deleted keeps it from being replaced; asked now, the reason is clear.
    const std::wstring target = win::Utf16(name_);
    if (const Handle open(CreateFileW(target.c_str(), DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        !open.valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION ? InUse(shown_)
                                                : Failure("cannot replace " + shown_, error);
    }
    // The mark comes off and the handle closes just before the rename, which
    // needs the file closed; an interruption in between removes it by name.
    const std::wstring tempPath = win::Utf16(tempName_);
    win::RememberTemporary(tempPath);
    if (!MarkForDeletion(temp, false)) {
        return Failure("cannot keep a temporary file beside " + shown_, GetLastError());
    }
    CloseHandle(win::FromValue(std::exchange(fd_, -1)));
    if (!MoveFileExW(tempPath.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        // The right to delete it was granted just now: refused, the file is
        // held by a program that let it be deleted but not replaced (an
        // open handle or a mapped view, a running program).
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            return InUse(shown_);
        }
        return Failure("cannot rename a temporary file over " + shown_, error);
    }
    win::ForgetTemporary(tempPath);
    tempName_.clear();
    return {};
}

// The temporary file was made in the directory, so it has the security a
// file made there by name gets; it takes the name unless a file appeared
// there meanwhile, which is another program's and left alone.
Result<void> FileReplacement::PlaceNew() {
    const HANDLE temp = win::FromValue(fd_);
    if (!FlushFileBuffers(temp)) {
        return Failure("cannot flush a temporary file beside " + shown_, GetLastError());
    }
    const std::wstring tempPath = win::Utf16(tempName_);
    win::RememberTemporary(tempPath);
    if (!MarkForDeletion(temp, false)) {
        return Failure("cannot keep a temporary file beside " + shown_, GetLastError());
    }
    CloseHandle(win::FromValue(std::exchange(fd_, -1)));
    const std::wstring target = win::Utf16(name_);
    if (!MoveFileExW(tempPath.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                   ? MakeError(shown_ + " was created by another program during the run")
                   : Failure("cannot rename a temporary file to " + shown_, error);
    }
    win::ForgetTemporary(tempPath);
    tempName_.clear();
    return {};
}

} // namespace korva
