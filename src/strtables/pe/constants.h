#pragma once

#include <cstdint>

namespace korva::pe {

// Magic numbers and indices of the PE/COFF format.

inline constexpr std::uint16_t kDosMagic = 0x5A4D;        // "MZ"
inline constexpr std::uint32_t kPeSignature = 0x00004550; // "PE\0\0"
inline constexpr std::uint16_t kPe32Magic = 0x010B;
inline constexpr std::uint16_t kPe32PlusMagic = 0x020B;

inline constexpr std::uint32_t kMaxDataDirectories = 16;

// Indices into the optional header's data directories.
enum DataDirectoryIndex : std::uint32_t {
    kExportDirectory = 0,
    kImportDirectory = 1,
    kResourceDirectory = 2,
    kExceptionDirectory = 3,
    kCertificateDirectory = 4, // the one entry that holds a file offset, not an RVA
    kBaseRelocationDirectory = 5,
    kDebugDirectory = 6,
};

// Section characteristics the resource layer cares about.
inline constexpr std::uint32_t kSectionCntCode = 0x00000020;
inline constexpr std::uint32_t kSectionCntInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionCntUninitializedData = 0x00000080;
inline constexpr std::uint32_t kSectionMemDiscardable = 0x02000000;
inline constexpr std::uint32_t kSectionMemRead = 0x40000000;

// Bit 31 of both halves of a resource directory entry.
inline constexpr std::uint32_t kResourceHighBit = 0x80000000;

// Resource types.
inline constexpr std::uint16_t kRtString = 6;

} // namespace korva::pe
