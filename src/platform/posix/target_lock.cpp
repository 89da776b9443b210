// The run's hold on its target, and the handlers that end a run cleanly
// when it is interrupted or its mapped target is cut short under it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
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
// fixed arrays, written only while the signals are blocked.
struct PendingTemporary {
    int directoryFd = -1;
    char name[256] = {};
};
std::array<PendingTemporary, 4> pending;
char faultMessage[1024] = {};
std::size_t faultMessageLength = 0;

std::unique_ptr<LockedFile> currentLock;

void RemovePending() {
    for (PendingTemporary& p : pending) {
        if (p.directoryFd >= 0) {
            (void)::unlinkat(p.directoryFd, p.name, 0);
        }
    }
}

extern "C" void OnInterrupt(int signal) {
    RemovePending();
    if (signal == SIGBUS && faultMessageLength > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, faultMessage, faultMessageLength);
        (void)written; // nothing is left to do about a console that takes nothing
    }
    ::_exit(2);
}

// Blocks the signals whose handler reads the tables while they change.
class SignalsBlocked {
public:
    SignalsBlocked() {
        sigset_t all;
        sigemptyset(&all);
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGBUS}) {
            sigaddset(&all, s);
        }
        ::pthread_sigmask(SIG_BLOCK, &all, &previous_);
    }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;
    ~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_{};
};

void Handle(int signal) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    (void)::sigaction(signal, &action, nullptr);
}

// An interruption that the user asked for ends the run at once; installed
// once a temporary file exists, and left in place, since it does nothing
// but end the process when none does.
void HandleInterruptions() {
    static const bool installed = [] {
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old {};
            // One that the caller ignores stays ignored, as a shell's
            // background job expects.
            if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
                Handle(s);
            }
        }
        return true;
    }();
    (void)installed;
}

} // namespace

void RememberTemporary(int directoryFd, const std::string& name) {
    HandleInterruptions();
    const SignalsBlocked blocked;
    for (PendingTemporary& p : pending) {
        if (p.directoryFd < 0 && name.size() < sizeof p.name) {
            std::memcpy(p.name, name.c_str(), name.size() + 1);
            p.directoryFd = directoryFd;
            return;
        }
    }
}

void ForgetTemporary(int directoryFd, const std::string& name) {
    const SignalsBlocked blocked;
    for (PendingTemporary& p : pending) {
        if (p.directoryFd == directoryFd && name == p.name) {
            p.directoryFd = -1;
        }
    }
}

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
        posix::Handle(SIGBUS);
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
