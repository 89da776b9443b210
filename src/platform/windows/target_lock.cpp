// The run's hold on its target on Windows.
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/platform.h"
#include "platform/windows/files.h"

namespace korva {
namespace win {
namespace {

std::unique_ptr<LockedFile> currentLock;

// The file at `path` as it is now; nothing for a file that cannot be opened
// as a regular file. Opened only to look: no handle on the target may stay
// open, as one would keep it from being replaced.
Result<FileState> LookAt(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(Handle file, OpenRegularFile(path, FILE_READ_ATTRIBUTES));
    return StateOf(file.get(), path);
}

std::wstring Hex(std::uint64_t value, int digits) {
    std::wstring out(static_cast<std::size_t>(digits), L'0');
    for (auto it = out.rbegin(); it != out.rend(); ++it, value >>= 4) {
        *it = L"0123456789abcdef"[value & 15];
    }
    return out;
}

// One lock per file, whatever path names it: its volume and file index.
// Global, so that runs in other sessions on this machine take turns too;
// where that namespace is closed to the user, the session's own.
Handle MutexFor(const FileState& file) {
    const std::wstring name = L"korva-target-" + Hex(file.volume, 8) + L"-" + Hex(file.index, 16);
    Handle mutex(CreateMutexW(nullptr, FALSE, (L"Global\\" + name).c_str()));
    if (!mutex.valid()) {
        mutex = Handle(CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str()));
    }
    return mutex;
}

} // namespace

const LockedFile* CurrentLock() {
    return currentLock.get();
}

} // namespace win

// A lock on the file itself, by a handle, cannot serve: Windows does not
// replace a file while any handle to it is open, so a second run waiting on
// the lock would keep the first from finishing. The runs take turns on a
// named mutex for the file instead, and hold no handle on it.
TargetLock TargetLock::Acquire(const std::string& path) {
    TargetLock lock;
    // The file found at the path may be replaced by a run that held the
    // lock before: then the lock is taken again for the file that is there
    // now, so that every run locks the file it reads.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Result<win::FileState> before = win::LookAt(path);
        if (!before) {
            return lock;
        }
        win::Handle mutex = win::MutexFor(*before);
        if (!mutex.valid()) {
            return lock; // no lock to be had: the run goes on unguarded
        }
        const DWORD waited = WaitForSingleObject(mutex.get(), INFINITE);
        // An abandoned mutex was held by a run that ended without letting
        // go of it; the file is as that run left it.
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            return lock;
        }
        const Result<win::FileState> now = win::LookAt(path);
        if (!now || now->volume != before->volume || now->index != before->index) {
            ReleaseMutex(mutex.get());
            continue;
        }
        win::currentLock = std::make_unique<win::LockedFile>(win::LockedFile{path, *now});
        lock.fd_ = win::HandleValue(mutex.release());
        return lock;
    }
    return lock;
}

TargetLock::~TargetLock() {
    if (fd_ < 0) {
        return;
    }
    win::currentLock.reset();
    ReleaseMutex(win::FromValue(fd_));
    CloseHandle(win::FromValue(fd_));
}

} // namespace korva
