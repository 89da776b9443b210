#pragma once

#include <cstddef>
#include <string>

namespace korva {

// Every call into the operating system lives behind this seam, so that a
// native Windows build replaces this module and nothing else.

// The full path of the running program's own executable file.
std::string OwnExecutablePath();

// The directory part of a path: everything up to and including the last '/'.
std::string DirectoryOf(const std::string& path);

} // namespace korva

namespace korva {

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
