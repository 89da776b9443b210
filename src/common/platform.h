#pragma once

#include <cstdint>
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

} // namespace korva
