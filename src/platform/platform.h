#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"

namespace korva {

// Every call into the operating system lives behind this seam, so that a
// native Windows build replaces the files that implement it and nothing
// else. Failures come back as results whose message names the file and
// the reason ("cannot open x.dll: Permission denied").
//
// Paths are carried as the program received them: bytes on POSIX, UTF-8 on
// Windows (where the seam converts them to UTF-16 for the system, so that a
// path with characters outside any code page works).

// What the system knows an open file or lock by: a descriptor on POSIX, a
// handle's value on Windows; -1 for none on both.
#ifdef _WIN32
using NativeHandle = std::intptr_t;
#else
using NativeHandle = int;
#endif

// The program's arguments after its own name. On Windows they come from the
// wide command line, as UTF-8: the narrow `argv` holds them in the system's
// code page, which loses every character outside it.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Standard output and error take the program's bytes unchanged. Its lines
// carry their own ends (CR LF), which a text-mode stream would make CR CR LF.
void UseBinaryConsole();

// A path as the program carries it, for std::filesystem, and back.
std::filesystem::path FileSystemPath(const std::string& path);
std::string PathString(const std::filesystem::path& path);

// The full path of the running program's own executable file; empty when
// the system does not tell.
std::string OwnExecutablePath();

// The directory part of a path: everything up to and including the last '/'
// (on Windows also the last '\\', or a drive's colon).
std::string DirectoryOf(const std::string& path);

// The path as the system takes it from the working directory: absolute (on
// Windows also for "C:name", "\\server\share\name", "..\name"), links
// not resolved; the path itself when the system cannot tell.
std::string FullPath(const std::string& path);

// Whether the system finds nothing at all at the path: no file, directory or
// device, nor the directory it would be in. False when it finds something,
// and when it cannot look (a directory on the way that may not be searched).
bool NothingAt(const std::string& path);

// Whether both paths name one existing file, however each is spelt: through
// a symbolic link, by another name of a hard link, or with "..": the same
// inode of the same device on POSIX, the same file index of the same volume
// on Windows.
bool SameFile(const std::string& a, const std::string& b);

// A reader that stops reading the console (`korva ... | head -1`) must not
// end the run or change what it writes: writing to it just fails.
void IgnoreClosedOutput();

// The whole content of a regular file.
Result<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path);

// Succeeds when the file exists, is a regular file and could be opened for
// writing now. Nothing is changed.
Result<void> CheckWritable(const std::string& path);

// A regular file mapped read-only into memory for as long as the object
// lives. Its bytes stay at the same address when the object is moved.
// On Windows, Open reads the file into memory instead: Windows refuses to
// replace a file while a view of it is mapped, and the file a run opens is
// the one it replaces.
class MappedFile {
public:
    // Opens exactly the named file (no search path). A FIFO, device or
    // directory is refused rather than read, so that opening cannot block.
    static Result<MappedFile> Open(const std::string& path);

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
    static Result<MappedFile> FromDescriptor(NativeHandle fd, const std::string& name);
    void Release();
    // What ReleasePages needs of each system: its page size, and the call
    // that hands `size` bytes of whole pages from `first` back to it.
    static std::uintptr_t PageSize();
    static void DropPages(void* first, std::size_t size);

    const std::uint8_t* data_ = nullptr; // null for an empty file
    std::size_t size_ = 0;
    // POSIX: the file opened by Open, kept so that FileReplacement can copy
    // from it inside the kernel; -1 on Windows and for a view of a file
    // another object holds.
    NativeHandle fd_ = -1;
};

// A regular file opened for reading only, closed when this goes. Opening
// follows no search path, and refuses a FIFO or device instead of waiting
// on it.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile();

    Result<void> Open(const std::string& path);

    // Up to `size` bytes into `buffer`: the count read, 0 at the end of the
    // file, -1 on a read failure.
    long long Read(char* buffer, std::size_t size);

private:
    NativeHandle fd_ = -1;
};

// The run's hold on the file it rewrites, from before it is read until it
// is replaced: an exclusive lock, so that a second run on the same file
// waits and then sees the first one's result, and a record of what the file
// was, so that a file another program changed meanwhile is not replaced
// (FileReplacement::Commit refuses it). While it is held, a fault from
// reading the mapped file (another program cut it short) ends the run with
// exit code 2 and a line that says so, instead of a crash.
class TargetLock {
public:
    // Nothing is held for a file that cannot be opened as a regular file;
    // reading it fails and says so in its turn.
    static TargetLock Acquire(const std::string& path);

    TargetLock(TargetLock&& other) noexcept;
    TargetLock& operator=(TargetLock&&) = delete;
    TargetLock(const TargetLock&) = delete;
    TargetLock& operator=(const TargetLock&) = delete;
    ~TargetLock();

    bool Held() const { return fd_ >= 0; }

private:
    TargetLock() = default;
    NativeHandle fd_ = -1;
};

// Replaces a file so that a reader sees either the old file or the new one,
// never a mix: the new content goes to a temporary file in the directory of
// the real file (symbolic links followed; the link itself stays), is
// flushed to disk, takes the old file's owner, group, mode, ACLs, extended
// attributes and file flags, and is renamed over the old file. Whatever of
// these cannot be kept fails the replacement rather than widen or narrow
// who may use the file. On failure the old file is unchanged and the
// temporary file is gone, also when the process is interrupted (SIGINT,
// SIGTERM, SIGHUP) meanwhile.
//
// Begin creates the temporary file, Append adds to it, Commit puts it in
// place of the real one; a writer destroyed without a successful Commit
// removes its temporary file and leaves the real one alone.
class FileReplacement {
public:
    static Result<FileReplacement> Begin(const std::string& path);
    // The same for a file that does not exist yet: the new one appears whole
    // at Commit or not at all, with the permissions creating it directly
    // would give (the umask, a directory's inherited ACL), and Commit fails
    // rather than replace a file another program made meanwhile. With
    // `permissionsOf`, a file whose copy this is, the new file takes its read,
    // write and execute bits on POSIX (a program stays runnable), and its
    // owner may write it, so that a copy made again can replace it; the
    // set-id bits are not taken, as they would speak for another owner.
    // Windows has no such bits: there the new file has its directory's
    // rights either way.
    static Result<FileReplacement> BeginNew(const std::string& path,
                                            const std::string& permissionsOf = {});

    FileReplacement(FileReplacement&& other) noexcept;
    FileReplacement& operator=(FileReplacement&&) = delete;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    Result<void> Append(std::span<const std::uint8_t> bytes);
    // Appends `size` bytes of `source` from `offset`, the same as Append of
    // those bytes. On Linux they go from file to file in the kernel
    // (copy_file_range), never through this process's memory, and share
    // their extents where the file system can; where that is refused, as
    // between file systems, they are written from the mapping.
    Result<void> AppendCopy(const MappedFile& source, std::uint64_t offset, std::uint64_t size);
    // What was appended so far, mapped read-only, to check it before Commit.
    Result<MappedFile> MapWritten() const;
    Result<void> Commit();

private:
    FileReplacement() = default;
    Result<void> PutInPlace();
    // Counts `size` more bytes appended.
    void Appended(std::uint64_t size);
    // Creates the temporary file, under a short name that is free.
    Result<void> CreateNamed();
    // POSIX: how the temporary file gets its name.
    int UnderFreeName(const std::function<int(const std::string&)>& make, int& error);
    Result<void> NameUnnamed();
    Result<void> NameByCopy();
    Result<void> CheckTargetUnchanged() const;
    void Abandon();

    // On Windows no file of the target is held open (an open handle would
    // keep it from being replaced): name_ is the real file's full path and
    // tempName_ the temporary file's.
    std::string shown_;             // the target's name as given, for messages
    NativeHandle directoryFd_ = -1; // the real file's directory, symbolic links resolved
    std::string name_;              // the real file's name in it
    NativeHandle originalFd_ = -1;  // the real file, whose metadata the new one takes
    NativeHandle fd_ = -1;          // the temporary file
    std::string tempName_;          // its name in the directory; empty while it has none
    std::uint64_t written_ = 0;     // bytes appended so far
    std::uint64_t flushed_ = 0;     // bytes whose write-back has been started
    bool copyRefused_ = false;      // POSIX: copy_file_range refused once, so written since
    bool newFile_ = false;          // BeginNew: no file to replace, none to take metadata from
    int newMode_ = -1;              // POSIX: the permission bits BeginNew was given; -1: none
    Result<void> PlaceNew();
};

// Begin, Append and Commit at once.
Result<void> ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);
// BeginNew, Append and Commit at once.
Result<void> CreateFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

} // namespace korva
