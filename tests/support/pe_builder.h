#pragma once

// Builds small PE images in a byte array, every field written at the offset
// of its on-disk structure, so that layouts no toolchain emits on request
// (a full section table, resources sharing a section, an overlay after a
// certificate table) can be tested.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "strtables/pe/format.h"

namespace korva::test {

struct SectionSpec {
    std::string name;
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t pointerToRawData = 0;
    std::uint32_t sizeOfRawData = 0;
    std::uint32_t characteristics = 0x40000040; // initialized data, readable
    std::vector<std::uint8_t> content;          // at most sizeOfRawData bytes; the rest is zero
};

struct ImageSpec {
    bool is64 = false;
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
    std::vector<SectionSpec> sections;
    std::vector<std::uint8_t> overlay; // appended after the last section's raw data
};

// Where the builder put things, for tests that corrupt one field.
struct BuiltImage {
    std::vector<std::uint8_t> bytes;
    std::size_t coffHeader = 0;
    std::size_t optionalHeader = 0;
    std::size_t dataDirectories = 0;
    std::size_t sectionTable = 0;
    std::size_t overlayStart = 0;
};

inline constexpr std::size_t kPeHeaderOffset = 0x80;

template <typename T> void Store(std::vector<std::uint8_t>& bytes, std::size_t at, const T& v) {
    if (bytes.size() < at + sizeof(T)) {
        bytes.resize(at + sizeof(T));
    }
    std::memcpy(bytes.data() + at, &v, sizeof(T));
}

inline std::uint32_t ReadU32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

inline BuiltImage BuildImage(const ImageSpec& shape) {
    BuiltImage out;
    std::vector<std::uint8_t>& b = out.bytes;
    b.assign(shape.sizeOfHeaders, 0);

    pe::DosHeader dos{};
    dos.magic = pe::kDosMagic;
    dos.peHeaderOffset = kPeHeaderOffset;
    Store(b, 0, dos);
    Store(b, kPeHeaderOffset, pe::kPeSignature);

    out.coffHeader = kPeHeaderOffset + 4;
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
    coff.characteristics = 0x2102;
    Store(b, out.coffHeader, coff);

    std::uint32_t imageEnd = shape.sectionAlignment;
    std::size_t rawEnd = shape.sizeOfHeaders;
    for (const SectionSpec& s : shape.sections) {
        const std::uint32_t extent = std::max(s.virtualSize, s.sizeOfRawData);
        const std::uint32_t end = s.virtualAddress + extent;
        imageEnd = std::max(imageEnd, (end + shape.sectionAlignment - 1) / shape.sectionAlignment *
                                          shape.sectionAlignment);
        if (s.sizeOfRawData != 0) {
            rawEnd =
                std::max<std::size_t>(rawEnd, std::size_t{s.pointerToRawData} + s.sizeOfRawData);
        }
    }
    const std::uint32_t sizeOfImage = shape.sizeOfImage != 0 ? shape.sizeOfImage : imageEnd;

    auto fill = [&](auto& h) {
        h.magic = shape.is64 ? pe::kPe32PlusMagic : pe::kPe32Magic;
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
    };
    if (shape.is64) {
        pe::OptionalHeader64 h{};
        fill(h);
        h.imageBaseHigh = 1;
        Store(b, out.optionalHeader, h);
    } else {
        pe::OptionalHeader32 h{};
        fill(h);
        h.imageBase = 0x10000000;
        Store(b, out.optionalHeader, h);
    }
    for (std::size_t i = 0; i < 16; ++i) {
        Store(b, out.dataDirectories + i * sizeof(pe::DataDirectory), shape.directories[i]);
    }
    for (std::size_t i = 0; i < shape.sections.size(); ++i) {
        const SectionSpec& s = shape.sections[i];
        pe::SectionHeader h{};
        std::memcpy(h.name, s.name.data(), std::min<std::size_t>(s.name.size(), 8));
        h.virtualSize = s.virtualSize;
        h.virtualAddress = s.virtualAddress;
        h.sizeOfRawData = s.sizeOfRawData;
        h.pointerToRawData = s.pointerToRawData;
        h.characteristics = s.characteristics;
        Store(b, out.sectionTable + i * sizeof(pe::SectionHeader), h);
    }
    b.resize(std::max(b.size(), rawEnd), 0);
    for (const SectionSpec& s : shape.sections) {
        std::memcpy(b.data() + s.pointerToRawData, s.content.data(),
                    std::min<std::size_t>(s.content.size(), s.sizeOfRawData));
    }
    out.overlayStart = b.size();
    b.insert(b.end(), shape.overlay.begin(), shape.overlay.end());
    return out;
}

} // namespace korva::test
