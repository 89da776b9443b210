// The run's hold on its target, and the handler that ends a run cleanly
// when its mapped target is cut short under it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/files.h"

namespace korva {
namespace posix {
namespace {

// Kept where a signal handler can read it without allocating or locking:
// written only while the signals are blocked.
char faultMessage[1024] = {};
std::size_t faultMessageLength = 0;

std::unique_ptr<LockedFile> currentLock;

// A fault from reading the mapped target: another program cut it short.
extern "C" void OnFault(int /*signal*/) {
    RemoveTemporaries();
    if (faultMessageLength > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, faultMessage, faultMessageLength);
        (void)written; // nothing is left to do about a console that takes nothing
    }
    ::_exit(2);
}

} // namespace

const LockedFile* CurrentLock() {
    return currentLock.get();
}

bool SameFileUnchanged(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

} // namespace posix

TargetLock TargetLock::Acquire(const std::string& path) {
    TargetLock lock;
    // The file found at the path may be replaced by a run that held the
    // lock before: then the lock is taken again on the file that is there
    // now, so that every run locks the file it reads.
    for (int attempt = 0; attempt < 100; ++attempt) {
        posix::Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat locked {};
        if (fd.get() < 0 || ::fstat(fd.get(), &locked) != 0 || !S_ISREG(locked.st_mode)) {
            return lock;
        }
        int result = 0;
        while ((result = ::flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        struct stat now {};
        if (result != 0 || ::fstat(fd.get(), &locked) != 0) {
            return lock; // a file system without locks: the run goes on unguarded
        }
        if (::stat(path.c_str(), &now) != 0 || now.st_dev != locked.st_dev ||
            now.st_ino != locked.st_ino) {
            continue;
        }
        const posix::SignalsBlocked blocked;
        posix::currentLock = std::make_unique<posix::LockedFile>(posix::LockedFile{path, locked});
        const std::string message = path +
                                    " was cut short by another program while it was read; it "
                                    "was left as it is\r\n";
        posix::faultMessageLength = std::min(message.size(), sizeof posix::faultMessage);
        std::memcpy(posix::faultMessage, message.data(), posix::faultMessageLength);
        posix::HandleSignal(SIGBUS, posix::OnFault);
        lock.fd_ = fd.release();
        return lock;
    }
    return lock;
}

TargetLock::~TargetLock() {
    if (fd_ < 0) {
        return;
    }
    {
        const posix::SignalsBlocked blocked;
        posix::currentLock.reset();
        posix::faultMessageLength = 0;
        (void)::signal(SIGBUS, SIG_DFL);
    }
    ::close(fd_); // releases the lock
}

} // namespace korva
