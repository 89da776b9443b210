#include "strtables/pe/rebuild_rules.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace korva::pe {

namespace {

// A fix-up writes at most this many bytes at its address.
constexpr std::uint64_t kWidestFixup = 8;

// True when an entry of the block patches the range.
bool BlockPatches(Bytes table, std::uint64_t at, const BaseRelocationBlock& block,
                  std::uint64_t start, std::uint64_t size) {
    for (std::uint64_t e = at + sizeof(BaseRelocationBlock); e + 2 <= at + block.blockSize;
         e += 2) {
        const std::optional<std::uint16_t> entry = ReadU16(table, e);
        if (!entry) {
            return false;
        }
        if ((*entry >> kBaseRelocationTypeShift) != kBaseRelocationAbsolute &&
            Overlap(block.pageRva + (*entry & kBaseRelocationOffsetMask), kWidestFixup, start,
                    size)) {
            return true;
        }
    }
    return false;
}

// The resource data reaches to the end of the directory or of its last data
// entry inside the section.
std::uint64_t ResourceDataEnd(const RebuildSource& source, const SectionHeader& h) {
    const DataDirectory dir = source.image.Directory(kResourceDirectory);
    std::uint64_t end = std::uint64_t{dir.virtualAddress} + dir.size;
    std::vector<const ResourceDirectory*> pending{&source.originalTree};
    while (!pending.empty()) {
        const ResourceDirectory* directory = pending.back();
        pending.pop_back();
        for (const ResourceEntry& entry : directory->entries) {
            if (entry.subdirectory != nullptr) {
                pending.push_back(entry.subdirectory.get());
            } else if (entry.data != nullptr && entry.data->located &&
                       Contains(h.virtualAddress, h.sizeOfRawData, entry.data->originalRva)) {
                end = std::max(end,
                               std::uint64_t{entry.data->originalRva} + entry.data->originalSize);
            }
        }
    }
    return end;
}

// The loader finds the relocation table through its directory, wherever the
// section is and whatever it is called.
bool HoldsRelocationTable(const Image& image, const SectionHeader& h) {
    const DataDirectory dir = image.Directory(kBaseRelocationDirectory);
    return dir.virtualAddress != 0 &&
           Contains(h.virtualAddress, VirtualExtent(h), dir.virtualAddress);
}

// DWARF sections are known by their long names (GNU ld writes them as
// "/n"); a section that begins with the COFF symbol table holds symbols, as
// the .symtab some linkers add does.
bool HoldsDebugInformationOnly(const Image& image, const Section& section) {
    const SectionHeader& h = section.header;
    return section.FullName().starts_with(".debug_") ||
           (image.symbolTable.size != 0 && h.sizeOfRawData != 0 &&
            h.pointerToRawData == image.symbolTable.offset);
}

// A linker pads the section of a table with zeros; any other byte beside
// the table is data that code may read. True when there is none.
bool HoldsNothingElse(const RebuildSource& source, const SectionHeader& h, DataDirectory table) {
    const std::optional<Bytes> raw = Slice(source.file, h.pointerToRawData, h.sizeOfRawData);
    if (!raw) {
        return false;
    }
    const std::uint64_t start =
        std::min<std::uint64_t>(table.virtualAddress - h.virtualAddress, raw->size());
    const std::uint64_t end = std::min<std::uint64_t>(start + table.size, raw->size());
    const auto zero = [](std::uint8_t b) { return b == 0; };
    return std::all_of(raw->begin(), raw->begin() + static_cast<std::ptrdiff_t>(start), zero) &&
           std::all_of(raw->begin() + static_cast<std::ptrdiff_t>(end), raw->end(), zero);
}

} // namespace

bool IsRelocationOrDebugSection(const Image& image, std::size_t index) {
    const Section& section = image.sections[index];
    return HoldsRelocationTable(image, section.header) || HoldsDebugInformationOnly(image, section);
}

std::optional<std::string> DirectoryInside(const Image& image, std::uint64_t start,
                                           std::uint64_t size,
                                           std::initializer_list<std::uint32_t> allowed) {
    for (std::uint32_t i = 0; i < image.dataDirectories.size(); ++i) {
        const DataDirectory& d = image.dataDirectories[i];
        if (i == kCertificateDirectory || d.virtualAddress == 0 ||
            std::find(allowed.begin(), allowed.end(), i) != allowed.end()) {
            continue;
        }
        // A directory of size 0 still names an address the program may use.
        if (Overlap(start, size, d.virtualAddress, std::max<std::uint32_t>(d.size, 1))) {
            return std::string(kDataDirectoryNames[i]) + " directory";
        }
    }
    return std::nullopt;
}

// A table the loader could not read patches nothing.
bool RelocationsPatch(const RebuildSource& source, std::uint64_t start, std::uint64_t size) {
    const DataDirectory dir = source.image.Directory(kBaseRelocationDirectory);
    const std::optional<Bytes> table =
        source.image.SliceAtRva(source.file, dir.virtualAddress, dir.size);
    if (dir.virtualAddress == 0 || !table) {
        return false;
    }
    std::uint64_t at = 0;
    while (const std::optional<BaseRelocationBlock> block =
               ReadAt<BaseRelocationBlock>(*table, at)) {
        if (block->blockSize < sizeof(BaseRelocationBlock) ||
            block->blockSize > table->size() - at) {
            break;
        }
        // Only blocks whose page meets the range need their entries read.
        if (Overlap(block->pageRva, kBaseRelocationPageSize + kWidestFixup, start, size) &&
            BlockPatches(*table, at, *block, start, size)) {
            return true;
        }
        at += block->blockSize;
    }
    return false;
}

Result<void> CheckResourceOnly(const RebuildSource& source, std::size_t index) {
    const Image& image = source.image;
    const SectionHeader& h = image.sections[index].header;
    if (image.Directory(kResourceDirectory).virtualAddress != h.virtualAddress) {
        return MakeError("the resource directory does not start its section");
    }
    if (h.sizeOfRawData == 0 || h.pointerToRawData < image.sectionTableEnd) {
        return MakeError("the resource section has no raw data of its own");
    }
    if ((h.characteristics & (kSectionCntCode | kSectionMemExecute)) != 0) {
        return MakeError("the resource section holds code");
    }
    if (const std::optional<std::string> other =
            DirectoryInside(image, h.virtualAddress, VirtualExtent(h), {kResourceDirectory})) {
        return MakeError("the resource section also holds the " + *other);
    }
    if (Contains(h.virtualAddress, VirtualExtent(h), image.addressOfEntryPoint)) {
        return MakeError("the resource section holds the entry point");
    }
    if (RelocationsPatch(source, h.virtualAddress, VirtualExtent(h))) {
        return MakeError("base relocations patch the resource section");
    }
    // Anything but zeros after the resource data is data of someone else.
    const std::uint64_t used =
        std::min<std::uint64_t>(ResourceDataEnd(source, h) - h.virtualAddress, h.sizeOfRawData);
    const std::optional<Bytes> rest =
        Slice(source.file, h.pointerToRawData + used, h.sizeOfRawData - used);
    if (!rest) {
        return MakeError("the resource section runs past the end of the file");
    }
    // The raw data of a section nested there is that section's, and moves.
    const auto nestedAt = [&](std::uint64_t offset) {
        return std::any_of(source.nestedInResources.begin(), source.nestedInResources.end(),
                           [&](std::size_t n) {
                               const SectionHeader& o = image.sections[n].header;
                               return Contains(o.pointerToRawData, o.sizeOfRawData, offset);
                           });
    };
    for (std::size_t k = 0; k < rest->size(); ++k) {
        if ((*rest)[k] != 0 && !nestedAt(h.pointerToRawData + used + k)) {
            return MakeError("the resource section holds other data after the resources");
        }
    }
    return {};
}

Result<void> CheckMovable(const RebuildSource& source, std::size_t index) {
    const Image& image = source.image;
    const Section& section = image.sections[index];
    const SectionHeader& h = section.header;
    const std::string label = SectionLabel(image, index) + " follows the resources and ";
    const bool relocations = HoldsRelocationTable(image, h);
    if ((h.characteristics & (kSectionCntCode | kSectionMemExecute | kSectionMemWrite)) != 0 ||
        (!relocations && (h.characteristics & kSectionMemDiscardable) == 0)) {
        return MakeError(label + "holds code or data");
    }
    // Code reaches a section by addresses no header records (RIP-relative
    // loads need no base relocation), so only a section that no code reads
    // may move: the relocation table, which the loader finds through its
    // directory, and debug information, which debuggers find by name.
    if (relocations) {
        if (!HoldsNothingElse(source, h, image.Directory(kBaseRelocationDirectory))) {
            return MakeError(label + "holds other data besides the base relocations");
        }
    } else if (!HoldsDebugInformationOnly(image, section)) {
        return MakeError(label + "is neither the relocation table nor debug information");
    }
    if (const std::optional<std::string> other =
            DirectoryInside(image, h.virtualAddress, VirtualExtent(h),
                            {kBaseRelocationDirectory, kDebugDirectory})) {
        return MakeError(label + "holds the " + *other);
    }
    if (Contains(h.virtualAddress, VirtualExtent(h), image.addressOfEntryPoint)) {
        return MakeError(label + "holds the entry point");
    }
    if (RelocationsPatch(source, h.virtualAddress, VirtualExtent(h))) {
        return MakeError(label + "base relocations patch it");
    }
    return {};
}

} // namespace korva::pe
