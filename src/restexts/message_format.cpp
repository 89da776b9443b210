#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "restexts/template_units.h"
#include "restexts/text_template.h"
#include "text/codepage.h"
#include "text/utf8.h"

// A MESSAGE_RESOURCE_DATA: a count of blocks, each LowId, HighId and the
// offset of its entries, one entry per id; an entry is Length (the whole
// entry), Flags (0 ANSI, 1 UTF-16, 2 UTF-8) and the zero-ended text, padded
// to four bytes.

namespace korva::res {
namespace {

constexpr std::size_t kBlockSize = 12;
constexpr std::size_t kEntryHeader = 4;
constexpr std::uint16_t kAnsiEntry = 0;
constexpr std::uint16_t kUnicodeEntry = 1;
constexpr std::uint16_t kUtf8Entry = 2;
constexpr std::size_t kMaxEntryLength = 0xFFFF;

std::string Hex(std::uint64_t value, int width) {
    return "0x" + UpperHex(value, width);
}

std::string MessageName(std::uint32_t id) {
    return "message " + Hex(id, 8);
}

// The text up to its first zero; what follows is padding.
std::u16string DecodeText(pe::Bytes text, std::uint16_t flags) {
    std::u16string out;
    if (flags == kUnicodeEntry) {
        TemplateCursor cursor(text);
        while (const std::optional<std::uint16_t> unit = cursor.U16()) {
            if (*unit == 0) {
                break;
            }
            out.push_back(static_cast<char16_t>(*unit));
        }
        return out;
    }
    const auto zero = std::find(text.begin(), text.end(), std::uint8_t{0});
    const std::string_view bytes(reinterpret_cast<const char*>(text.data()),
                                 static_cast<std::size_t>(zero - text.begin()));
    if (flags == kAnsiEntry) {
        // The messages' ANSI code page is not recorded; Windows-1252 is the
        // one of the languages a program is written in first.
        for (const char c : bytes) {
            out.push_back(AnsiToUtf16Unit(static_cast<unsigned char>(c)));
        }
        return out;
    }
    for (std::size_t pos = 0; pos < bytes.size();) {
        const char32_t c = DecodeUtf8(bytes, pos);
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

struct MessageBlock {
    std::uint32_t lowId = 0;
    std::uint32_t highId = 0;
    std::uint64_t Count() const { return std::uint64_t{highId} - lowId + 1; }
};

// The bytes an entry of `text` takes: header, text, zero, padding.
std::size_t EntrySize(std::u16string_view text) {
    return (kEntryHeader + 2 * (text.size() + 1) + 3) / 4 * 4;
}

// One entry at `at`, which moves past it.
Result<std::u16string> ReadEntry(pe::Bytes data, std::uint32_t id, std::size_t& at) {
    TemplateCursor cursor(data, at);
    const std::optional<std::uint16_t> length = cursor.U16();
    const std::optional<std::uint16_t> flags = cursor.U16();
    if (!length || !flags) {
        return MakeError(MessageName(id) + ": its entry at " + Hex(at, 0) + " lies past the data");
    }
    if (*length < kEntryHeader) {
        return MakeError(MessageName(id) + ": an entry length of " + std::to_string(*length) +
                         ", shorter than its header");
    }
    const std::optional<pe::Bytes> text = cursor.Raw(*length - kEntryHeader);
    if (!text) {
        return MakeError(MessageName(id) + ": its entry of " + std::to_string(*length) +
                         " bytes runs past the data");
    }
    if (*flags != kAnsiEntry && *flags != kUnicodeEntry && *flags != kUtf8Entry) {
        return MakeError(MessageName(id) + ": unknown entry flags " + Hex(*flags, 4));
    }
    at = cursor.Offset();
    return DecodeText(*text, *flags);
}

class MessageTemplate final : public TextTemplate {
public:
    static Result<std::unique_ptr<TextTemplate>> Read(pe::Bytes data);

    Result<std::vector<std::uint8_t>> Build(std::span<const std::u16string_view> texts,
                                            std::uint16_t language) const override;

private:
    Result<void> ReadBlock(pe::Bytes data, std::size_t index, std::uint64_t& entriesLeft);

    std::vector<MessageBlock> blocks_;
};

Result<std::unique_ptr<TextTemplate>> MessageTemplate::Read(pe::Bytes data) {
    TemplateCursor cursor(data);
    const std::optional<std::uint32_t> count = cursor.U32();
    if (!count) {
        return MakeError("cut short before the number of blocks");
    }
    if (*count > cursor.Left() / kBlockSize) {
        return MakeError(std::to_string(*count) + " blocks, more than the data holds");
    }
    auto parsed = std::make_unique<MessageTemplate>();
    // Each message takes four bytes at least, so no more can stand in the
    // data; blocks that share their entries could otherwise claim billions.
    std::uint64_t entriesLeft = data.size() / kEntryHeader;
    for (std::size_t i = 0; i < *count; ++i) {
        KORVA_RETURN_IF_ERROR(parsed->ReadBlock(data, i, entriesLeft));
    }
    return std::unique_ptr<TextTemplate>(std::move(parsed));
}

Result<void> MessageTemplate::ReadBlock(pe::Bytes data, std::size_t index,
                                        std::uint64_t& entriesLeft) {
    TemplateCursor cursor(data, kEntryHeader + index * kBlockSize);
    const std::optional<std::uint32_t> low = cursor.U32();
    const std::optional<std::uint32_t> high = cursor.U32();
    const std::optional<std::uint32_t> offset = cursor.U32();
    const std::string where = "block " + std::to_string(index);
    if (!low || !high || !offset) {
        return MakeError(where + ": cut short");
    }
    if (*high < *low) {
        return MakeError(where + ": its last id " + Hex(*high, 8) + " is below its first " +
                         Hex(*low, 8));
    }
    const MessageBlock block{*low, *high};
    if (block.Count() > entriesLeft) {
        return MakeError(where + ": " + std::to_string(block.Count()) +
                         " messages, more than the data holds");
    }
    entriesLeft -= block.Count();
    std::size_t at = *offset;
    for (std::uint64_t i = 0; i < block.Count(); ++i) {
        const auto id = static_cast<std::uint32_t>(*low + i);
        KORVA_ASSIGN_OR_RETURN(std::u16string text, ReadEntry(data, id, at));
        texts_.push_back(ResourceText{std::move(text), Hex(id, 8)});
    }
    blocks_.push_back(block);
    return {};
}

// Every entry is written as UTF-16, which holds any translation; the ids
// and the blocks stay as they were.
Result<std::vector<std::uint8_t>> MessageTemplate::Build(std::span<const std::u16string_view> texts,
                                                         std::uint16_t /*language*/) const {
    if (texts.size() != texts_.size()) {
        return MakeError("message table: " + std::to_string(texts.size()) + " texts for " +
                         std::to_string(texts_.size()));
    }
    std::uint64_t offset = kEntryHeader + blocks_.size() * kBlockSize;
    TemplateWriter out;
    out.U32(static_cast<std::uint32_t>(blocks_.size()));
    std::size_t entry = 0;
    for (const MessageBlock& block : blocks_) {
        out.U32(block.lowId);
        out.U32(block.highId);
        if (offset > UINT32_MAX) {
            return MakeError("the message table would be larger than 4 GB");
        }
        out.U32(static_cast<std::uint32_t>(offset));
        for (std::uint64_t i = 0; i < block.Count(); ++i, ++entry) {
            const std::size_t size = EntrySize(texts[entry]);
            if (size > kMaxEntryLength) {
                return MakeError(MessageName(static_cast<std::uint32_t>(block.lowId + i)) +
                                 ": the text takes " + std::to_string(size) +
                                 " bytes, more than an entry's 16-bit length can say");
            }
            offset += size;
        }
    }
    for (const std::u16string_view text : texts) {
        out.U16(static_cast<std::uint16_t>(EntrySize(text)));
        out.U16(kUnicodeEntry);
        out.String(text);
        out.Align(4);
    }
    return std::move(out).Take();
}

} // namespace

Result<std::unique_ptr<TextTemplate>> ParseMessageTable(std::span<const std::uint8_t> data) {
    return MessageTemplate::Read(data);
}

} // namespace korva::res
