#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace korva {

// Reads up to `size` bytes into `buffer`: the count read, 0 at the end of
// the input, a negative number on a read failure.
using ReadBlock = std::function<long long(char* buffer, std::size_t size)>;

// Serves bytes already in memory, which must outlive the reads.
ReadBlock ReadFromMemory(std::string_view bytes);

// Splits the data file into lines as it reads it block by block. A line ends
// at CR, and a LF right after that CR belongs to the line end; a LF anywhere
// else is an ordinary character. Ctrl-Z ends the input, the characters before
// it on its line still making a line. A last line needs no line end, but
// nothing after the last line end is no line at all. With `lfEndsLine`, a
// LF that follows no CR ends a line as well (files from Unix editors).
class LineReader {
public:
    static constexpr std::size_t kDefaultBlockSize = 1 << 20;

    enum class Status { Line, End, ReadFailed };

    explicit LineReader(ReadBlock read, std::size_t blockSize = kDefaultBlockSize,
                        bool lfEndsLine = false);
    // The lines of bytes already in memory, which must outlive the reader.
    explicit LineReader(std::string_view whole, bool lfEndsLine = false);

    // The next line without its line end. The view holds until the next call.
    Status Next(std::string_view& line);

    // The number of the line Next gave last, counting from 1.
    std::uint64_t LineNumber() const { return lineNumber_; }

private:
    Status Finish(std::string_view piece, std::string_view& line);

    ReadBlock read_;
    std::unique_ptr<char[]> owned_;
    const char* buffer_ = nullptr;
    std::size_t blockSize_ = 0;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
    bool skipLF_ = false;
    char lineStop_ = '\r'; // a second character that ends a line: CR again, or LF
    // The start of a line that runs over the end of a block.
    std::string carry_;
    std::uint64_t lineNumber_ = 0;
};

} // namespace korva
