#pragma once

// Builds PE images in a byte array, every field written at the offset of the
// on-disk structures the reader uses, so that a layout change breaks these
// tests rather than slipping past them, and so that layouts no toolchain
// emits on request (a full section table, resources sharing a section, an
// overlay after a certificate table, corrupt fields) can be tested.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "strtables/pe/format.h"

namespace korva::test {

using ByteVector = std::vector<std::uint8_t>;

template <typename T> void PutAt(ByteVector& bytes, std::size_t offset, const T& value) {
    if (bytes.size() < offset + sizeof(T)) {
        bytes.resize(offset + sizeof(T));
    }
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

template <typename T> T GetAt(const ByteVector& bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// ---- Whole images ----

struct SectionShape {
    std::string name;
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t pointerToRawData = 0;
    std::uint32_t sizeOfRawData = 0;
    std::uint32_t characteristics = 0x40000040; // initialized data, readable
    ByteVector content;                         // at most sizeOfRawData bytes; the rest is zero
};

struct ImageShape {
    bool is64 = false;
    std::uint32_t peHeaderOffset = 0x80; // e_lfanew
    std::uint32_t fileAlignment = 0x200;
    std::uint32_t sectionAlignment = 0x1000;
    std::uint32_t sizeOfHeaders = 0x400;
    std::uint32_t sizeOfImage = 0; // 0: computed from the sections
    std::uint32_t sizeOfInitializedData = 0;
    std::uint32_t checkSum = 0;
    std::uint32_t entryPoint = 0;
    std::uint32_t pointerToSymbolTable = 0;
    std::uint32_t numberOfRvaAndSizes = 16;
    std::array<pe::DataDirectory, 16> directories{};
    std::vector<SectionShape> sections;
    ByteVector overlay; // appended after the last section's raw data
};

// The image and where the builder put things, for tests that corrupt one
// field.
struct BuiltImage {
    ByteVector bytes;
    std::size_t peHeader = 0;
    std::size_t coffHeader = 0;
    std::size_t optionalHeader = 0;
    std::size_t dataDirectories = 0;
    std::size_t sectionTable = 0;
    std::size_t overlayStart = 0;
};

// The fields both optional header variants share, at each variant's own
// offsets.
template <typename Header>
void PutOptionalHeader(BuiltImage& out, const ImageShape& shape, Header h, std::uint16_t magic,
                       std::uint32_t sizeOfImage) {
    h.magic = magic;
    h.sizeOfInitializedData = shape.sizeOfInitializedData;
    h.addressOfEntryPoint = shape.entryPoint;
    h.sectionAlignment = shape.sectionAlignment;
    h.fileAlignment = shape.fileAlignment;
    h.majorSubsystemVersion = 6;
    h.sizeOfImage = sizeOfImage;
    h.sizeOfHeaders = shape.sizeOfHeaders;
    h.checkSum = shape.checkSum;
    h.subsystem = 2;
    h.numberOfRvaAndSizes = shape.numberOfRvaAndSizes;
    PutAt(out.bytes, out.optionalHeader, h);
}

inline std::uint32_t AlignTo(std::uint32_t value, std::uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

inline BuiltImage BuildImage(const ImageShape& shape) {
    BuiltImage out;
    ByteVector& b = out.bytes;
    b.assign(shape.sizeOfHeaders, 0);

    pe::DosHeader dos{};
    dos.magic = pe::kDosMagic;
    dos.peHeaderOffset = shape.peHeaderOffset;
    PutAt(b, 0, dos);
    out.peHeader = shape.peHeaderOffset;
    PutAt(b, out.peHeader, pe::kPeSignature);
    out.coffHeader = out.peHeader + 4;
    out.optionalHeader = out.coffHeader + sizeof(pe::CoffFileHeader);
    const std::size_t fixed =
        shape.is64 ? sizeof(pe::OptionalHeader64) : sizeof(pe::OptionalHeader32);
    out.dataDirectories = out.optionalHeader + fixed;
    out.sectionTable = out.dataDirectories + 16 * sizeof(pe::DataDirectory);

    pe::CoffFileHeader coff{};
    coff.machine = shape.is64 ? 0x8664 : 0x014C;
    coff.numberOfSections = static_cast<std::uint16_t>(shape.sections.size());
    coff.pointerToSymbolTable = shape.pointerToSymbolTable;
    coff.sizeOfOptionalHeader = static_cast<std::uint16_t>(fixed + 16 * sizeof(pe::DataDirectory));
    coff.characteristics = 0x2102; // a DLL, executable, 32-bit words
    PutAt(b, out.coffHeader, coff);

    std::uint32_t imageEnd = shape.sectionAlignment;
    std::size_t rawEnd = shape.sizeOfHeaders;
    for (const SectionShape& s : shape.sections) {
        const std::uint32_t extent = std::max(s.virtualSize, s.sizeOfRawData);
        imageEnd = std::max(imageEnd, AlignTo(s.virtualAddress + extent, shape.sectionAlignment));
        if (s.sizeOfRawData != 0) {
            rawEnd =
                std::max<std::size_t>(rawEnd, std::size_t{s.pointerToRawData} + s.sizeOfRawData);
        }
    }
    const std::uint32_t sizeOfImage = shape.sizeOfImage != 0 ? shape.sizeOfImage : imageEnd;
    if (shape.is64) {
        pe::OptionalHeader64 h{};
        h.imageBaseHigh = 1;
        PutOptionalHeader(out, shape, h, pe::kPe32PlusMagic, sizeOfImage);
    } else {
        pe::OptionalHeader32 h{};
        h.imageBase = 0x10000000;
        PutOptionalHeader(out, shape, h, pe::kPe32Magic, sizeOfImage);
    }
    for (std::size_t i = 0; i < 16; ++i) {
        PutAt(b, out.dataDirectories + i * sizeof(pe::DataDirectory), shape.directories[i]);
    }
    for (std::size_t i = 0; i < shape.sections.size(); ++i) {
        const SectionShape& s = shape.sections[i];
        pe::SectionHeader h{};
        std::memcpy(h.name, s.name.data(), std::min<std::size_t>(s.name.size(), 8));
        h.virtualSize = s.virtualSize;
        h.virtualAddress = s.virtualAddress;
        h.sizeOfRawData = s.sizeOfRawData;
        h.pointerToRawData = s.pointerToRawData;
        h.characteristics = s.characteristics;
        PutAt(b, out.sectionTable + i * sizeof(pe::SectionHeader), h);
    }
    b.resize(std::max(b.size(), rawEnd), 0);
    for (const SectionShape& s : shape.sections) {
        const std::size_t size = std::min<std::size_t>(s.content.size(), s.sizeOfRawData);
        if (size != 0) {
            std::memcpy(b.data() + s.pointerToRawData, s.content.data(), size);
        }
    }
    out.overlayStart = b.size();
    b.insert(b.end(), shape.overlay.begin(), shape.overlay.end());
    return out;
}

// ---- Resource sections ----

inline ByteVector Utf16Le(const std::u16string& text) {
    ByteVector out;
    for (const char16_t u : text) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

inline ByteVector Concat(ByteVector a, const ByteVector& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A string-table block: one counted string per slot.
inline ByteVector StringBlock(const std::vector<std::u16string>& slots) {
    ByteVector out;
    for (const std::u16string& s : slots) {
        PutAt(out, out.size(), static_cast<std::uint16_t>(s.size()));
        const ByteVector units = Utf16Le(s);
        out.insert(out.end(), units.begin(), units.end());
    }
    return out;
}

// A resource section assembled piece by piece at chosen offsets. Offsets
// handed out are relative to the section start, as the format's are.
class ResourceSectionBuilder {
public:
    explicit ResourceSectionBuilder(std::uint32_t sectionRva) : rva_(sectionRva) {}

    // A directory table with room for its entries; returns its offset.
    std::uint32_t Table(std::uint16_t named, std::uint16_t ids,
                        pe::ResourceDirectoryTable header = {}) {
        const auto offset = Reserve(sizeof(pe::ResourceDirectoryTable) +
                                    (named + ids) * sizeof(pe::ResourceDirectoryEntryRaw));
        header.numberOfNamedEntries = named;
        header.numberOfIdEntries = ids;
        PutAt(bytes_, offset, header);
        return offset;
    }

    // Entry `index` of the table at `table`, raw: both halves as stored.
    void RawEntry(std::uint32_t table, std::size_t index, std::uint32_t nameOrId,
                  std::uint32_t offsetToData) {
        PutAt(bytes_, EntryOffset(table, index),
              pe::ResourceDirectoryEntryRaw{nameOrId, offsetToData});
    }
    void IdToTable(std::uint32_t table, std::size_t index, std::uint32_t id, std::uint32_t sub) {
        RawEntry(table, index, id, sub | pe::kResourceHighBit);
    }
    void IdToData(std::uint32_t table, std::size_t index, std::uint32_t id, std::uint32_t data) {
        RawEntry(table, index, id, data);
    }
    void NameToTable(std::uint32_t table, std::size_t index, std::uint32_t name,
                     std::uint32_t sub) {
        RawEntry(table, index, name | pe::kResourceHighBit, sub | pe::kResourceHighBit);
    }

    std::uint32_t Name(const std::u16string& name) {
        const auto offset = Reserve(2 + 2 * name.size());
        PutAt(bytes_, offset, static_cast<std::uint16_t>(name.size()));
        const ByteVector units = Utf16Le(name);
        std::copy(units.begin(), units.end(),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(offset) + 2);
        return offset;
    }

    // Data bytes and the data entry that points at them; returns the entry.
    std::uint32_t Data(const ByteVector& data, std::uint32_t codePage = 0) {
        const auto at = Reserve(data.size());
        std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
        return DataEntry(rva_ + at, static_cast<std::uint32_t>(data.size()), codePage);
    }
    std::uint32_t DataEntry(std::uint32_t dataRva, std::uint32_t size, std::uint32_t codePage = 0) {
        const auto offset = Reserve(sizeof(pe::ResourceDataEntry));
        PutAt(bytes_, offset, pe::ResourceDataEntry{dataRva, size, codePage, 0});
        return offset;
    }

    static std::size_t EntryOffset(std::uint32_t table, std::size_t index) {
        return table + sizeof(pe::ResourceDirectoryTable) +
               index * sizeof(pe::ResourceDirectoryEntryRaw);
    }
    std::uint32_t rva() const { return rva_; }
    ByteVector& bytes() { return bytes_; }

private:
    std::uint32_t Reserve(std::size_t size) {
        const std::size_t offset = (bytes_.size() + 3) & ~std::size_t{3};
        bytes_.resize(offset + size);
        return static_cast<std::uint32_t>(offset);
    }

    std::uint32_t rva_;
    ByteVector bytes_;
};

// ---- The one-section image of the reader's tests ----

inline constexpr std::uint32_t kSyntheticRsrcRva = 0x1000;
inline constexpr std::uint32_t kSyntheticRsrcFileOffset = 0x200;

// An image with one section, .rsrc, holding `rsrc` right after the headers.
inline BuiltImage BuildSyntheticImage(const ByteVector& rsrc, bool is64 = true) {
    const auto size = static_cast<std::uint32_t>(rsrc.size());
    const std::uint32_t raw = AlignTo(size, 0x200);
    ImageShape shape;
    shape.is64 = is64;
    shape.peHeaderOffset = 0x40;
    shape.sizeOfHeaders = kSyntheticRsrcFileOffset;
    shape.sizeOfInitializedData = raw;
    shape.sections.push_back(
        {".rsrc", kSyntheticRsrcRva, size, kSyntheticRsrcFileOffset, raw, 0x40000040, rsrc});
    shape.directories[pe::kResourceDirectory] = {kSyntheticRsrcRva, size};
    return BuildImage(shape);
}

// One block name with its language copies.
struct SyntheticBlock {
    bool isId = true;
    std::uint16_t id = 0;
    std::u16string name;
    std::vector<std::pair<std::uint16_t, ByteVector>> copies; // language, data
};

// A resource section holding only string tables (or resources of another
// one type), in the usual three levels, in the order given (named blocks
// must come first, as the format requires).
inline ByteVector StringTableSection(const std::vector<SyntheticBlock>& blocks,
                                     std::uint16_t type = pe::kRtString) {
    ResourceSectionBuilder s(kSyntheticRsrcRva);
    const std::uint32_t root = s.Table(0, 1);
    std::uint16_t named = 0;
    for (const SyntheticBlock& block : blocks) {
        named = static_cast<std::uint16_t>(named + (block.isId ? 0 : 1));
    }
    const std::uint32_t names = s.Table(named, static_cast<std::uint16_t>(blocks.size() - named));
    s.IdToTable(root, 0, type, names);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const SyntheticBlock& block = blocks[i];
        const std::uint32_t langs = s.Table(0, static_cast<std::uint16_t>(block.copies.size()));
        if (block.isId) {
            s.IdToTable(names, i, block.id, langs);
        } else {
            s.NameToTable(names, i, s.Name(block.name), langs);
        }
        for (std::size_t j = 0; j < block.copies.size(); ++j) {
            s.IdToData(langs, j, block.copies[j].first, s.Data(block.copies[j].second));
        }
    }
    return s.bytes();
}

} // namespace korva::test
