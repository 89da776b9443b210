#pragma once

// Byte builders for PE images that no compiler emits. Every field is put at
// the offset of the on-disk structures the reader uses, so a layout change
// breaks these tests rather than slipping past them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
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
        std::copy(units.begin(), units.end(), bytes_.begin() + offset + 2);
        return offset;
    }

    // Data bytes and the data entry that points at them; returns the entry.
    std::uint32_t Data(const ByteVector& data, std::uint32_t codePage = 0) {
        const auto at = Reserve(data.size());
        std::copy(data.begin(), data.end(), bytes_.begin() + at);
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

inline constexpr std::uint32_t kSyntheticRsrcRva = 0x1000;
inline constexpr std::uint32_t kSyntheticRsrcFileOffset = 0x200;

// An image with one section, .rsrc, holding `rsrc`, and the offsets of the
// structures a corruption test aims at.
struct SyntheticImage {
    ByteVector bytes;
    std::size_t peHeader = 0;
    std::size_t coffHeader = 0;
    std::size_t optionalHeader = 0;
    std::size_t dataDirectories = 0;
    std::size_t sectionTable = 0;
};

inline SyntheticImage BuildSyntheticImage(const ByteVector& rsrc, bool is64 = true) {
    SyntheticImage img;
    ByteVector& b = img.bytes;
    pe::DosHeader dos{};
    dos.magic = pe::kDosMagic;
    dos.peHeaderOffset = 0x40;
    PutAt(b, 0, dos);
    img.peHeader = 0x40;
    PutAt(b, img.peHeader, pe::kPeSignature);
    img.coffHeader = img.peHeader + 4;
    img.optionalHeader = img.coffHeader + sizeof(pe::CoffFileHeader);
    const std::size_t fixed = is64 ? sizeof(pe::OptionalHeader64) : sizeof(pe::OptionalHeader32);
    img.dataDirectories = img.optionalHeader + fixed;
    img.sectionTable = img.dataDirectories + 16 * sizeof(pe::DataDirectory);

    pe::CoffFileHeader coff{};
    coff.machine = is64 ? 0x8664 : 0x014C;
    coff.numberOfSections = 1;
    coff.sizeOfOptionalHeader = static_cast<std::uint16_t>(fixed + 16 * sizeof(pe::DataDirectory));
    coff.characteristics = 0x2022;
    PutAt(b, img.coffHeader, coff);

    const std::uint32_t rawSize =
        static_cast<std::uint32_t>((rsrc.size() + 0x1FF) & ~std::size_t{0x1FF});
    const std::uint32_t sizeOfImage = kSyntheticRsrcRva + ((rawSize + 0xFFF) & ~0xFFFu);
    // The fields both variants share, at each variant's own offsets.
    const auto putOptional = [&](auto opt, std::uint16_t magic) {
        opt.magic = magic;
        opt.sectionAlignment = 0x1000;
        opt.fileAlignment = 0x200;
        opt.sizeOfImage = sizeOfImage;
        opt.sizeOfHeaders = kSyntheticRsrcFileOffset;
        opt.sizeOfInitializedData = rawSize;
        opt.numberOfRvaAndSizes = 16;
        PutAt(b, img.optionalHeader, opt);
    };
    if (is64) {
        putOptional(pe::OptionalHeader64{}, pe::kPe32PlusMagic);
    } else {
        putOptional(pe::OptionalHeader32{}, pe::kPe32Magic);
    }
    for (std::size_t i = 0; i < 16; ++i) {
        PutAt(b, img.dataDirectories + 8 * i, pe::DataDirectory{0, 0});
    }
    PutAt(b, img.dataDirectories + 8 * pe::kResourceDirectory,
          pe::DataDirectory{kSyntheticRsrcRva, static_cast<std::uint32_t>(rsrc.size())});

    pe::SectionHeader section{};
    std::memcpy(section.name, ".rsrc", 5);
    section.virtualSize = static_cast<std::uint32_t>(rsrc.size());
    section.virtualAddress = kSyntheticRsrcRva;
    section.sizeOfRawData = rawSize;
    section.pointerToRawData = kSyntheticRsrcFileOffset;
    section.characteristics = pe::kSectionCntInitializedData | pe::kSectionMemRead;
    PutAt(b, img.sectionTable, section);

    b.resize(kSyntheticRsrcFileOffset + rawSize);
    std::copy(rsrc.begin(), rsrc.end(), b.begin() + kSyntheticRsrcFileOffset);
    return img;
}

// One block name with its language copies.
struct SyntheticBlock {
    bool isId = true;
    std::uint16_t id = 0;
    std::u16string name;
    std::vector<std::pair<std::uint16_t, ByteVector>> copies; // language, data
};

// A resource section holding only string tables, in the usual three levels,
// in the order given (named blocks must come first, as the format requires).
inline ByteVector StringTableSection(const std::vector<SyntheticBlock>& blocks) {
    ResourceSectionBuilder s(kSyntheticRsrcRva);
    const std::uint32_t root = s.Table(0, 1);
    std::uint16_t named = 0;
    for (const SyntheticBlock& block : blocks) {
        named += block.isId ? 0 : 1;
    }
    const std::uint32_t names = s.Table(named, static_cast<std::uint16_t>(blocks.size() - named));
    s.IdToTable(root, 0, pe::kRtString, names);
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
