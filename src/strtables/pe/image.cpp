#include "strtables/pe/image.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace korva::pe {
namespace {

// The parts of the optional header both variants share.
template <typename Header> void TakeOptionalHeader(const Header& h, Image& image) {
    image.addressOfEntryPoint = h.addressOfEntryPoint;
    image.sectionAlignment = h.sectionAlignment;
    image.fileAlignment = h.fileAlignment;
    image.sizeOfInitializedData = h.sizeOfInitializedData;
    image.sizeOfImage = h.sizeOfImage;
    image.sizeOfHeaders = h.sizeOfHeaders;
    image.checkSum = h.checkSum;
    image.numberOfRvaAndSizes = h.numberOfRvaAndSizes;
    const std::uint64_t base = image.optionalHeaderOffset;
    image.fields.sizeOfInitializedData = base + offsetof(Header, sizeOfInitializedData);
    image.fields.sizeOfImage = base + offsetof(Header, sizeOfImage);
    image.fields.sizeOfHeaders = base + offsetof(Header, sizeOfHeaders);
    image.fields.checkSum = base + offsetof(Header, checkSum);
    image.fields.numberOfRvaAndSizes = base + offsetof(Header, numberOfRvaAndSizes);
    image.fields.dataDirectories = base + sizeof(Header);
}

// Reads the optional header of either variant; returns its fixed size.
Result<std::uint64_t> ParseOptionalHeader(Bytes file, Image& image) {
    const std::optional<std::uint16_t> magic = ReadU16(file, image.optionalHeaderOffset);
    if (!magic) {
        return MakeError("optional header: past the end of the file");
    }
    std::uint64_t fixedSize = 0;
    if (*magic == kPe32Magic) {
        const auto header = ReadAt<OptionalHeader32>(file, image.optionalHeaderOffset);
        if (!header) {
            return MakeError("optional header: past the end of the file");
        }
        image.is64 = false;
        image.imageBase = header->imageBase;
        TakeOptionalHeader(*header, image);
        fixedSize = sizeof(OptionalHeader32);
    } else if (*magic == kPe32PlusMagic) {
        const auto header = ReadAt<OptionalHeader64>(file, image.optionalHeaderOffset);
        if (!header) {
            return MakeError("optional header: past the end of the file");
        }
        image.is64 = true;
        image.imageBase =
            (static_cast<std::uint64_t>(header->imageBaseHigh) << 32) | header->imageBaseLow;
        TakeOptionalHeader(*header, image);
        fixedSize = sizeof(OptionalHeader64);
    } else {
        return MakeError("optional header: unknown magic " + std::to_string(*magic));
    }
    if (image.coff.sizeOfOptionalHeader < fixedSize) {
        return MakeError("optional header: SizeOfOptionalHeader " +
                         std::to_string(image.coff.sizeOfOptionalHeader) + " is too small");
    }
    return fixedSize;
}

// Directories beyond what SizeOfOptionalHeader holds are ignored, as the
// loader does, and so are indices past 16.
Result<void> ParseDataDirectories(Bytes file, std::uint64_t fixedSize, Image& image) {
    const std::uint64_t room =
        (image.coff.sizeOfOptionalHeader - fixedSize) / sizeof(DataDirectory);
    const auto count =
        std::min<std::uint64_t>({image.numberOfRvaAndSizes, kMaxDataDirectories, room});
    const std::optional<Bytes> table =
        SliceArray(file, image.fields.dataDirectories, count, sizeof(DataDirectory));
    if (!table) {
        return MakeError("data directories: past the end of the file");
    }
    image.dataDirectories.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        image.dataDirectories.push_back(*ReadAt<DataDirectory>(*table, i * sizeof(DataDirectory)));
    }
    return {};
}

Result<void> ParseSectionTable(Bytes file, Image& image) {
    image.sectionTableOffset = image.optionalHeaderOffset + image.coff.sizeOfOptionalHeader;
    const std::uint64_t count = image.coff.numberOfSections;
    const std::optional<Bytes> table =
        SliceArray(file, image.sectionTableOffset, count, sizeof(SectionHeader));
    if (!table) {
        return MakeError("section table: past the end of the file");
    }
    image.sectionTableEnd = image.sectionTableOffset + table->size();
    image.sections.reserve(static_cast<std::size_t>(count));
    image.firstSectionData = file.size();
    std::uint64_t end = std::max<std::uint64_t>(image.sectionTableEnd, image.sizeOfHeaders);
    for (std::uint64_t i = 0; i < count; ++i) {
        Section section;
        section.header = *ReadAt<SectionHeader>(*table, i * sizeof(SectionHeader));
        section.headerOffset = image.sectionTableOffset + i * sizeof(SectionHeader);
        const SectionHeader& h = section.header;
        if (h.sizeOfRawData != 0) {
            image.firstSectionData =
                std::min<std::uint64_t>(image.firstSectionData, h.pointerToRawData);
            end = std::max<std::uint64_t>(end, static_cast<std::uint64_t>(h.pointerToRawData) +
                                                   h.sizeOfRawData);
        }
        image.sections.push_back(section);
    }
    image.overlayStart = std::min<std::uint64_t>(end, file.size());
    for (std::uint32_t i = 0; i < image.sections.size(); ++i) {
        if (image.sections[i].header.sizeOfRawData != 0) {
            image.sectionsByRva.push_back(i);
        }
    }
    std::stable_sort(image.sectionsByRva.begin(), image.sectionsByRva.end(),
                     [&](std::uint32_t a, std::uint32_t b) {
                         return image.sections[a].header.virtualAddress <
                                image.sections[b].header.virtualAddress;
                     });
    return {};
}

// Linkers do not map the symbol table; it lies anywhere in the file, most
// often after the last section. A string table cut short by the end of the
// file ends there.
void FindSymbolTable(Bytes file, Image& image) {
    const std::uint64_t start = image.coff.pointerToSymbolTable;
    if (start == 0 || start >= file.size()) {
        return;
    }
    const std::uint64_t strings = start + kCoffSymbolSize * image.coff.numberOfSymbols;
    std::uint64_t end = file.size();
    // The string table's size counts its own four bytes.
    if (const std::optional<std::uint32_t> size = ReadU32(file, strings)) {
        end = std::min<std::uint64_t>(end, strings + std::max<std::uint32_t>(*size, 4));
    }
    image.symbolTable = {start, end - start};
    if (strings < end) {
        image.stringTable = {strings, end - strings};
    }
}

// GNU tools name a section whose name passes eight bytes (the .debug_*
// family) "/n", n the decimal offset of the full name in the string table.
// The base-64 form "//..." of very large offsets stays unresolved.
std::string LongSectionName(Bytes file, const Image& image, const SectionHeader& h) {
    if (h.name[0] != '/') {
        return {};
    }
    std::uint64_t offset = 0;
    std::size_t digits = 0;
    for (std::size_t i = 1; i < sizeof h.name && h.name[i] != '\0'; ++i, ++digits) {
        if (h.name[i] < '0' || h.name[i] > '9') {
            return {};
        }
        offset = offset * 10 + static_cast<std::uint64_t>(h.name[i] - '0');
    }
    const std::optional<Bytes> table =
        Slice(file, image.stringTable.offset, image.stringTable.size);
    // The first four bytes are the table's size, not a name.
    if (digits == 0 || !table || offset < sizeof(std::uint32_t) || offset >= table->size()) {
        return {};
    }
    const auto begin = table->begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = std::find(begin, table->end(), std::uint8_t{0});
    if (end == table->end()) {
        return {}; // not ended inside the table: no name it holds
    }
    return {begin, end};
}

} // namespace

std::string Section::Name() const {
    const char* begin = header.name;
    return {begin, std::find(begin, begin + sizeof header.name, '\0')};
}

std::string Section::FullName() const {
    return longName.empty() ? Name() : longName;
}

DataDirectory Image::Directory(std::uint32_t index) const {
    return index < dataDirectories.size() ? dataDirectories[index] : DataDirectory{0, 0};
}

const Section* Image::SectionOfRva(std::uint32_t rva) const {
    auto startOf = [&](std::uint32_t i) { return sections[i].header.virtualAddress; };
    // The first section that starts above the RVA, then back to the first of
    // those that share the start just below it.
    auto it =
        std::upper_bound(sectionsByRva.begin(), sectionsByRva.end(), rva,
                         [&](std::uint32_t value, std::uint32_t i) { return value < startOf(i); });
    if (it == sectionsByRva.begin()) {
        return nullptr;
    }
    const std::uint32_t start = startOf(*std::prev(it));
    it = std::lower_bound(sectionsByRva.begin(), it, start,
                          [&](std::uint32_t i, std::uint32_t value) { return startOf(i) < value; });
    const SectionHeader& h = sections[*it].header;
    return rva - h.virtualAddress < h.sizeOfRawData ? &sections[*it] : nullptr;
}

std::optional<Image::FileRange> Image::RvaToFile(std::uint32_t rva) const {
    const Section* section = SectionOfRva(rva);
    if (section == nullptr) {
        return std::nullopt;
    }
    const SectionHeader& h = section->header;
    const std::uint64_t delta = rva - h.virtualAddress;
    const std::uint64_t offset = static_cast<std::uint64_t>(h.pointerToRawData) + delta;
    if (offset >= fileSize) {
        return std::nullopt;
    }
    return FileRange{offset, std::min<std::uint64_t>(h.sizeOfRawData - delta, fileSize - offset)};
}

std::optional<Bytes> Image::SliceAtRva(Bytes file, std::uint32_t rva, std::uint32_t size) const {
    const std::optional<FileRange> range = RvaToFile(rva);
    if (!range || size > range->size) {
        return std::nullopt;
    }
    return Slice(file, range->offset, size);
}

Result<Image> ParseImage(Bytes file) {
    Image image;
    image.fileSize = file.size();
    const std::optional<DosHeader> dos = ReadAt<DosHeader>(file, 0);
    if (!dos || dos->magic != kDosMagic) {
        return MakeError("not an executable image (no MZ header)");
    }
    image.peHeaderOffset = dos->peHeaderOffset;
    const std::optional<std::uint32_t> signature = ReadU32(file, image.peHeaderOffset);
    if (!signature || *signature != kPeSignature) {
        return MakeError("not a PE image (no PE signature)");
    }
    image.coffHeaderOffset = image.peHeaderOffset + sizeof(std::uint32_t);
    const std::optional<CoffFileHeader> coff = ReadAt<CoffFileHeader>(file, image.coffHeaderOffset);
    if (!coff) {
        return MakeError("COFF header: past the end of the file");
    }
    image.coff = *coff;
    image.fields.numberOfSections =
        image.coffHeaderOffset + offsetof(CoffFileHeader, numberOfSections);
    image.fields.pointerToSymbolTable =
        image.coffHeaderOffset + offsetof(CoffFileHeader, pointerToSymbolTable);
    image.optionalHeaderOffset = image.coffHeaderOffset + sizeof(CoffFileHeader);

    KORVA_ASSIGN_OR_RETURN(const std::uint64_t fixedSize, ParseOptionalHeader(file, image));
    KORVA_RETURN_IF_ERROR(ParseDataDirectories(file, fixedSize, image));
    KORVA_RETURN_IF_ERROR(ParseSectionTable(file, image));
    FindSymbolTable(file, image);
    for (Section& section : image.sections) {
        section.longName = LongSectionName(file, image, section.header);
    }
    return image;
}

} // namespace korva::pe
