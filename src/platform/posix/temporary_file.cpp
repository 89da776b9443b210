// The temporary file a replacement writes: the short name it is made
// under, and its removal when the run is interrupted before it is in place.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "platform/posix/files.h"

namespace korva {
namespace posix {
namespace {

// Kept where a signal handler can read it without allocating or locking:
// a fixed array, written only while the signals are blocked.
struct PendingTemporary {
    int directoryFd = -1;
    char name[256] = {};
};
std::array<PendingTemporary, 4> pending;

extern "C" void OnInterrupt(int /*signal*/) {
    RemoveTemporaries();
    ::_exit(2);
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
                HandleSignal(s, OnInterrupt);
            }
        }
        return true;
    }();
    (void)installed;
}

} // namespace

void RemoveTemporaries() {
    for (PendingTemporary& p : pending) {
        if (p.directoryFd >= 0) {
            (void)::unlinkat(p.directoryFd, p.name, 0);
        }
    }
}

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

} // namespace posix

namespace {

// A short name, so that a target of any name can be replaced: one derived
// from the target's own would pass NAME_MAX for a long one.
std::string TemporaryName(unsigned attempt) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return ".korva-" + std::to_string(::getpid()) + "-" +
           std::to_string((static_cast<unsigned long long>(now) + attempt) % 1000000007ULL);
}

} // namespace

// Makes the temporary file under a short name that is free, with `make`
// (which gives 0 or more, or -1 and errno); remembers the name for the
// interruption handlers before it exists, since an interruption between the
// two removes a name that is not there, which harms nothing. The result of
// `make`, or -1 with the error in `error`.
int FileReplacement::UnderFreeName(const std::function<int(const std::string&)>& make, int& error) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = TemporaryName(attempt);
        posix::RememberTemporary(directoryFd_, candidate);
        const int made = make(candidate);
        error = errno;
        if (made >= 0) {
            tempName_ = candidate;
            return made;
        }
        posix::ForgetTemporary(directoryFd_, candidate);
        if (error != EEXIST) {
            return -1;
        }
    }
    return -1;
}

Result<void> FileReplacement::CreateNamed() {
    int error = 0;
    fd_ = UnderFreeName(
        [&](const std::string& name) {
            // A replacement takes the old file's mode later; a new file
            // is made as any new file would be.
            return ::openat(directoryFd_, name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC,
                            newFile_ ? 0666 : 0600);
        },
        error);
    if (fd_ < 0) {
        return posix::Failure("cannot create a temporary file beside " + shown_, error);
    }
    return {};
}

} // namespace korva
