// Reading files on POSIX.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/files.h"

namespace korva {
namespace posix {
namespace {

// Opens a file for reading without waiting: O_NONBLOCK keeps open() from
// waiting for a writer on a FIFO, and anything but a regular file is
// refused before it is read.
Result<Descriptor> OpenRegularFile(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        Error error = Failure("cannot open " + path, errno);
        // A regular file that cannot be opened (no read permission) is
        // there; anything stat cannot find, or finds to be no file, is not.
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            error.kind = ErrorKind::NoSuchFile;
        }
        return error;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return Failure("cannot examine " + path, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return MakeError(path + " is not a regular file", ErrorKind::NoSuchFile);
    }
    return fd;
}

} // namespace
} // namespace posix

using posix::Descriptor;
using posix::Failure;

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return {argv + std::min(argc, 1), argv + argc};
}

void UseBinaryConsole() {} // POSIX streams pass bytes unchanged

std::filesystem::path FileSystemPath(const std::string& path) {
    return {path};
}

std::string PathString(const std::filesystem::path& path) {
    return path.string();
}

std::string OwnExecutablePath() {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FullPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.string();
}

bool NothingAt(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void IgnoreClosedOutput() {
    (void)::signal(SIGPIPE, SIG_IGN);
}

Result<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(Descriptor fd, posix::OpenRegularFile(path));
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Failure("cannot read " + path, errno);
        }
        if (got == 0) {
            return bytes;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
}

Result<void> CheckWritable(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        return Failure("cannot open " + path + " for writing", errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return MakeError(path + " is not a regular file");
    }
    return {};
}

Result<MappedFile> MappedFile::Open(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(Descriptor fd, posix::OpenRegularFile(path));
    Result<MappedFile> mapped = FromDescriptor(fd.get(), path);
    if (mapped) {
        // Kept for copies inside the kernel, which need the file itself.
        mapped->fd_ = fd.release();
    }
    return mapped;
}

Result<MappedFile> MappedFile::FromDescriptor(int fd, const std::string& name) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return Failure("cannot examine " + name, errno);
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size == 0) {
        return MappedFile(nullptr, 0); // mmap refuses a length of 0
    }
    void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (address == MAP_FAILED) {
        return Failure("cannot map " + name, errno);
    }
    return MappedFile(static_cast<const std::uint8_t*>(address), size);
}

std::uintptr_t MappedFile::PageSize() {
    return static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
}

void MappedFile::DropPages(void* first, std::size_t size) {
    // Only advice: the mapping is private and read-only, so the pages come
    // back from the file unchanged when they are read again.
    (void)::madvise(first, size, MADV_DONTNEED);
}

void MappedFile::Release() {
    if (data_ != nullptr) {
        ::munmap(const_cast<std::uint8_t*>(data_), size_);
        data_ = nullptr;
        size_ = 0;
    }
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
    }
}

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

Result<void> ReadOnlyFile::Open(const std::string& path) {
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
    }
    KORVA_ASSIGN_OR_RETURN(Descriptor fd, posix::OpenRegularFile(path));
    fd_ = fd.release();
    return {};
}

// NOLINTNEXTLINE(readability-make-member-function-const): reading moves the file's position
long long ReadOnlyFile::Read(char* buffer, std::size_t size) {
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
