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
    kArchitectureDirectory = 7,
    kGlobalPointerDirectory = 8,
    kTlsDirectory = 9,
    kLoadConfigDirectory = 10,
    kBoundImportDirectory = 11,
    kImportAddressDirectory = 12,
    kDelayImportDirectory = 13,
    kClrRuntimeDirectory = 14,
    kReservedDirectory = 15,
};

// What messages call each data directory, by index.
inline constexpr const char* kDataDirectoryNames[kMaxDataDirectories] = {
    "export",          "import",       "resource",       "exception",      "certificate",
    "base relocation", "debug",        "architecture",   "global pointer", "TLS",
    "load config",     "bound import", "import address", "delay import",   "CLR runtime",
    "reserved"};

// Section characteristics the resource layer cares about.
inline constexpr std::uint32_t kSectionCntCode = 0x00000020;
inline constexpr std::uint32_t kSectionCntInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionCntUninitializedData = 0x00000080;
inline constexpr std::uint32_t kSectionMemDiscardable = 0x02000000;
inline constexpr std::uint32_t kSectionMemExecute = 0x20000000;
inline constexpr std::uint32_t kSectionMemRead = 0x40000000;
inline constexpr std::uint32_t kSectionMemWrite = 0x80000000;

// The largest FileAlignment the format allows (64 KiB).
inline constexpr std::uint32_t kMaxFileAlignment = 0x10000;

// A base-relocation block covers one page; an entry's type sits in its top
// four bits, its offset into the page in the other twelve.
inline constexpr std::uint32_t kBaseRelocationPageSize = 0x1000;
inline constexpr std::uint16_t kBaseRelocationAbsolute = 0; // padding: patches nothing
inline constexpr unsigned kBaseRelocationTypeShift = 12;
inline constexpr std::uint16_t kBaseRelocationOffsetMask = 0x0FFF;

// Bit 31 of both halves of a resource directory entry.
inline constexpr std::uint32_t kResourceHighBit = 0x80000000;

// Resource types.
inline constexpr std::uint16_t kRtString = 6;

} // namespace korva::pe
