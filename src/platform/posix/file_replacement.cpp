// The atomic replacement of a file, with everything the file system keeps
// about it carried over to the new one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/files.h"

namespace korva {

using posix::Descriptor;
using posix::Failure;

namespace {

// A write past the file size limit raises SIGXFSZ, whose default action kills
// the process before it can clean up; ignored, the write fails with EFBIG.
class IgnoreFileSizeSignal {
public:
    IgnoreFileSizeSignal() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        active_ = ::sigaction(SIGXFSZ, &ignore, &previous_) == 0;
    }
    IgnoreFileSizeSignal(const IgnoreFileSizeSignal&) = delete;
    IgnoreFileSizeSignal& operator=(const IgnoreFileSizeSignal&) = delete;
    ~IgnoreFileSizeSignal() {
        if (active_) {
            ::sigaction(SIGXFSZ, &previous_, nullptr);
        }
    }

private:
    struct sigaction previous_ {};
    bool active_ = false;
};

Result<void> WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::string& name) {
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    while (!bytes.empty()) {
        const std::size_t want = std::min(bytes.size(), kChunk);
        const ssize_t written = ::write(fd, bytes.data(), want);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return Failure("cannot write " + name, written < 0 ? errno : EIO);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

// The directory and name of the real file behind `path`, symbolic links
// followed one by one relative to the directories they lie in. Working from
// directory descriptors, a file whose full path is longer than PATH_MAX can
// be replaced wherever it can be named.
struct RealFile {
    Descriptor directory;
    std::string name;
};

Result<Descriptor> OpenDirectory(int at, const std::string& path) {
    const std::string name = path.empty() ? "." : path;
    Descriptor fd(::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) {
        return Failure("cannot open the directory " + name, errno);
    }
    return fd;
}

Result<RealFile> ResolveRealFile(const std::string& path) {
    std::string link = path;
    int at = AT_FDCWD;
    Descriptor directory;
    for (int hops = 0; hops < 40; ++hops) {
        const std::string name = link.substr(DirectoryOf(link).size());
        KORVA_ASSIGN_OR_RETURN(Descriptor next, OpenDirectory(at, DirectoryOf(link)));
        directory = std::move(next);
        at = directory.get();
        struct stat info {};
        if (name.empty() || ::fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return Failure("cannot examine " + path, name.empty() ? EISDIR : errno);
        }
        if (!S_ISLNK(info.st_mode)) {
            return RealFile{std::move(directory), name};
        }
        std::vector<char> target(static_cast<std::size_t>(info.st_size) + 256);
        const ssize_t length = ::readlinkat(at, name.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
            return Failure("cannot read the link " + path, length < 0 ? errno : ENAMETOOLONG);
        }
        link.assign(target.data(), static_cast<std::size_t>(length));
        if (link.starts_with('/')) {
            at = AT_FDCWD;
        }
    }
    return Failure("cannot resolve " + path, ELOOP);
}

} // namespace

Result<FileReplacement> FileReplacement::Begin(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(RealFile real, ResolveRealFile(path));
    FileReplacement out;
    out.shown_ = path;
    out.name_ = real.name;
    out.directoryFd_ = real.directory.release();
    out.originalFd_ =
        ::openat(out.directoryFd_, out.name_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat original {};
    if (out.originalFd_ < 0 || ::fstat(out.originalFd_, &original) != 0) {
        return Failure("cannot open " + path, errno);
    }
    if (!S_ISREG(original.st_mode)) {
        return MakeError(path + " is not a regular file");
    }
    // Unnamed until complete, so that a process killed on the way leaves
    // nothing behind; a named file where unnamed ones are not supported.
    out.fd_ = ::openat(out.directoryFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (out.fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return Failure("cannot create a temporary file beside " + path, errno);
    }
    if (out.fd_ < 0) {
        KORVA_RETURN_IF_ERROR(out.CreateNamed());
    }
    return out;
}

Result<FileReplacement> FileReplacement::BeginNew(const std::string& path,
                                                  const std::string& permissionsOf) {
    const std::string name = path.substr(DirectoryOf(path).size());
    if (name.empty()) {
        return Failure("cannot create " + path, EISDIR);
    }
    int mode = -1;
    if (!permissionsOf.empty()) {
        KORVA_ASSIGN_OR_RETURN(mode, posix::PermissionsOfCopy(permissionsOf));
    }
    KORVA_ASSIGN_OR_RETURN(Descriptor directory, OpenDirectory(AT_FDCWD, DirectoryOf(path)));
    FileReplacement out;
    out.shown_ = path;
    out.name_ = name;
    out.directoryFd_ = directory.release();
    out.newFile_ = true;
    out.newMode_ = mode;
    // Asked for as any new file is, so that the umask and a default ACL of
    // the directory decide its permissions, as they would for a file made
    // by name.
    out.fd_ = ::openat(out.directoryFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (out.fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return Failure("cannot create a temporary file beside " + path, errno);
    }
    if (out.fd_ < 0) {
        KORVA_RETURN_IF_ERROR(out.CreateNamed());
    }
    return out;
}

FileReplacement::~FileReplacement() {
    Abandon();
    for (const int fd : {originalFd_, directoryFd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void FileReplacement::Abandon() {
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
    }
    if (!tempName_.empty()) {
        (void)::unlinkat(directoryFd_, tempName_.c_str(), 0);
        posix::ForgetTemporary(directoryFd_, tempName_);
        tempName_.clear();
    }
}

Result<void> FileReplacement::Append(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) {
        return MakeError("the replacement of " + shown_ + " is closed");
    }
    const IgnoreFileSizeSignal noSignal;
    if (Result<void> s = WriteAll(fd_, bytes, "a temporary file beside " + shown_); !s) {
        return s;
    }
    Appended(bytes.size());
    return {};
}

Result<void> FileReplacement::AppendCopy(const MappedFile& source, std::uint64_t offset,
                                         std::uint64_t size) {
    if (fd_ < 0) {
        return MakeError("the replacement of " + shown_ + " is closed");
    }
    if (offset > source.size_ || size > source.size_ - offset) {
        return MakeError("a copy from beyond the end of the file into the replacement of " +
                         shown_);
    }
    const IgnoreFileSizeSignal noSignal;
    while (size > 0 && source.fd_ >= 0 && !copyRefused_) {
        auto from = static_cast<off_t>(offset);
        const ssize_t copied =
            ::copy_file_range(source.fd_, &from, fd_, nullptr, static_cast<std::size_t>(size), 0);
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        // Between file systems, on an old kernel, or where a file system
        // has no such copy: the bytes are written as Append would.
        if (copied < 0 &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            copyRefused_ = true;
            break;
        }
        if (copied < 0) {
            return Failure("cannot write a temporary file beside " + shown_, errno);
        }
        if (copied == 0) {
            // The mapping would fault on these bytes just the same.
            return MakeError(shown_ + " was cut short by another program during the run");
        }
        const auto done = static_cast<std::uint64_t>(copied);
        offset += done;
        size -= done;
        Appended(done);
    }
    return Append(
        source.Bytes().subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size)));
}

void FileReplacement::Appended(std::uint64_t size) {
    written_ += size;
    // Starts writing back what is complete while the rest is produced, so
    // that the flush at Commit waits for little more than the last part.
    // Only a hint: where it is not supported, Commit's flush does it all.
    constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
    if (written_ - flushed_ >= kWriteBackStep) {
        (void)::sync_file_range(fd_, static_cast<off_t>(flushed_),
                                static_cast<off_t>(written_ - flushed_), SYNC_FILE_RANGE_WRITE);
        flushed_ = written_;
    }
}

Result<MappedFile> FileReplacement::MapWritten() const {
    if (fd_ < 0) {
        return MakeError("the replacement of " + shown_ + " is closed");
    }
    return MappedFile::FromDescriptor(fd_, "a temporary file beside " + shown_);
}

// Names the unnamed temporary file just before the rename. Where it cannot
// be named (no /proc), a named copy takes its place.
Result<void> FileReplacement::NameUnnamed() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    int error = 0;
    const int linked = UnderFreeName(
        [&](const std::string& name) {
            return ::linkat(AT_FDCWD, self.c_str(), directoryFd_, name.c_str(), AT_SYMLINK_FOLLOW);
        },
        error);
    if (linked >= 0) {
        return {};
    }
    if (error == ENOENT || error == EPERM) {
        return NameByCopy();
    }
    return Failure("cannot name a temporary file beside " + shown_, error);
}

Result<void> FileReplacement::NameByCopy() {
    Descriptor unnamed(std::exchange(fd_, -1));
    if (Result<void> named = CreateNamed(); !named) {
        return named;
    }
    std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(unnamed.get(), buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Failure("cannot read back a temporary file beside " + shown_, errno);
        }
        if (got == 0) {
            return {};
        }
        const std::span<const std::uint8_t> piece(buffer.data(), static_cast<std::size_t>(got));
        if (Result<void> s = WriteAll(fd_, piece, "a temporary file beside " + shown_); !s) {
            return s;
        }
        at += got;
    }
}

// A file another program changed since this run read it would lose that
// change, or get a mix of two contents: it is left alone.
Result<void> FileReplacement::CheckTargetUnchanged() const {
    const posix::LockedFile* lock = posix::CurrentLock();
    if (lock == nullptr || lock->path != shown_) {
        return {};
    }
    struct stat now {};
    if (::fstatat(directoryFd_, name_.c_str(), &now, 0) != 0 ||
        !posix::SameFileUnchanged(now, lock->taken)) {
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
    struct stat original {};
    if (::fstat(originalFd_, &original) != 0) {
        return Failure("cannot examine " + shown_, errno);
    }
    // The owner first, since changing it clears set-id bits; the ACL, an
    // attribute, then sets the group bits; the mode last.
    if (Result<void> s = posix::KeepOwner(fd_, original, shown_); !s) {
        return s;
    }
    if (Result<void> s = posix::KeepAttributes(originalFd_, fd_, shown_); !s) {
        return s;
    }
    if (::fchmod(fd_, original.st_mode & 07777) != 0) {
        return Failure("cannot set the permissions of the new " + shown_, errno);
    }
    if (Result<void> s = posix::KeepFlags(originalFd_, fd_, shown_); !s) {
        return s;
    }
    if (::fsync(fd_) != 0) {
        return Failure("cannot flush a temporary file beside " + shown_, errno);
    }
    if (tempName_.empty()) {
        if (Result<void> s = NameUnnamed(); !s) {
            return s;
        }
    }
    if (Result<void> s = CheckTargetUnchanged(); !s) {
        return s;
    }
    if (::renameat(directoryFd_, tempName_.c_str(), directoryFd_, name_.c_str()) != 0) {
        return Failure("cannot rename a temporary file over " + shown_, errno);
    }
    posix::ForgetTemporary(directoryFd_, tempName_);
    tempName_.clear();
    ::close(std::exchange(fd_, -1));
    // Makes the rename itself durable; the file is already replaced, so a
    // failure here changes nothing for the caller.
    (void)::fsync(directoryFd_);
    return {};
}

// Puts the new file under its name unless one appeared there meanwhile:
// that file is another program's, and is left alone.
Result<void> FileReplacement::PlaceNew() {
    if (newMode_ >= 0 && ::fchmod(fd_, static_cast<mode_t>(newMode_)) != 0) {
        return Failure("cannot set the permissions of the new " + shown_, errno);
    }
    if (::fsync(fd_) != 0) {
        return Failure("cannot flush a temporary file beside " + shown_, errno);
    }
    if (tempName_.empty()) {
        if (Result<void> s = NameUnnamed(); !s) {
            return s;
        }
    }
    int placed =
        ::renameat2(directoryFd_, tempName_.c_str(), directoryFd_, name_.c_str(), RENAME_NOREPLACE);
    // A file system without the flag: a second name, which a file already
    // there refuses just the same, and the first one dropped.
    if (placed != 0 && (errno == EINVAL || errno == ENOSYS)) {
        placed = ::linkat(directoryFd_, tempName_.c_str(), directoryFd_, name_.c_str(), 0);
        if (placed == 0) {
            (void)::unlinkat(directoryFd_, tempName_.c_str(), 0);
        }
    }
    if (placed != 0) {
        return errno == EEXIST
                   ? MakeError(shown_ + " was created by another program during the run")
                   : Failure("cannot rename a temporary file to " + shown_, errno);
    }
    posix::ForgetTemporary(directoryFd_, tempName_);
    tempName_.clear();
    ::close(std::exchange(fd_, -1));
    (void)::fsync(directoryFd_);
    return {};
}

} // namespace korva
