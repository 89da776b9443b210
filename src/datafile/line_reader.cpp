#include "datafile/line_reader.h"

#include <cstring>
#include <utility>

namespace korva {
namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kCtrlZ = '\x1A';

} // namespace

TLineReader::TLineReader(TReadBlock read, std::size_t blockSize)
    : read_(std::move(read)), blockSize_(blockSize == 0 ? 1 : blockSize) {
    buffer_ = std::make_unique_for_overwrite<char[]>(blockSize_);
}

TLineReader::TResult TLineReader::Finish(std::string_view piece, std::string_view& line) {
    if (carry_.empty()) {
        line = piece;
    } else {
        carry_.append(piece);
        line = carry_;
    }
    ++lineNumber_;
    return TResult::Line;
}

TLineReader::TResult TLineReader::Next(std::string_view& line) {
    carry_.clear();
    for (;;) {
        if (pos_ == end_) {
            if (!atEnd_) {
                const long long n = read_(buffer_.get(), blockSize_);
                if (n < 0 || static_cast<unsigned long long>(n) > blockSize_) {
                    return TResult::ReadFailed;
                }
                pos_ = 0;
                end_ = static_cast<std::size_t>(n);
                atEnd_ = n == 0;
                continue;
            }
            if (carry_.empty()) {
                return TResult::End;
            }
            return Finish({}, line);
        }
        if (skipLF_) {
            skipLF_ = false;
            if (buffer_[pos_] == kLF) {
                ++pos_;
                continue;
            }
        }
        const char* begin = buffer_.get() + pos_;
        const std::size_t available = end_ - pos_;
        const auto* cr = static_cast<const char*>(std::memchr(begin, kCR, available));
        const std::size_t length = cr != nullptr ? static_cast<std::size_t>(cr - begin) : available;
        const auto* stop = static_cast<const char*>(std::memchr(begin, kCtrlZ, length));
        if (stop != nullptr) {
            atEnd_ = true;
            pos_ = end_;
            const std::string_view piece(begin, static_cast<std::size_t>(stop - begin));
            if (piece.empty() && carry_.empty()) {
                return TResult::End;
            }
            return Finish(piece, line);
        }
        if (cr != nullptr) {
            pos_ += length + 1;
            skipLF_ = true;
            return Finish({begin, length}, line);
        }
        carry_.append(begin, available);
        pos_ = end_;
    }
}

} // namespace korva
