#include "platform/platform.h"

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

void MappedFile::ReleasePages(std::span<const std::uint8_t> range) const {
    const auto begin = reinterpret_cast<std::uintptr_t>(range.data());
    const auto end = begin + range.size();
    const auto mine = reinterpret_cast<std::uintptr_t>(data_);
    if (data_ == nullptr || begin < mine || end > mine + size_ || begin >= end) {
        return;
    }
    static const std::uintptr_t page = PageSize();
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t last = end / page * page;
    if (first < last) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): page arithmetic needs the address as a number
        DropPages(reinterpret_cast<void*>(first), last - first);
    }
}

TargetLock::TargetLock(TargetLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : shown_(std::move(other.shown_)), directoryFd_(std::exchange(other.directoryFd_, -1)),
      name_(std::move(other.name_)), originalFd_(std::exchange(other.originalFd_, -1)),
      fd_(std::exchange(other.fd_, -1)), tempName_(std::exchange(other.tempName_, {})),
      written_(other.written_), flushed_(other.flushed_), copyRefused_(other.copyRefused_),
      newFile_(other.newFile_), newMode_(other.newMode_) {}

Result<void> FileReplacement::Commit() {
    Result<void> done = PutInPlace();
    if (!done) {
        Abandon(); // the destructor would, but the caller may keep this a while
    }
    return done;
}

namespace {

Result<void> WriteThrough(Result<FileReplacement> replacement,
                          std::span<const std::uint8_t> bytes) {
    if (!replacement) {
        return replacement.error();
    }
    if (Result<void> appended = replacement->Append(bytes); !appended) {
        return appended;
    }
    return replacement->Commit();
}

} // namespace

Result<void> ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    return WriteThrough(FileReplacement::Begin(path), bytes);
}

Result<void> CreateFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    return WriteThrough(FileReplacement::BeginNew(path), bytes);
}

} // namespace korva
