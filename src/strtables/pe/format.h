#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "strtables/pe/constants.h"

namespace korva::pe {

// On-disk structures of the PE/COFF format, laid out field for field as in
// the file. They are decoded by copying bytes (see checked_reader.h), never by
// casting a pointer into file data, so alignment does not matter; the copy is
// only correct on a little-endian host.
static_assert(std::endian::native == std::endian::little,
              "the on-disk structures are decoded by byte copy");

struct DosHeader {
    std::uint16_t magic; // kDosMagic
    std::uint16_t unused[29];
    std::uint32_t peHeaderOffset; // e_lfanew: file offset of the PE signature
};
static_assert(sizeof(DosHeader) == 64);
static_assert(offsetof(DosHeader, peHeaderOffset) == 0x3C);

struct CoffFileHeader {
    std::uint16_t machine;
    std::uint16_t numberOfSections;
    std::uint32_t timeDateStamp;
    std::uint32_t pointerToSymbolTable; // file offset; 0 in most images
    std::uint32_t numberOfSymbols;
    std::uint16_t sizeOfOptionalHeader;
    std::uint16_t characteristics;
};
static_assert(sizeof(CoffFileHeader) == 20);

struct DataDirectory {
    std::uint32_t virtualAddress;
    std::uint32_t size;
};
static_assert(sizeof(DataDirectory) == 8);

// The optional header up to (not including) its data directories. The two
// variants differ only in BaseOfData and the width of five fields.
struct OptionalHeader32 {
    std::uint16_t magic; // kPe32Magic
    std::uint8_t majorLinkerVersion;
    std::uint8_t minorLinkerVersion;
    std::uint32_t sizeOfCode;
    std::uint32_t sizeOfInitializedData;
    std::uint32_t sizeOfUninitializedData;
    std::uint32_t addressOfEntryPoint;
    std::uint32_t baseOfCode;
    std::uint32_t baseOfData;
    std::uint32_t imageBase;
    std::uint32_t sectionAlignment;
    std::uint32_t fileAlignment;
    std::uint16_t majorOperatingSystemVersion;
    std::uint16_t minorOperatingSystemVersion;
    std::uint16_t majorImageVersion;
    std::uint16_t minorImageVersion;
    std::uint16_t majorSubsystemVersion;
    std::uint16_t minorSubsystemVersion;
    std::uint32_t win32VersionValue;
    std::uint32_t sizeOfImage;
    std::uint32_t sizeOfHeaders;
    std::uint32_t checkSum;
    std::uint16_t subsystem;
    std::uint16_t dllCharacteristics;
    std::uint32_t sizeOfStackReserve;
    std::uint32_t sizeOfStackCommit;
    std::uint32_t sizeOfHeapReserve;
    std::uint32_t sizeOfHeapCommit;
    std::uint32_t loaderFlags;
    std::uint32_t numberOfRvaAndSizes;
};
static_assert(sizeof(OptionalHeader32) == 96);

struct OptionalHeader64 {
    std::uint16_t magic; // kPe32PlusMagic
    std::uint8_t majorLinkerVersion;
    std::uint8_t minorLinkerVersion;
    std::uint32_t sizeOfCode;
    std::uint32_t sizeOfInitializedData;
    std::uint32_t sizeOfUninitializedData;
    std::uint32_t addressOfEntryPoint;
    std::uint32_t baseOfCode;
    std::uint32_t imageBaseLow; // ImageBase is 64 bits but only 4-aligned here
    std::uint32_t imageBaseHigh;
    std::uint32_t sectionAlignment;
    std::uint32_t fileAlignment;
    std::uint16_t majorOperatingSystemVersion;
    std::uint16_t minorOperatingSystemVersion;
    std::uint16_t majorImageVersion;
    std::uint16_t minorImageVersion;
    std::uint16_t majorSubsystemVersion;
    std::uint16_t minorSubsystemVersion;
    std::uint32_t win32VersionValue;
    std::uint32_t sizeOfImage;
    std::uint32_t sizeOfHeaders;
    std::uint32_t checkSum;
    std::uint16_t subsystem;
    std::uint16_t dllCharacteristics;
    std::uint32_t sizeOfStackReserve[2]; // 64-bit values kept as halves, for the
    std::uint32_t sizeOfStackCommit[2];  // same reason as ImageBase
    std::uint32_t sizeOfHeapReserve[2];
    std::uint32_t sizeOfHeapCommit[2];
    std::uint32_t loaderFlags;
    std::uint32_t numberOfRvaAndSizes;
};
static_assert(sizeof(OptionalHeader64) == 112);

// The fields a rewrite fixes up sit at the same offsets in both variants.
static_assert(offsetof(OptionalHeader32, sizeOfInitializedData) ==
              offsetof(OptionalHeader64, sizeOfInitializedData));
static_assert(offsetof(OptionalHeader32, sizeOfImage) == offsetof(OptionalHeader64, sizeOfImage));
static_assert(offsetof(OptionalHeader32, sizeOfHeaders) ==
              offsetof(OptionalHeader64, sizeOfHeaders));
static_assert(offsetof(OptionalHeader32, checkSum) == offsetof(OptionalHeader64, checkSum));
static_assert(offsetof(OptionalHeader32, checkSum) == 64);

struct SectionHeader {
    char name[8]; // not necessarily NUL-terminated
    std::uint32_t virtualSize;
    std::uint32_t virtualAddress;
    std::uint32_t sizeOfRawData;
    std::uint32_t pointerToRawData;
    std::uint32_t pointerToRelocations;
    std::uint32_t pointerToLinenumbers;
    std::uint16_t numberOfRelocations;
    std::uint16_t numberOfLinenumbers;
    std::uint32_t characteristics;
};
static_assert(sizeof(SectionHeader) == 40);

// The header of one resource directory table; its entries follow it, the
// named ones first.
struct ResourceDirectoryTable {
    std::uint32_t characteristics;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint16_t numberOfNamedEntries;
    std::uint16_t numberOfIdEntries;
};
static_assert(sizeof(ResourceDirectoryTable) == 16);

// Both halves carry a flag in bit 31; read them only through
// DecodeDirectoryEntry.
struct ResourceDirectoryEntryRaw {
    std::uint32_t nameOrId;
    std::uint32_t offsetToData;
};
static_assert(sizeof(ResourceDirectoryEntryRaw) == 8);

struct ResourceDataEntry {
    std::uint32_t dataRva; // an RVA of the image, not an offset into the resource section
    std::uint32_t size;
    std::uint32_t codePage;
    std::uint32_t reserved;
};
static_assert(sizeof(ResourceDataEntry) == 16);

// A resource string: a count of UTF-16 code units, then the units.
inline constexpr std::size_t kResourceStringHeaderSize = 2;

// Offsets inside a resource section share their 32 bits with a flag, so a
// section can hold no more than this.
inline constexpr std::uint32_t kMaxResourceOffset = ~kResourceHighBit;

// A COFF symbol table entry; packed to 18 bytes on disk, so never decoded
// through a struct here. The string table follows the last entry.
inline constexpr std::uint64_t kCoffSymbolSize = 18;

// One entry of the debug directory, which is an array of these.
struct DebugDirectoryEntry {
    std::uint32_t characteristics;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint32_t type;
    std::uint32_t sizeOfData;
    std::uint32_t addressOfRawData; // an RVA; 0 when the data is not mapped
    std::uint32_t pointerToRawData; // a file offset
};
static_assert(sizeof(DebugDirectoryEntry) == 28);

// The header of one block of the base-relocation table; the block's 16-bit
// entries follow it, up to blockSize bytes from its start.
struct BaseRelocationBlock {
    std::uint32_t pageRva;
    std::uint32_t blockSize; // header included
};
static_assert(sizeof(BaseRelocationBlock) == 8);

template <typename T>
concept OnDiskStruct = std::is_trivially_copyable_v<T> && std::is_standard_layout_v<T>;

// A directory entry with bit 31 of each half interpreted.
struct DecodedDirectoryEntry {
    bool nameIsString;          // the name is a resource string at nameOffset
    std::uint32_t nameOffset;   // from the start of the resource directory; when nameIsString
    std::uint32_t id;           // when !nameIsString
    bool isSubdirectory;        // the target is a directory table, else a data entry
    std::uint32_t targetOffset; // from the start of the resource directory
};

// The one place where bit 31 of a resource directory entry is read.
inline DecodedDirectoryEntry DecodeDirectoryEntry(const ResourceDirectoryEntryRaw& raw) {
    DecodedDirectoryEntry out{};
    out.nameIsString = (raw.nameOrId & kResourceHighBit) != 0;
    out.nameOffset = out.nameIsString ? raw.nameOrId & ~kResourceHighBit : 0;
    out.id = out.nameIsString ? 0 : raw.nameOrId;
    out.isSubdirectory = (raw.offsetToData & kResourceHighBit) != 0;
    out.targetOffset = raw.offsetToData & ~kResourceHighBit;
    return out;
}

// Its inverse, and the one place where it is written.
inline ResourceDirectoryEntryRaw EncodeDirectoryEntry(const DecodedDirectoryEntry& entry) {
    ResourceDirectoryEntryRaw raw{};
    raw.nameOrId = entry.nameIsString ? (entry.nameOffset | kResourceHighBit) : entry.id;
    raw.offsetToData =
        entry.isSubdirectory ? (entry.targetOffset | kResourceHighBit) : entry.targetOffset;
    return raw;
}

} // namespace korva::pe
