#include "common/platform.h"

#include <utility>

// The parts of the platform seam that are the same on every system, over
// what each system's files implement.
namespace korva {

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      fd_(std::exchange(other.fd_, -1)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

MappedFile::~MappedFile() {
    Release();
}

TargetLock::TargetLock(TargetLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : shown_(std::move(other.shown_)), directoryFd_(std::exchange(other.directoryFd_, -1)),
      name_(std::move(other.name_)), originalFd_(std::exchange(other.originalFd_, -1)),
      fd_(std::exchange(other.fd_, -1)), tempName_(std::exchange(other.tempName_, {})),
      written_(other.written_), flushed_(other.flushed_), copyRefused_(other.copyRefused_) {}

Result<void> FileReplacement::Commit() {
    Result<void> done = PutInPlace();
    if (!done) {
        Abandon(); // the destructor would, but the caller may keep this a while
    }
    return done;
}

Result<void> ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    KORVA_ASSIGN_OR_RETURN(FileReplacement replacement, FileReplacement::Begin(path));
    if (Result<void> appended = replacement.Append(bytes); !appended) {
        return appended;
    }
    return replacement.Commit();
}

} // namespace korva
