#include "datafile/line_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korva {
namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kCtrlZ = '\x1A';

// The first CR, `other` or Ctrl-Z in [begin, begin + size), or null. Data
// file lines are short, so one pass for all, sixteen bytes a step, beats a
// library search for each.
const char* FindLineStop(const char* begin, std::size_t size, char other) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8(kCR);
    const __m128i second = _mm_set1_epi8(other);
    const __m128i ctrlZ = _mm_set1_epi8(kCtrlZ);
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + i));
        const int hits = _mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, second)),
                         _mm_cmpeq_epi8(v, ctrlZ)));
        if (hits != 0) {
            return begin + i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
        }
    }
#endif
    for (; i < size; ++i) {
        if (begin[i] == kCR || begin[i] == other || begin[i] == kCtrlZ) {
            return begin + i;
        }
    }
    return nullptr;
}

} // namespace

LineReader::LineReader(ReadBlock read, std::size_t blockSize, bool lfEndsLine)
    : read_(std::move(read)), blockSize_(blockSize == 0 ? 1 : blockSize),
      lineStop_(lfEndsLine ? kLF : kCR) {
    owned_ = std::make_unique_for_overwrite<char[]>(blockSize_);
    buffer_ = owned_.get();
}

LineReader::LineReader(std::string_view whole, bool lfEndsLine)
    : buffer_(whole.data()), blockSize_(whole.size()), end_(whole.size()), atEnd_(true),
      lineStop_(lfEndsLine ? kLF : kCR) {}

LineReader::Status LineReader::Finish(std::string_view piece, std::string_view& line) {
    if (carry_.empty()) {
        line = piece;
    } else {
        carry_.append(piece);
        line = carry_;
    }
    ++lineNumber_;
    return Status::Line;
}

LineReader::Status LineReader::Next(std::string_view& line) {
    carry_.clear();
    for (;;) {
        if (pos_ == end_) {
            if (!atEnd_) {
                const long long n = read_(owned_.get(), blockSize_);
                if (n < 0 || static_cast<unsigned long long>(n) > blockSize_) {
                    return Status::ReadFailed;
                }
                pos_ = 0;
                end_ = static_cast<std::size_t>(n);
                atEnd_ = n == 0;
                continue;
            }
            if (carry_.empty()) {
                return Status::End;
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
        const char* begin = buffer_ + pos_;
        const std::size_t available = end_ - pos_;
        const char* stop = FindLineStop(begin, available, lineStop_);
        if (stop != nullptr && *stop == kCtrlZ) {
            atEnd_ = true;
            pos_ = end_;
            const std::string_view piece(begin, static_cast<std::size_t>(stop - begin));
            if (piece.empty() && carry_.empty()) {
                return Status::End;
            }
            return Finish(piece, line);
        }
        if (stop != nullptr) {
            const auto length = static_cast<std::size_t>(stop - begin);
            pos_ += length + 1;
            skipLF_ = *stop == kCR;
            return Finish({begin, length}, line);
        }
        carry_.append(begin, available);
        pos_ = end_;
    }
}

ReadBlock ReadFromMemory(std::string_view bytes) {
    return [bytes, served = std::size_t{0}](char* buffer, std::size_t size) mutable -> long long {
        const std::size_t n = std::min(size, bytes.size() - served);
        bytes.copy(buffer, n, served);
        served += n;
        return static_cast<long long>(n);
    };
}

} // namespace korva
