#include "common/platform.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace korva {

std::string OwnExecutablePath() {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

FileStatus Failure(const std::string& what, int error) {
    return FileStatus{what + ": " + std::strerror(error)};
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now, so that a failing close (a late write error on some file
    // systems) is seen.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

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

FileStatus WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::string& name) {
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    while (!bytes.empty()) {
        const std::size_t want = bytes.size() < kChunk ? bytes.size() : kChunk;
        const ssize_t written = ::write(fd, bytes.data(), want);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure("cannot write " + name, errno);
        }
        if (written == 0) {
            return Failure("cannot write " + name, EIO);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

// Gives the new file what the old one had: owner first, since changing it
// may clear set-id bits, then the permission bits. A user may not hand a
// file to someone else; the group alone may still be allowed.
FileStatus CopyOwnerAndMode(int fd, const struct stat& original, const std::string& name) {
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
        (void)::fchown(fd, static_cast<uid_t>(-1), original.st_gid);
    }
    if (::fchmod(fd, original.st_mode & 07777) != 0) {
        return Failure("cannot set the permissions of " + name, errno);
    }
    return {};
}

std::string TemporaryName(const std::string& directory, const std::string& base, unsigned attempt) {
    return directory + "." + base + ".korva-" + std::to_string(::getpid()) + "-" +
           std::to_string(attempt);
}

// Copies what `from` holds to `to`, for the rare file system that can create
// an unnamed file but not give it a name afterwards.
FileStatus CopyContent(int from, int to, const std::string& name) {
    std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), at);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure("cannot read back a temporary file", errno);
        }
        if (got == 0) {
            return {};
        }
        if (FileStatus s = WriteAll(to, {buffer.data(), static_cast<std::size_t>(got)}, name); !s) {
            return s;
        }
        at += got;
    }
}

} // namespace

FileStatus ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        return Failure("cannot open " + path, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return Failure("cannot examine " + path, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return FileStatus{path + " is not a regular file"};
    }
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure("cannot read " + path, errno);
        }
        if (got == 0) {
            return {};
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
}

FileStatus CheckWritable(const std::string& path) {
    // O_NONBLOCK: a FIFO without a reader fails at once instead of blocking.
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        return Failure("cannot open " + path + " for writing", errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return FileStatus{path + " is not a regular file"};
    }
    return {};
}

FileStatus ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    FileStatus status;
    std::optional<FileReplacement> replacement = FileReplacement::Begin(path, status);
    if (!replacement) {
        return status;
    }
    if (status = replacement->Append(bytes); !status) {
        return status;
    }
    return replacement->Commit();
}

std::optional<FileReplacement> FileReplacement::Begin(const std::string& path, FileStatus& status) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        status = Failure("cannot resolve " + path, errno);
        return std::nullopt;
    }
    FileReplacement out;
    out.target_ = resolved;
    struct stat original {};
    if (::stat(out.target_.c_str(), &original) != 0) {
        status = Failure("cannot examine " + out.target_, errno);
        return std::nullopt;
    }
    if (!S_ISREG(original.st_mode)) {
        status = FileStatus{out.target_ + " is not a regular file"};
        return std::nullopt;
    }
    out.mode_ = original.st_mode & 07777;
    out.owner_ = original.st_uid;
    out.group_ = original.st_gid;
    out.directory_ = DirectoryOf(out.target_);

    // Unnamed until complete, so that a process killed on the way leaves
    // nothing behind; a named file where unnamed ones are not supported.
    out.fd_ = ::open(out.directory_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (out.fd_ < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            status = Failure("cannot create a temporary file in " + out.directory_, errno);
            return std::nullopt;
        }
        std::string pattern =
            out.directory_ + "." + out.target_.substr(out.directory_.size()) + ".korva-XXXXXX";
        out.fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (out.fd_ < 0) {
            status = Failure("cannot create a temporary file in " + out.directory_, errno);
            return std::nullopt;
        }
        out.tempName_ = pattern;
    }
    status = {};
    return out;
}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : target_(std::move(other.target_)), directory_(std::move(other.directory_)),
      tempName_(std::move(other.tempName_)), fd_(std::exchange(other.fd_, -1)),
      written_(other.written_), flushed_(other.flushed_), mode_(other.mode_), owner_(other.owner_), group_(other.group_) {
    other.tempName_.clear();
}

FileReplacement::~FileReplacement() {
    Abandon();
}

void FileReplacement::Abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.empty()) {
        ::unlink(tempName_.c_str());
        tempName_.clear();
    }
}

FileStatus FileReplacement::Append(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) {
        return FileStatus{"the replacement of " + target_ + " is closed"};
    }
    IgnoreFileSizeSignal noSignal;
    if (FileStatus s = WriteAll(fd_, bytes, "a temporary file in " + directory_); !s) {
        return s;
    }
    written_ += bytes.size();
    // Starts writing back what is complete while the rest is produced, so
    // that the flush at Commit waits for little more than the last part.
    // Only a hint: where it is not supported, Commit's flush does it all.
    constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
    if (written_ - flushed_ >= kWriteBackStep) {
        (void)::sync_file_range(fd_, static_cast<off_t>(flushed_),
                                static_cast<off_t>(written_ - flushed_), SYNC_FILE_RANGE_WRITE);
        flushed_ = written_;
    }
    return {};
}

std::optional<MappedFile> FileReplacement::MapWritten(std::string& error) const {
    if (fd_ < 0) {
        error = "the replacement is closed";
        return std::nullopt;
    }
    return MappedFile::FromDescriptor(fd_, error);
}

FileStatus FileReplacement::Commit() {
    if (fd_ < 0) {
        return FileStatus{"the replacement of " + target_ + " is closed"};
    }
    struct stat original {};
    original.st_mode = mode_;
    original.st_uid = owner_;
    original.st_gid = group_;
    if (FileStatus s = CopyOwnerAndMode(fd_, original, "a temporary file"); !s) {
        Abandon();
        return s;
    }
    const std::string base = target_.substr(directory_.size());
    if (tempName_.empty()) {
        if (::fsync(fd_) != 0) {
            const FileStatus s = Failure("cannot flush a temporary file in " + directory_, errno);
            Abandon();
            return s;
        }
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        int error = EEXIST;
        for (unsigned attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
            const std::string candidate = TemporaryName(directory_, base, attempt);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(),
                         AT_SYMLINK_FOLLOW) == 0) {
                tempName_ = candidate;
                error = 0;
            } else {
                error = errno;
            }
        }
        if (error == ENOENT || error == EPERM) {
            // No way to name an unnamed file here: a named copy instead.
            std::string pattern = directory_ + "." + base + ".korva-XXXXXX";
            Descriptor named(::mkostemp(pattern.data(), O_CLOEXEC));
            if (named.get() < 0) {
                const FileStatus s =
                    Failure("cannot create a temporary file in " + directory_, errno);
                Abandon();
                return s;
            }
            tempName_ = pattern;
            FileStatus s = CopyContent(fd_, named.get(), pattern);
            if (s) {
                s = CopyOwnerAndMode(named.get(), original, pattern);
            }
            if (s && ::fsync(named.get()) != 0) {
                s = Failure("cannot flush " + pattern, errno);
            }
            if (s && named.Close() != 0) {
                s = Failure("cannot close " + pattern, errno);
            }
            if (!s) {
                Abandon();
                return s;
            }
        } else if (error != 0) {
            const FileStatus s = Failure("cannot name a temporary file in " + directory_, error);
            Abandon();
            return s;
        }
    } else if (::fsync(fd_) != 0) {
        const FileStatus s = Failure("cannot flush " + tempName_, errno);
        Abandon();
        return s;
    }
    if (::close(std::exchange(fd_, -1)) != 0) {
        const FileStatus s = Failure("cannot close " + tempName_, errno);
        Abandon();
        return s;
    }
    if (::rename(tempName_.c_str(), target_.c_str()) != 0) {
        const FileStatus s = Failure("cannot rename " + tempName_ + " over " + target_, errno);
        Abandon();
        return s;
    }
    tempName_.clear();
    // Makes the rename itself durable; the file is already replaced, so a
    // failure here changes nothing for the caller.
    Descriptor directoryFd(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directoryFd.get() >= 0) {
        (void)::fsync(directoryFd.get());
    }
    return {};
}

std::optional<MappedFile> MappedFile::Open(const std::string& path, std::string& error) {
    // O_NONBLOCK keeps open() from waiting for a writer on a FIFO; it has no
    // effect on the regular files that get past the check below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        ::close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size == 0) {
        ::close(fd); // mmap refuses a length of 0
        return MappedFile(nullptr, 0);
    }
    void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    const int mapErrno = errno;
    ::close(fd); // the mapping keeps the file open
    if (address == MAP_FAILED) {
        error = std::strerror(mapErrno);
        return std::nullopt;
    }
    return MappedFile(static_cast<const std::uint8_t*>(address), size);
}

std::optional<MappedFile> MappedFile::FromDescriptor(int fd, std::string& error) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size == 0) {
        return MappedFile(nullptr, 0);
    }
    void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (address == MAP_FAILED) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    return MappedFile(static_cast<const std::uint8_t*>(address), size);
}

void MappedFile::ReleasePages(std::span<const std::uint8_t> range) const {
    const auto begin = reinterpret_cast<std::uintptr_t>(range.data());
    const auto end = begin + range.size();
    const auto mine = reinterpret_cast<std::uintptr_t>(data_);
    if (data_ == nullptr || begin < mine || end > mine + size_ || begin >= end) {
        return;
    }
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t last = end / page * page;
    if (first < last) {
        // Only advice: the mapping is private and read-only, so the pages
        // come back from the file unchanged when they are read again.
        (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
    }
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

MappedFile::~MappedFile() {
    Release();
}

void MappedFile::Release() {
    if (data_ != nullptr) {
        ::munmap(const_cast<std::uint8_t*>(data_), size_);
        data_ = nullptr;
        size_ = 0;
    }
}


TReadOnlyFile::~TReadOnlyFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool TReadOnlyFile::Open(const std::string& path) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd_ >= 0;
}

long long TReadOnlyFile::Read(char* buffer, std::size_t size) {
    if (fd_ < 0) {
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

} // namespace korva
