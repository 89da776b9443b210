#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "strtables/pe/checked_reader.h"
#include "strtables/pe/format.h"

namespace korva::pe {

// One section header as read, with where it sits in the file.
struct Section {
    SectionHeader header;
    std::uint64_t headerOffset = 0; // file offset of this section header
    // The name a "/n" field stands for, read from the COFF string table;
    // empty when the field holds the name itself or the table lacks it.
    std::string longName;

    std::string Name() const;     // up to the first NUL of the 8-byte field
    std::string FullName() const; // the long name where there is one, else Name()
};

// How far a section reaches in memory. Some linkers leave VirtualSize 0 and
// mean SizeOfRawData.
inline std::uint64_t VirtualExtent(const SectionHeader& h) {
    return std::max(h.virtualSize, h.sizeOfRawData);
}

inline std::uint64_t VirtualEnd(const SectionHeader& h) {
    return h.virtualAddress + VirtualExtent(h);
}

// File offsets of the header fields a rewrite has to fix up. All of them lie
// inside the file (the parser checked that).
struct HeaderFieldOffsets {
    std::uint64_t numberOfSections = 0;
    std::uint64_t pointerToSymbolTable = 0;
    std::uint64_t sizeOfInitializedData = 0;
    std::uint64_t sizeOfImage = 0;
    std::uint64_t sizeOfHeaders = 0;
    std::uint64_t checkSum = 0;
    std::uint64_t numberOfRvaAndSizes = 0;
    std::uint64_t dataDirectories = 0; // the first DataDirectory; entry i is 8 * i further
};

// The headers of a PE image (PE32 or PE32+, any machine), decoded and checked
// to lie inside the file. Section contents are not checked here: a section
// whose raw data runs past the end of the file still parses, and whatever
// wants its bytes asks through SliceAtRva.
struct Image {
    // A range of file offsets.
    struct FileRange {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
    };

    bool is64 = false;                // PE32+
    std::uint64_t peHeaderOffset = 0; // the PE signature
    std::uint64_t coffHeaderOffset = 0;
    std::uint64_t optionalHeaderOffset = 0;
    CoffFileHeader coff{};
    // The optional header fields both variants share (64-bit ones widened).
    std::uint64_t imageBase = 0;
    std::uint32_t addressOfEntryPoint = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sizeOfInitializedData = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::uint32_t checkSum = 0;
    std::uint32_t numberOfRvaAndSizes = 0; // as the header says
    // The directories that are present: min(NumberOfRvaAndSizes, 16, what
    // SizeOfOptionalHeader has room for). An absent one reads as empty.
    std::vector<DataDirectory> dataDirectories;
    std::vector<Section> sections; // in section table order
    // Positions in `sections` of those with raw data, by ascending RVA (table
    // order among equal RVAs), for a binary search per lookup.
    std::vector<std::uint32_t> sectionsByRva;
    std::uint64_t sectionTableOffset = 0;
    std::uint64_t sectionTableEnd = 0; // first byte after the last section header
    // The lowest PointerToRawData of any section with raw data (the file size
    // when there is none): the section table may grow up to here.
    std::uint64_t firstSectionData = 0;
    // First byte after the headers and every section's raw data, capped at
    // the file size; whatever lies beyond (e.g. a certificate table) is the
    // overlay.
    std::uint64_t overlayStart = 0;
    std::uint64_t fileSize = 0;
    HeaderFieldOffsets fields;
    // The COFF symbol table and the string table after it, as far as the
    // file holds them; size 0 when the image has none.
    FileRange symbolTable;
    FileRange stringTable; // part of symbolTable

    DataDirectory Directory(std::uint32_t index) const;

    // The section whose raw data holds the RVA, if any: the one with the
    // highest start at or below it, as the loader maps them. (Overlapping
    // sections, which only a crafted file has, thus resolve to one of them.)
    const Section* SectionOfRva(std::uint32_t rva) const;

    // The file offset of an RVA and how many bytes of the same section's raw
    // data follow it inside the file.
    std::optional<FileRange> RvaToFile(std::uint32_t rva) const;

    // The file bytes behind [rva, rva + size), when all of them are raw data
    // of one section and inside the file.
    std::optional<Bytes> SliceAtRva(Bytes file, std::uint32_t rva, std::uint32_t size) const;
};

// Parses and checks the headers of an image held in `file`.
Result<Image> ParseImage(Bytes file);

} // namespace korva::pe
