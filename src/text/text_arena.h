#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace korva {

// Copies of texts kept in a few large chunks. A list of hundreds of
// thousands of texts would otherwise make one heap allocation per text.
// Kept copies never move, so views of them stay valid as long as the arena
// (or the arena it was moved into) lives.
class TextArena {
public:
    static constexpr std::size_t kFirstChunk = 256;
    static constexpr std::size_t kLargestChunk = std::size_t{256} * 1024;

    TextArena() = default;
    // Chunks of `firstChunk` bytes from the start (at most kLargestChunk), for
    // an arena that knows it will hold many texts.
    explicit TextArena(std::size_t firstChunk) : nextChunk_(std::min(firstChunk, kLargestChunk)) {}
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;
    TextArena(TextArena&& other) noexcept
        : chunks_(std::move(other.chunks_)), free_(std::exchange(other.free_, nullptr)),
          freeSize_(std::exchange(other.freeSize_, 0)),
          nextChunk_(std::exchange(other.nextChunk_, kFirstChunk)) {
        other.chunks_.clear();
    }
    TextArena& operator=(TextArena&& other) noexcept {
        if (this != &other) {
            chunks_ = std::move(other.chunks_);
            other.chunks_.clear();
            free_ = std::exchange(other.free_, nullptr);
            freeSize_ = std::exchange(other.freeSize_, 0);
            nextChunk_ = std::exchange(other.nextChunk_, kFirstChunk);
        }
        return *this;
    }
    ~TextArena() = default;

    // A copy of `text`; the empty text needs none.
    std::string_view Keep(std::string_view text) {
        if (text.empty()) {
            return {};
        }
        char* place = free_;
        if (text.size() <= freeSize_) {
            free_ += text.size();
            freeSize_ -= text.size();
        } else {
            place = PlaceOutside(text.size());
        }
        std::copy(text.begin(), text.end(), place);
        return {place, text.size()};
    }

    // Makes room for `bytes` more bytes of texts in one piece, so that a
    // caller who knows what is coming wastes no chunk tail.
    void Reserve(std::size_t bytes) {
        if (bytes <= freeSize_) {
            return;
        }
        const std::size_t size = bytes > nextChunk_ ? bytes : nextChunk_;
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        free_ = chunks_.back().get();
        freeSize_ = size;
        // Small lists (a block of sixteen texts) stay small; large ones
        // soon take chunks big enough that their number does not matter.
        if (nextChunk_ < kLargestChunk) {
            nextChunk_ *= 2;
        }
    }

    // Where the kept copies end; Forget gives back the room of every copy
    // kept after it, which nothing may view any more.
    struct Mark {
        std::size_t chunks = 0;
        char* free = nullptr;
        std::size_t freeSize = 0;
    };
    Mark MarkEnd() const { return {chunks_.size(), free_, freeSize_}; }
    void Forget(const Mark& mark) {
        chunks_.resize(mark.chunks);
        free_ = mark.free;
        freeSize_ = mark.freeSize;
    }

private:
    // Room for `bytes` that the current chunk has not.
    char* PlaceOutside(std::size_t bytes) {
        if (bytes > kLargestChunk / 4) {
            // A long text gets a chunk of its own rather than leaving the
            // rest of the current one unused.
            chunks_.push_back(std::make_unique_for_overwrite<char[]>(bytes));
            return chunks_.back().get();
        }
        Reserve(bytes);
        char* place = free_;
        free_ += bytes;
        freeSize_ -= bytes;
        return place;
    }

    std::vector<std::unique_ptr<char[]>> chunks_;
    char* free_ = nullptr;
    std::size_t freeSize_ = 0;
    std::size_t nextChunk_ = kFirstChunk;
};

} // namespace korva
