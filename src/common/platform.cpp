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

// Writes the content to a file without a name in `directory` and gives it a
// temporary name only once it is complete and on disk, so that a process
// killed on the way leaves nothing behind. Returns the temporary name in
// `tempName` on success.
FileStatus WriteUnnamedThenLink(const std::string& directory, const std::string& base,
                                std::span<const std::uint8_t> bytes, const struct stat& original,
                                std::string& tempName, bool& unsupported) {
    unsupported = false;
    Descriptor fd(::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        unsupported = errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL;
        return Failure("cannot create a temporary file in " + directory, errno);
    }
    if (FileStatus s = WriteAll(fd.get(), bytes, "a temporary file in " + directory); !s) {
        return s;
    }
    if (FileStatus s = CopyOwnerAndMode(fd.get(), original, "a temporary file"); !s) {
        return s;
    }
    if (::fsync(fd.get()) != 0) {
        return Failure("cannot flush a temporary file in " + directory, errno);
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = TemporaryName(directory, base, attempt);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            tempName = candidate;
            fd.Close();
            return {};
        }
        if (errno != EEXIST) {
            unsupported = errno == ENOENT || errno == EPERM;
            return Failure("cannot name a temporary file in " + directory, errno);
        }
    }
    return Failure("cannot name a temporary file in " + directory, EEXIST);
}

// The fallback where unnamed files are not supported: a named temporary file
// from the start, removed on any failure.
FileStatus WriteNamed(const std::string& directory, const std::string& base,
                      std::span<const std::uint8_t> bytes, const struct stat& original,
                      std::string& tempName) {
    std::string pattern = directory + "." + base + ".korva-XXXXXX";
    Descriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return Failure("cannot create a temporary file in " + directory, errno);
    }
    FileStatus status = WriteAll(fd.get(), bytes, pattern);
    if (status) {
        status = CopyOwnerAndMode(fd.get(), original, pattern);
    }
    if (status && ::fsync(fd.get()) != 0) {
        status = Failure("cannot flush " + pattern, errno);
    }
    if (status && fd.Close() != 0) {
        status = Failure("cannot close " + pattern, errno);
    }
    if (!status) {
        ::unlink(pattern.c_str());
        return status;
    }
    tempName = pattern;
    return {};
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
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return Failure("cannot resolve " + path, errno);
    }
    const std::string target = resolved;
    struct stat original {};
    if (::stat(target.c_str(), &original) != 0) {
        return Failure("cannot examine " + target, errno);
    }
    if (!S_ISREG(original.st_mode)) {
        return FileStatus{target + " is not a regular file"};
    }
    const std::string directory = DirectoryOf(target);
    const std::string base = target.substr(directory.size());

    IgnoreFileSizeSignal noSignal;
    std::string tempName;
    bool unsupported = false;
    FileStatus written =
        WriteUnnamedThenLink(directory, base, bytes, original, tempName, unsupported);
    if (!written && unsupported) {
        written = WriteNamed(directory, base, bytes, original, tempName);
    }
    if (!written) {
        return written;
    }
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempName.c_str());
        return Failure("cannot rename " + tempName + " over " + target, error);
    }
    // Makes the rename itself durable; the file is already replaced, so a
    // failure here changes nothing for the caller.
    Descriptor directoryFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
