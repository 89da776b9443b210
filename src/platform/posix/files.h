#pragma once

// What the POSIX side of the platform seam shares between its files.

#include <sys/stat.h>

#include <csignal>
#include <string>

#include "common/result.h"

namespace korva::posix {

// What went wrong and the system's word for why.
Error Failure(const std::string& what, int error);

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept;
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor();

    int get() const { return fd_; }
    int release();
    // Closes now, so that a failing close (a late write error on some file
    // systems) is seen.
    int Close();

private:
    int fd_;
};

// Temporary files that an interruption (SIGINT, SIGTERM, SIGHUP) or a fault
// from a file another program cut short removes before the process ends
// with exit code 2. A handful at most exist at once.
void RememberTemporary(int directoryFd, const std::string& name);
void ForgetTemporary(int directoryFd, const std::string& name);
// Removes them; called by the signal handlers, and safe there.
void RemoveTemporaries();

// Has `handler` called on `signal`.
void HandleSignal(int signal, void (*handler)(int));

// Blocks the signals whose handlers read the seam's tables (the temporary
// files, the fault's message) while they change.
class SignalsBlocked {
public:
    SignalsBlocked();
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;
    ~SignalsBlocked();

private:
    sigset_t previous_{};
};

// The file a TargetLock holds: its path as given and what it was when the
// lock was taken. Null while no lock is held.
struct LockedFile {
    std::string path;
    struct stat taken {};
};
const LockedFile* CurrentLock();

// Whether two looks at a file saw the same file with the same content, as
// far as the file system tells: the same inode, size and times.
bool SameFileUnchanged(const struct stat& a, const struct stat& b);

// What a new file takes from the old one it replaces (`from`, whose status
// is `original`) before it is put in place; each fails, naming `shown`,
// rather than widen or narrow who may use the file.
Result<void> KeepOwner(int fd, const struct stat& original, const std::string& shown);
Result<void> KeepAttributes(int from, int to, const std::string& shown);
Result<void> KeepFlags(int from, int to, const std::string& shown);

// The mode bits a new copy of the file at `model` takes: its read, write
// and execute bits, and write for the owner, so that the next copy can
// replace it; no set-id bits, which would speak for the model's owner.
Result<int> PermissionsOfCopy(const std::string& model);

} // namespace korva::posix
