#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korva {

// Every call into the operating system lives behind this seam, so that a
// native Windows build replaces this module and nothing else.

// The full path of the running program's own executable file.
std::string OwnExecutablePath();

// The directory part of a path: everything up to and including the last '/'.
std::string DirectoryOf(const std::string& path);

// --- Whole-file access for rewriting a file in place ---

// The outcome of a file operation: empty on success, otherwise what failed
// and why ("cannot rename ... over ...: Permission denied").
struct FileStatus {
    std::string error;
    explicit operator bool() const { return error.empty(); }
};

// Reads the whole file into `bytes`.
FileStatus ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes);

// Succeeds when the file exists and could be opened for writing now. Nothing
// is changed.
FileStatus CheckWritable(const std::string& path);

// Replaces the content of `path` by `bytes` so that a reader sees either the
// old file or the new one, never a mix: the new content goes to a temporary
// file in the directory of the real file (symbolic links followed; the link
// itself stays), is flushed to disk, takes the old file's permissions and
// owner where allowed, and is renamed over the old file. On failure the old
// file is unchanged and the temporary file is gone.
FileStatus ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

class MappedFile;

// The same replacement for content produced piece by piece, so that a large
// file never has to be held in memory whole. Begin creates the temporary
// file, Append adds to it, Commit puts it in place of the real one with the
// guarantees above; a writer destroyed without a successful Commit removes
// its temporary file and leaves the real one alone.
class FileReplacement {
public:
    static std::optional<FileReplacement> Begin(const std::string& path, FileStatus& status);

    FileReplacement(FileReplacement&& other) noexcept;
    FileReplacement& operator=(FileReplacement&&) = delete;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    FileStatus Append(std::span<const std::uint8_t> bytes);
    // What was appended so far, mapped read-only, to check it before Commit.
    std::optional<MappedFile> MapWritten(std::string& error) const;
    FileStatus Commit();

private:
    FileReplacement() = default;
    void Abandon();

    std::string target_;    // the real file, symbolic links resolved
    std::string directory_; // its directory, ending in '/'
    std::string tempName_;  // empty while the temporary file has no name
    int fd_ = -1;
    std::uint64_t written_ = 0; // bytes appended so far
    std::uint64_t flushed_ = 0; // bytes whose write-back has been started
    unsigned mode_ = 0;
    unsigned owner_ = 0;
    unsigned group_ = 0;
};

// A regular file mapped read-only into memory for as long as the object
// lives. Its bytes stay at the same address when the object is moved.
// Another process truncating the file while it is mapped would fault the
// reader; the target is not expected to change under a run.
class MappedFile {
public:
    // Opens exactly the named file (no search path). A FIFO, device or
    // directory is refused rather than read, so that opening cannot block.
    static std::optional<MappedFile> Open(const std::string& path, std::string& error);

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }

    // Hands the whole pages inside `range` back to the system; reading them
    // again maps them in again from the file. Keeps a pass over a large file
    // from holding all of it in memory at once. A range outside this file is
    // ignored.
    void ReleasePages(std::span<const std::uint8_t> range) const;

private:
    friend class FileReplacement;
    MappedFile(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    static std::optional<MappedFile> FromDescriptor(int fd, std::string& error);
    void Release();

    const std::uint8_t* data_ = nullptr; // null for an empty file
    std::size_t size_ = 0;
};


// A file opened for reading only, closed when this goes. Opening follows no
// search path: the name is used as given.
class TReadOnlyFile {
public:
    TReadOnlyFile() = default;
    TReadOnlyFile(const TReadOnlyFile&) = delete;
    TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;
    ~TReadOnlyFile();

    bool Open(const std::string& path);

    // Up to `size` bytes into `buffer`: the count read, 0 at the end of the
    // file, -1 on a read failure.
    long long Read(char* buffer, std::size_t size);

private:
    int fd_ = -1;
};

} // namespace korva
