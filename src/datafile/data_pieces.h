#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>

#include "datafile/line_reader.h"

namespace korva {

// A run of whole lines of the data file that starts where an entry does (or
// at the file's start), so that it can be parsed on its own: a line "(" is
// never inside an entry of a valid file.
struct DataPiece {
    std::shared_ptr<const char[]> holder; // keeps `bytes` alive
    std::string_view bytes;
};

// Reads the data file block by block and cuts it into pieces of at least
// `pieceSize` bytes, each ended just before a line that holds only "(", the
// last at the end of the input. Reading stops at Ctrl-Z, as the line reader
// does, so the pieces hold exactly the lines a line reader gives.
class PieceCutter {
public:
    enum class Status { Piece, End, ReadFailed };

    PieceCutter(const ReadBlock& read, std::size_t blockSize, std::size_t pieceSize,
                bool lfEndsLine);

    // The next piece. After a failed read, the whole lines read before it
    // come as a last piece, then ReadFailed.
    Status Next(DataPiece& piece);

    // From now on pieces may be let go by another thread, so a buffer is
    // never used again: whether one is still viewed cannot be known safely.
    void ShareWithAnotherThread() { shared_ = true; }

    // No piece follows the one Next gave last.
    bool AtEnd() const { return (atEnd_ || failed_) && start_ == end_; }

private:
    char At(std::size_t pos) const { return buffer_.get()[pos]; }
    std::size_t FindCut();
    bool IsLineStart(std::size_t pos) const;
    void ReadMore();
    DataPiece Take(std::size_t cut);

    const ReadBlock& read_;
    std::size_t blockSize_;
    std::size_t pieceSize_;
    bool lfEndsLine_;
    // The input not yet given out is [start_, end_) of buffer_.
    std::shared_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    std::size_t searched_ = 0; // no cut lies before this
    bool atEnd_ = false;
    bool failed_ = false;
    bool shared_ = false;
};

// Pieces waiting for a second thread. A piece is about a millisecond of
// parsing against the lock's fraction of a microsecond, so a plain lock
// will do.
template <typename Item> class PieceQueue {
public:
    void Push(Item* item) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            items_.push_back(item);
        }
        ready_.notify_one();
    }
    std::size_t Pending() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return items_.size();
    }
    // The next item, waiting for one; null once closed and empty.
    Item* Take() {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || !items_.empty(); });
        return PopLocked();
    }
    // The next item, or null when none waits.
    Item* TryTake() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return PopLocked();
    }
    void Close() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }

private:
    Item* PopLocked() {
        if (items_.empty()) {
            return nullptr;
        }
        Item* item = items_.front();
        items_.pop_front();
        return item;
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Item*> items_;
    bool closed_ = false;
};

} // namespace korva
