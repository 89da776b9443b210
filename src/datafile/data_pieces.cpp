#include "datafile/data_pieces.h"

#include <algorithm>
#include <cstring>

namespace korva {
namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kCtrlZ = '\x1A';

} // namespace

PieceCutter::PieceCutter(const ReadBlock& read, std::size_t blockSize, std::size_t pieceSize,
                         bool lfEndsLine)
    : read_(read), blockSize_(std::max<std::size_t>(blockSize, 1)),
      pieceSize_(std::max<std::size_t>(pieceSize, 1)), lfEndsLine_(lfEndsLine) {}

// Whether a line starts at `pos` (> start_): after a CR, after the LF of a
// CR LF, and under lfEndsLine after any LF. A LF elsewhere is an ordinary
// character in a 1252 file.
bool PieceCutter::IsLineStart(std::size_t pos) const {
    const char before = At(pos - 1);
    if (before == kCR) {
        return true;
    }
    return before == kLF && (lfEndsLine_ || (pos - 1 > start_ && At(pos - 2) == kCR));
}

// The first place at least pieceSize_ into the input not yet given out
// where a line "(" starts, or 0. Only the exact form is taken: any other
// layout merely makes fewer places to cut.
std::size_t PieceCutter::FindCut() {
    std::size_t pos = std::max({searched_, start_ + pieceSize_, start_ + 1});
    while (pos + 1 < end_) {
        const void* found = std::memchr(buffer_.get() + pos, '(', end_ - 1 - pos);
        if (found == nullptr) {
            break;
        }
        pos = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.get());
        const char after = At(pos + 1);
        if ((after == kCR || (lfEndsLine_ && after == kLF)) && IsLineStart(pos)) {
            return pos;
        }
        ++pos;
    }
    // A "(" in the last byte is looked at again once its next byte is read.
    searched_ = std::max(searched_, end_ > 0 ? end_ - 1 : 0);
    return 0;
}

DataPiece PieceCutter::Take(std::size_t cut) {
    DataPiece piece{buffer_, {buffer_.get() + start_, cut - start_}};
    start_ = cut;
    return piece;
}

// Reads one block more, or learns that the input ended or failed.
void PieceCutter::ReadMore() {
    if (end_ == capacity_) {
        // What is not given out moves to a new buffer; pieces given out
        // keep the old one. Doubling keeps a long piece's moves linear.
        const std::size_t kept = end_ - start_;
        const std::size_t capacity = kept + std::max(blockSize_, kept);
        if (!shared_ && buffer_.use_count() == 1 && kept <= capacity_ / 2) {
            // No piece views the buffer any more: it is used again, where
            // a new one would have the system find and clear new pages. A
            // read then asks for what room there is, half a block at least.
            std::memmove(buffer_.get(), buffer_.get() + start_, kept);
        } else {
            auto buffer = std::make_shared_for_overwrite<char[]>(capacity);
            if (kept > 0) {
                std::memcpy(buffer.get(), buffer_.get() + start_, kept);
            }
            buffer_ = std::move(buffer);
            capacity_ = capacity;
        }
        searched_ = searched_ > start_ ? searched_ - start_ : 0;
        start_ = 0;
        end_ = kept;
    }
    const std::size_t asked = std::min(blockSize_, capacity_ - end_);
    const long long n = read_(buffer_.get() + end_, asked);
    if (n < 0 || static_cast<unsigned long long>(n) > asked) {
        failed_ = true;
        return;
    }
    if (n == 0) {
        atEnd_ = true;
        return;
    }
    const auto got = static_cast<std::size_t>(n);
    if (const void* stop = std::memchr(buffer_.get() + end_, kCtrlZ, got); stop != nullptr) {
        end_ = static_cast<std::size_t>(static_cast<const char*>(stop) - buffer_.get());
        atEnd_ = true;
        return;
    }
    end_ += got;
}

PieceCutter::Status PieceCutter::Next(DataPiece& piece) {
    for (;;) {
        if (end_ - start_ > pieceSize_) {
            if (const std::size_t cut = FindCut(); cut != 0) {
                piece = Take(cut);
                return Status::Piece;
            }
        }
        if (atEnd_ || failed_) {
            break;
        }
        ReadMore();
    }
    if (failed_) {
        // A line the failure cut short is no line; those before it are.
        std::size_t stop = end_;
        while (stop > start_ && At(stop - 1) != kCR && !(lfEndsLine_ && At(stop - 1) == kLF)) {
            --stop;
        }
        end_ = stop;
    }
    if (start_ < end_) {
        piece = Take(end_);
        return Status::Piece;
    }
    return failed_ ? Status::ReadFailed : Status::End;
}

} // namespace korva
