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
    TextArena() = default;
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
        Reserve(text.size());
        char* place = free_;
        std::copy(text.begin(), text.end(), place);
        free_ += text.size();
        freeSize_ -= text.size();
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

private:
    static constexpr std::size_t kFirstChunk = 256;
    static constexpr std::size_t kLargestChunk = std::size_t{256} * 1024;

    std::vector<std::unique_ptr<char[]>> chunks_;
    char* free_ = nullptr;
    std::size_t freeSize_ = 0;
    std::size_t nextChunk_ = kFirstChunk;
};

} // namespace korva
