#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "strtables/pe/checked_reader.h"

namespace korva::res {

// Upper-case hexadecimal digits, at least `width` of them: what compilers
// write in version keys, and how message ids are shown.
inline std::string UpperHex(std::uint64_t value, int width = 0) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value & 0xF]);
        value >>= 4;
        --width;
    } while (value != 0 || width > 0);
    return out;
}

// A resource's bytes read front to back, every read through the checked
// slice: a read past the end leaves the cursor where it was and says so.
class TemplateCursor {
public:
    explicit TemplateCursor(pe::Bytes data, std::size_t at = 0) : data_(data), at_(at) {}

    std::size_t Offset() const { return at_; }
    std::size_t Left() const { return at_ <= data_.size() ? data_.size() - at_ : 0; }
    pe::Bytes Data() const { return data_; }

    std::optional<std::uint16_t> U16() { return Take<std::uint16_t>(); }
    std::optional<std::uint32_t> U32() { return Take<std::uint32_t>(); }

    // A string of UTF-16 units ended by a zero unit; the cursor goes past
    // the zero. Nothing when the data ends first.
    std::optional<std::u16string> String() {
        std::u16string out;
        for (std::size_t p = at_;; p += 2) {
            const std::optional<std::uint16_t> unit = pe::ReadU16(data_, p);
            if (!unit) {
                return std::nullopt;
            }
            if (*unit == 0) {
                at_ = p + 2;
                return out;
            }
            out.push_back(static_cast<char16_t>(*unit));
        }
    }

    // `count` raw bytes.
    std::optional<pe::Bytes> Raw(std::size_t count) {
        const std::optional<pe::Bytes> bytes = pe::Slice(data_, at_, count);
        if (bytes) {
            at_ += count;
        }
        return bytes;
    }

    // Skips to the next multiple of `alignment` from the data's start; past
    // the end it stops at the end (the padding of a last item may be cut).
    void Align(std::size_t alignment) {
        const std::size_t aligned = (at_ + alignment - 1) / alignment * alignment;
        at_ = aligned < data_.size() ? aligned : std::max(at_, data_.size());
    }

    void Seek(std::size_t offset) { at_ = offset; }

private:
    template <typename T> std::optional<T> Take() {
        const std::optional<T> value = pe::ReadAt<T>(data_, at_);
        if (value) {
            at_ += sizeof(T);
        }
        return value;
    }

    pe::Bytes data_;
    std::size_t at_;
};

// A resource written front to back in the file's byte order.
class TemplateWriter {
public:
    void U16(std::uint16_t value) {
        bytes_.push_back(static_cast<std::uint8_t>(value));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void U32(std::uint32_t value) {
        U16(static_cast<std::uint16_t>(value));
        U16(static_cast<std::uint16_t>(value >> 16));
    }
    // The units and a terminating zero.
    void String(std::u16string_view text) {
        for (const char16_t unit : text) {
            U16(static_cast<std::uint16_t>(unit));
        }
        U16(0);
    }
    void Raw(pe::Bytes bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    // Zero bytes up to the next multiple of `alignment`.
    void Align(std::size_t alignment) {
        while (bytes_.size() % alignment != 0) {
            bytes_.push_back(0);
        }
    }
    // Overwrites a 16-bit value written before (a length known only later).
    void PatchU16(std::size_t offset, std::uint16_t value) {
        bytes_.at(offset) = static_cast<std::uint8_t>(value);
        bytes_.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
    }

    std::size_t Size() const { return bytes_.size(); }
    std::vector<std::uint8_t> Take() && { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace korva::res
