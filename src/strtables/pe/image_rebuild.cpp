#include "strtables/pe/image_rebuild.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

#include "strtables/pe/align.h"
#include "strtables/pe/checksum.h"

namespace korva::pe {

namespace {

constexpr std::uint32_t kSectionMemExecute = 0x20000000;
constexpr std::uint32_t kSectionMemWrite = 0x80000000;
constexpr std::uint64_t kMax32 = 0xFFFFFFFF;
constexpr std::uint32_t kMaxFileAlignment = 0x10000;
constexpr std::uint64_t kDebugEntrySize = 28;
constexpr std::uint64_t kDebugAddressOfRawData = 20;
constexpr std::uint64_t kDebugPointerToRawData = 24;
constexpr std::uint64_t kEntryPointField = offsetof(OptionalHeader32, addressOfEntryPoint);
static_assert(offsetof(OptionalHeader32, addressOfEntryPoint) ==
              offsetof(OptionalHeader64, addressOfEntryPoint));

const char* const kDirectoryNames[kMaxDataDirectories] = {
    "export",          "import",       "resource",       "exception",      "certificate",
    "base relocation", "debug",        "architecture",   "global pointer", "TLS",
    "load config",     "bound import", "import address", "delay import",   "CLR runtime",
    "reserved"};

// How far a section reaches in memory. Some linkers leave VirtualSize 0 and
// mean SizeOfRawData.
std::uint64_t VirtualExtent(const SectionHeader& h) {
    return std::max(h.virtualSize, h.sizeOfRawData);
}

std::uint64_t VirtualEnd(const SectionHeader& h) {
    return h.virtualAddress + VirtualExtent(h);
}

bool Overlap(std::uint64_t a, std::uint64_t aSize, std::uint64_t b, std::uint64_t bSize) {
    return aSize != 0 && bSize != 0 && a < b + bSize && b < a + aSize;
}

bool Contains(std::uint64_t start, std::uint64_t size, std::uint64_t at) {
    return at >= start && at - start < size;
}

std::string SectionLabel(const Image& image, std::size_t index) {
    std::string label = "section ";
    const std::string name = image.sections[index].Name();
    // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on "literal" + string.
    if (name.empty()) {
        label += '#';
        label += std::to_string(index + 1);
    } else {
        label += name;
    }
    return label;
}

// A byte range of the old file or image and where it starts in the new one.
struct Move {
    std::uint64_t oldStart = 0;
    std::uint64_t size = 0;
    std::uint64_t newStart = 0;
};

struct Range {
    std::uint64_t start = 0;
    std::uint64_t size = 0;
};

// Everything decided about the new file before a byte of it is written.
struct Plan {
    Placement placement = Placement::InPlace;
    std::vector<SectionHeader> headers; // the new section table
    std::size_t resourceSection = 0;    // index into headers
    std::uint64_t keepPrefix = 0;       // old bytes [0, keepPrefix) stay where they are
    std::uint64_t newRawEnd = 0;        // where the overlay starts in the new file
    std::vector<Move> fileMoves;        // section contents and overlay pieces
    std::vector<Move> rvaMoves;         // moved sections
    std::vector<Range> rewrittenFile;   // old bytes whose content is replaced
    std::vector<Range> rewrittenRva;
    std::vector<Range> changedRva; // image ranges whose content differs afterwards
    bool certificateRemoved = false;
};

class Rebuilder {
public:
    Rebuilder(Bytes file, const Image& image, const ResourceDirectory& originalTree,
              const ResourceLayout& layout, const PageRelease& release)
        : file_(file), image_(image), originalTree_(originalTree), layout_(layout),
          release_(release) {}

    Result<PlannedImage> Run();

private:
    Result<bool> CheckBasics();
    std::optional<std::size_t> FindResourceSection() const;
    std::string WhyNotResourceOnly(std::size_t index) const;
    std::string WhyNotMovable(std::size_t index) const;
    std::string DirectoryInside(std::uint64_t start, std::uint64_t size,
                                std::initializer_list<std::uint32_t> allowed) const;
    bool RelocationsPatch(std::uint64_t start, std::uint64_t size) const;
    bool TryInPlace(std::size_t s, Plan& plan) const;
    Result<bool> TryGrow(std::size_t s, Plan& plan) const;
    Result<bool> TryNewSection(Plan& plan) const;
    void PlanOverlay(Plan& plan) const;
    Result<bool> CheckKeptPointers(const Plan& plan) const;
    Result<PlannedImage> Write(const Plan& plan) const;
    Result<bool> FixDebugDirectory(const Plan& plan, ImagePieces& out) const;

    Bytes file_;
    const Image& image_;
    const ResourceDirectory& originalTree_;
    const ResourceLayout& layout_;
    const PageRelease& release_;
    std::uint32_t entryPoint_ = 0;
    std::uint64_t oldRawEnd_ = 0;
};

Result<bool> Rebuilder::CheckBasics() {
    if (image_.dataDirectories.size() <= kResourceDirectory) {
        return MakeError("the optional header has no entry for a resource directory");
    }
    if (image_.fileAlignment == 0 || image_.sectionAlignment == 0 ||
        !std::has_single_bit(image_.fileAlignment) ||
        !std::has_single_bit(image_.sectionAlignment)) {
        return MakeError("section or file alignment is not a power of two");
    }
    // The format allows up to 64 KiB; a larger one would pad a new section
    // with up to gigabytes of zeros.
    if (image_.fileAlignment > kMaxFileAlignment) {
        return MakeError("file alignment above 64 KiB");
    }
    const std::optional<std::uint32_t> entry =
        ReadU32(file_, image_.optionalHeaderOffset + kEntryPointField);
    entryPoint_ = entry.value_or(0);
    oldRawEnd_ = std::max<std::uint64_t>(image_.sectionTableEnd, image_.sizeOfHeaders);
    std::vector<std::size_t> withData;
    for (std::size_t i = 0; i < image_.sections.size(); ++i) {
        const SectionHeader& h = image_.sections[i].header;
        if (h.sizeOfRawData == 0) {
            continue;
        }
        const std::uint64_t end = std::uint64_t{h.pointerToRawData} + h.sizeOfRawData;
        if (end > file_.size()) {
            return MakeError(SectionLabel(image_, i) + " runs past the end of the file");
        }
        oldRawEnd_ = std::max(oldRawEnd_, end);
        withData.push_back(i);
    }
    std::sort(withData.begin(), withData.end(), [&](std::size_t a, std::size_t b) {
        return image_.sections[a].header.pointerToRawData <
               image_.sections[b].header.pointerToRawData;
    });
    for (std::size_t k = 1; k < withData.size(); ++k) {
        const SectionHeader& before = image_.sections[withData[k - 1]].header;
        const SectionHeader& after = image_.sections[withData[k]].header;
        if (std::uint64_t{before.pointerToRawData} + before.sizeOfRawData >
            after.pointerToRawData) {
            return MakeError(SectionLabel(image_, withData[k - 1]) + " and " +
                             SectionLabel(image_, withData[k]) + " share file bytes");
        }
    }
    if (oldRawEnd_ > file_.size()) {
        return MakeError("the headers run past the end of the file");
    }
    return true;
}

std::optional<std::size_t> Rebuilder::FindResourceSection() const {
    const DataDirectory dir = image_.Directory(kResourceDirectory);
    if (dir.virtualAddress == 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < image_.sections.size(); ++i) {
        const SectionHeader& h = image_.sections[i].header;
        if (Contains(h.virtualAddress, VirtualExtent(h), dir.virtualAddress)) {
            return i;
        }
    }
    return std::nullopt;
}

// The name of a data directory (other than `allowed` ones) that points into
// the range, or empty.
std::string Rebuilder::DirectoryInside(std::uint64_t start, std::uint64_t size,
                                       std::initializer_list<std::uint32_t> allowed) const {
    for (std::uint32_t i = 0; i < image_.dataDirectories.size(); ++i) {
        const DataDirectory& d = image_.dataDirectories[i];
        if (i == kCertificateDirectory || d.virtualAddress == 0 ||
            std::find(allowed.begin(), allowed.end(), i) != allowed.end()) {
            continue;
        }
        // A directory of size 0 still names an address the program may use.
        if (Overlap(start, size, d.virtualAddress, std::max<std::uint32_t>(d.size, 1))) {
            return std::string(kDirectoryNames[i]) + " directory";
        }
    }
    return {};
}

// True when a base relocation patches an address in the range: the loader
// would patch whatever new bytes lie there, and moved bytes would lose their
// fix-ups. A table the loader could not read patches nothing.
bool Rebuilder::RelocationsPatch(std::uint64_t start, std::uint64_t size) const {
    const DataDirectory dir = image_.Directory(kBaseRelocationDirectory);
    const std::optional<Bytes> table = image_.SliceAtRva(file_, dir.virtualAddress, dir.size);
    if (dir.virtualAddress == 0 || !table) {
        return false;
    }
    constexpr std::uint64_t kBlockHeader = 8;
    constexpr std::uint64_t kPage = 0x1000;
    std::uint64_t at = 0;
    while (at + kBlockHeader <= table->size()) {
        const std::uint32_t page = *ReadU32(*table, at);
        const std::uint32_t blockSize = *ReadU32(*table, at + 4);
        if (blockSize < kBlockHeader || blockSize > table->size() - at) {
            break;
        }
        // Only blocks whose page meets the range need their entries read.
        if (Overlap(page, kPage + 8, start, size)) {
            for (std::uint64_t e = at + kBlockHeader; e + 2 <= at + blockSize; e += 2) {
                const std::uint16_t entry = *ReadU16(*table, e);
                constexpr std::uint16_t kAbsolute = 0; // padding, patches nothing
                if ((entry >> 12) != kAbsolute &&
                    Overlap(page + (entry & 0xFFFu), 8, start, size)) {
                    return true;
                }
            }
        }
        at += blockSize;
    }
    return false;
}

// Empty when the section holds nothing but the resources, so the whole of it
// may be rewritten; otherwise what else lives there.
std::string Rebuilder::WhyNotResourceOnly(std::size_t index) const {
    const SectionHeader& h = image_.sections[index].header;
    const DataDirectory dir = image_.Directory(kResourceDirectory);
    if (dir.virtualAddress != h.virtualAddress) {
        return "the resource directory does not start its section";
    }
    if (h.sizeOfRawData == 0 || h.pointerToRawData < image_.sectionTableEnd) {
        return "the resource section has no raw data of its own";
    }
    if ((h.characteristics & (kSectionCntCode | kSectionMemExecute)) != 0) {
        return "the resource section holds code";
    }
    if (const std::string other =
            DirectoryInside(h.virtualAddress, VirtualExtent(h), {kResourceDirectory});
        !other.empty()) {
        return "the resource section also holds the " + other;
    }
    if (Contains(h.virtualAddress, VirtualExtent(h), entryPoint_)) {
        return "the resource section holds the entry point";
    }
    if (RelocationsPatch(h.virtualAddress, VirtualExtent(h))) {
        return "base relocations patch the resource section";
    }
    // The resource data reaches to the end of the directory or of its last
    // data entry inside the section; anything but zeros after that is data of
    // someone else.
    std::uint64_t end = std::uint64_t{dir.virtualAddress} + dir.size;
    std::vector<const ResourceDirectory*> pending{&originalTree_};
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
    const std::uint64_t used = std::min<std::uint64_t>(end - h.virtualAddress, h.sizeOfRawData);
    const Bytes rest = file_.subspan(h.pointerToRawData + used, h.sizeOfRawData - used);
    if (std::any_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b != 0; })) {
        return "the resource section holds other data after the resources";
    }
    return {};
}

// Empty when the section may move to a new address: relocation data or a
// discardable section that nothing but its own data directory points into.
std::string Rebuilder::WhyNotMovable(std::size_t index) const {
    const SectionHeader& h = image_.sections[index].header;
    const std::string label = SectionLabel(image_, index);
    const bool relocations = image_.sections[index].Name() == ".reloc";
    if ((h.characteristics & (kSectionCntCode | kSectionMemExecute | kSectionMemWrite)) != 0 ||
        (!relocations && (h.characteristics & kSectionMemDiscardable) == 0)) {
        return label + " follows the resources and holds code or data";
    }
    if (const std::string other = DirectoryInside(h.virtualAddress, VirtualExtent(h),
                                                  {kBaseRelocationDirectory, kDebugDirectory});
        !other.empty()) {
        return label + " follows the resources and holds the " + other;
    }
    if (Contains(h.virtualAddress, VirtualExtent(h), entryPoint_)) {
        return label + " follows the resources and holds the entry point";
    }
    if (RelocationsPatch(h.virtualAddress, VirtualExtent(h))) {
        return label + " follows the resources and base relocations patch it";
    }
    return {};
}

bool Rebuilder::TryInPlace(std::size_t s, Plan& plan) const {
    const SectionHeader& h = image_.sections[s].header;
    const std::uint64_t newVirtualSize = std::max<std::uint64_t>(h.virtualSize, layout_.size());
    std::uint64_t limit = AlignUp(VirtualEnd(h), image_.sectionAlignment);
    for (const Section& other : image_.sections) {
        if (other.header.virtualAddress > h.virtualAddress) {
            limit = std::min<std::uint64_t>(limit, other.header.virtualAddress);
        }
    }
    if (layout_.size() > h.sizeOfRawData || h.virtualAddress + newVirtualSize > limit) {
        return false;
    }
    plan.placement = Placement::InPlace;
    plan.resourceSection = s;
    plan.headers[s].virtualSize = static_cast<std::uint32_t>(newVirtualSize);
    plan.keepPrefix = oldRawEnd_;
    plan.newRawEnd = oldRawEnd_;
    plan.rewrittenFile.push_back({h.pointerToRawData, h.sizeOfRawData});
    plan.rewrittenRva.push_back({h.virtualAddress, VirtualExtent(h)});
    plan.changedRva.push_back({h.virtualAddress, std::max(VirtualExtent(h), newVirtualSize)});
    return true;
}

Result<bool> Rebuilder::TryGrow(std::size_t s, Plan& plan) const {
    const SectionHeader& h = image_.sections[s].header;
    // Sections after the resources in memory move up; sections after them in
    // the file move back. Either kind must be safe to move.
    std::vector<std::size_t> memoryMoved;
    std::vector<std::size_t> fileMoved;
    for (std::size_t i = 0; i < image_.sections.size(); ++i) {
        const SectionHeader& o = image_.sections[i].header;
        if (i == s) {
            continue;
        }
        const bool afterInMemory = o.virtualAddress > h.virtualAddress;
        const bool afterInFile = o.sizeOfRawData != 0 && o.pointerToRawData > h.pointerToRawData;
        if (!afterInMemory && !afterInFile) {
            continue;
        }
        if (std::string why = WhyNotMovable(i); !why.empty()) {
            return MakeError(why);
        }
        if (afterInMemory) {
            memoryMoved.push_back(i);
        }
        if (afterInFile) {
            fileMoved.push_back(i);
        }
    }

    const std::uint64_t fileAlign = image_.fileAlignment;
    const std::uint64_t sectionAlign = image_.sectionAlignment;
    const std::uint64_t newRaw =
        std::max<std::uint64_t>(h.sizeOfRawData, AlignUp(layout_.size(), fileAlign));
    const std::uint64_t newVirtualSize = std::max<std::uint64_t>(h.virtualSize, layout_.size());
    SectionHeader& grown = plan.headers[s];
    grown.sizeOfRawData = static_cast<std::uint32_t>(std::min(newRaw, kMax32));
    grown.virtualSize = static_cast<std::uint32_t>(std::min(newVirtualSize, kMax32));
    if (newRaw > kMax32 || newVirtualSize > kMax32) {
        return MakeError("the resource section would outgrow 32 bits");
    }

    // The loader wants sections in ascending, adjacent addresses: the moved
    // ones keep their order and follow the grown section without a gap.
    std::uint64_t memoryCursor = h.virtualAddress + std::max(newVirtualSize, newRaw);
    std::sort(memoryMoved.begin(), memoryMoved.end(), [&](std::size_t a, std::size_t b) {
        return image_.sections[a].header.virtualAddress < image_.sections[b].header.virtualAddress;
    });
    for (const std::size_t i : memoryMoved) {
        const SectionHeader& o = image_.sections[i].header;
        const std::uint64_t at = AlignUp(memoryCursor, sectionAlign);
        if (at + VirtualExtent(o) > kMax32) {
            return MakeError("moving " + SectionLabel(image_, i) +
                             " would leave the 32-bit address space");
        }
        plan.headers[i].virtualAddress = static_cast<std::uint32_t>(at);
        if (at != o.virtualAddress) {
            plan.rvaMoves.push_back({o.virtualAddress, VirtualExtent(o), at});
            plan.changedRva.push_back({o.virtualAddress, VirtualExtent(o)});
            plan.changedRva.push_back({at, VirtualExtent(o)});
        }
        memoryCursor = at + VirtualExtent(o);
    }

    std::uint64_t fileCursor = std::uint64_t{h.pointerToRawData} + newRaw;
    std::sort(fileMoved.begin(), fileMoved.end(), [&](std::size_t a, std::size_t b) {
        return image_.sections[a].header.pointerToRawData <
               image_.sections[b].header.pointerToRawData;
    });
    for (const std::size_t i : fileMoved) {
        const SectionHeader& o = image_.sections[i].header;
        const std::uint64_t at =
            std::max<std::uint64_t>(o.pointerToRawData, AlignUp(fileCursor, fileAlign));
        if (at + o.sizeOfRawData > kMax32) {
            return MakeError("moving " + SectionLabel(image_, i) + " would pass 4 GiB of file");
        }
        plan.headers[i].pointerToRawData = static_cast<std::uint32_t>(at);
        plan.fileMoves.push_back({o.pointerToRawData, o.sizeOfRawData, at});
        fileCursor = at + o.sizeOfRawData;
    }

    plan.placement = Placement::Grown;
    plan.resourceSection = s;
    plan.keepPrefix = h.pointerToRawData;
    plan.newRawEnd = std::max(fileCursor, std::uint64_t{h.pointerToRawData} + newRaw);
    plan.rewrittenFile.push_back({h.pointerToRawData, h.sizeOfRawData});
    plan.rewrittenRva.push_back({h.virtualAddress, VirtualExtent(h)});
    plan.changedRva.push_back({h.virtualAddress, std::max(newVirtualSize, newRaw)});
    return true;
}

Result<bool> Rebuilder::TryNewSection(Plan& plan) const {
    const std::uint64_t slot = image_.sectionTableEnd;
    const std::uint64_t slotEnd = slot + sizeof(SectionHeader);
    if (slotEnd > image_.sizeOfHeaders || slotEnd > image_.firstSectionData ||
        slotEnd > file_.size()) {
        return MakeError("the headers have no room for another section header");
    }
    const Bytes room = file_.subspan(slot, sizeof(SectionHeader));
    if (std::any_of(room.begin(), room.end(), [](std::uint8_t b) { return b != 0; })) {
        return MakeError("the space after the section table is in use");
    }
    if (image_.coff.numberOfSections == 0xFFFF) {
        return MakeError("the image has the largest number of sections");
    }

    // Adjacent to the last section, as the loader wants.
    std::uint64_t memoryEnd = image_.sizeOfHeaders;
    for (const Section& section : image_.sections) {
        memoryEnd = std::max(memoryEnd, VirtualEnd(section.header));
        if (slotEnd > section.header.virtualAddress) {
            return MakeError("the headers have no room for another section header");
        }
    }
    const std::uint64_t rva = AlignUp(memoryEnd, image_.sectionAlignment);
    const std::uint64_t offset = AlignUp(oldRawEnd_, image_.fileAlignment);
    const std::uint64_t raw = AlignUp(layout_.size(), image_.fileAlignment);
    if (rva + std::max<std::uint64_t>(raw, layout_.size()) > kMax32) {
        return MakeError("a new section would leave the 32-bit address space");
    }
    if (offset + raw > kMax32) {
        return MakeError("a new section would pass 4 GiB of file");
    }

    // Tools that look resources up by section name should find the new ones.
    bool nameTaken = false;
    for (const Section& section : image_.sections) {
        nameTaken = nameTaken || section.Name() == ".rsrc";
    }
    SectionHeader added{};
    std::memcpy(added.name, nameTaken ? ".rsrc2" : ".rsrc", nameTaken ? 6 : 5);
    added.virtualSize = layout_.size();
    added.virtualAddress = static_cast<std::uint32_t>(rva);
    added.sizeOfRawData = static_cast<std::uint32_t>(raw);
    added.pointerToRawData = static_cast<std::uint32_t>(offset);
    added.characteristics = kSectionCntInitializedData | kSectionMemRead;
    plan.headers.push_back(added);

    plan.placement = Placement::NewSection;
    plan.resourceSection = plan.headers.size() - 1;
    plan.keepPrefix = oldRawEnd_;
    plan.newRawEnd = offset + raw;
    plan.changedRva.push_back({rva, std::max<std::uint64_t>(raw, layout_.size())});
    return true;
}

// The bytes after the last section follow the sections, unchanged, except a
// certificate table there, whose signature the rewrite breaks anyway.
void Rebuilder::PlanOverlay(Plan& plan) const {
    const DataDirectory certificate = image_.Directory(kCertificateDirectory);
    plan.certificateRemoved = certificate.virtualAddress != 0 || certificate.size != 0;
    const std::uint64_t start = oldRawEnd_;
    const std::uint64_t end = file_.size();
    const std::uint64_t certStart = certificate.virtualAddress;
    const std::uint64_t certEnd = certStart + certificate.size;
    if (certificate.size != 0 && certStart >= start && certEnd <= end) {
        plan.fileMoves.push_back({start, certStart - start, plan.newRawEnd});
        plan.fileMoves.push_back({certEnd, end - certEnd, plan.newRawEnd + (certStart - start)});
    } else {
        plan.fileMoves.push_back({start, end - start, plan.newRawEnd});
    }
}

Result<bool> CheckLimits(const Plan& plan) {
    for (const SectionHeader& h : plan.headers) {
        if (VirtualEnd(h) > kMax32) {
            return MakeError("a section would end beyond the 32-bit address space");
        }
    }
    if (plan.newRawEnd > kMax32) {
        return MakeError("the sections would pass 4 GiB of file");
    }
    return true;
}

// A data entry the reader could not find in the file is written back as it
// was; that stays right only while nothing changes at the address it names.
Result<bool> Rebuilder::CheckKeptPointers(const Plan& plan) const {
    for (const KeptPointer& kept : layout_.keptPointers()) {
        for (const Range& changed : plan.changedRva) {
            if (Overlap(kept.rva, std::max<std::uint32_t>(kept.size, 1), changed.start,
                        changed.size)) {
                return MakeError("a resource whose data lies outside the file points at "
                                 "addresses the rewrite changes");
            }
        }
    }
    return true;
}

// Where an old file offset lies in the new file, if its bytes survive.
std::optional<std::uint64_t> MapFileOffset(const Plan& plan, std::uint64_t offset) {
    for (const Range& r : plan.rewrittenFile) {
        if (Contains(r.start, r.size, offset)) {
            return std::nullopt;
        }
    }
    for (const Move& m : plan.fileMoves) {
        if (Contains(m.oldStart, m.size, offset)) {
            return m.newStart + (offset - m.oldStart);
        }
    }
    if (offset < plan.keepPrefix) {
        return offset;
    }
    return std::nullopt;
}

// Where an old RVA lies in the new image, if its bytes survive.
std::optional<std::uint64_t> MapRva(const Plan& plan, std::uint64_t rva) {
    for (const Range& r : plan.rewrittenRva) {
        if (Contains(r.start, r.size, rva)) {
            return std::nullopt;
        }
    }
    for (const Move& m : plan.rvaMoves) {
        if (Contains(m.oldStart, m.size, rva)) {
            return m.newStart + (rva - m.oldStart);
        }
    }
    return rva;
}

Result<bool> Rebuilder::FixDebugDirectory(const Plan& plan, ImagePieces& out) const {
    const DataDirectory debug = image_.Directory(kDebugDirectory);
    if (debug.virtualAddress == 0 || debug.size == 0) {
        return true;
    }
    // Reads the old directory, writes the same entries at their new place.
    const std::optional<Bytes> old = image_.SliceAtRva(file_, debug.virtualAddress, debug.size);
    const std::optional<Image::FileRange> oldAt = image_.RvaToFile(debug.virtualAddress);
    if (!old || !oldAt) {
        return true; // the loader cannot read it either; nothing points anywhere
    }
    const std::optional<std::uint64_t> newAt = MapFileOffset(plan, oldAt->offset);
    const std::optional<std::uint64_t> newLast =
        MapFileOffset(plan, oldAt->offset + old->size() - 1);
    if (!newAt || !newLast || *newLast != *newAt + old->size() - 1) {
        return MakeError("the debug directory lies in bytes the rewrite replaces");
    }
    for (std::uint64_t e = 0; e + kDebugEntrySize <= old->size(); e += kDebugEntrySize) {
        const std::uint32_t rva = *ReadU32(*old, e + kDebugAddressOfRawData);
        const std::uint32_t pointer = *ReadU32(*old, e + kDebugPointerToRawData);
        if (rva != 0) {
            const std::optional<std::uint64_t> mapped = MapRva(plan, rva);
            if (!mapped) {
                return MakeError("debug data lies in bytes the rewrite replaces");
            }
            out.PatchU32(*newAt + e + kDebugAddressOfRawData, static_cast<std::uint32_t>(*mapped));
        }
        if (pointer != 0 && pointer < file_.size()) {
            const std::optional<std::uint64_t> mapped = MapFileOffset(plan, pointer);
            if (!mapped) {
                return MakeError("debug data lies in bytes the rewrite replaces or drops");
            }
            out.PatchU32(*newAt + e + kDebugPointerToRawData, static_cast<std::uint32_t>(*mapped));
        }
    }
    return true;
}

Result<PlannedImage> Rebuilder::Write(const Plan& plan) const {
    const SectionHeader& target = plan.headers[plan.resourceSection];
    std::uint64_t total = plan.newRawEnd;
    for (const Move& m : plan.fileMoves) {
        total = std::max(total, m.newStart + m.size);
    }
    PlannedImage result;
    result.pieces = ImagePieces(total);
    ImagePieces& out = result.pieces;
    out.Place(0, file_.first(plan.keepPrefix));
    for (const Move& m : plan.fileMoves) {
        out.Place(m.newStart, file_.subspan(m.oldStart, m.size));
    }
    out.Zero(target.pointerToRawData, target.sizeOfRawData);
    if (Result<bool> r =
            PlaceResources(layout_, target.virtualAddress, out, target.pointerToRawData);
        !r) {
        return r.error();
    }

    for (std::size_t i = 0; i < plan.headers.size(); ++i) {
        SectionHeader h = plan.headers[i];
        for (std::uint32_t* pointer : {&h.pointerToRelocations, &h.pointerToLinenumbers}) {
            if (*pointer != 0) {
                *pointer =
                    static_cast<std::uint32_t>(MapFileOffset(plan, *pointer).value_or(*pointer));
            }
        }
        std::uint8_t raw[sizeof(SectionHeader)];
        std::memcpy(raw, &h, sizeof raw);
        out.Patch(image_.sectionTableOffset + i * sizeof(SectionHeader), raw);
    }
    out.PatchU16(image_.fields.numberOfSections, static_cast<std::uint16_t>(plan.headers.size()));

    for (std::uint32_t i = 0; i < image_.dataDirectories.size(); ++i) {
        const std::uint64_t at = image_.fields.dataDirectories + 8 * std::uint64_t{i};
        const DataDirectory& d = image_.dataDirectories[i];
        if (i == kResourceDirectory) {
            out.PatchU32(at, target.virtualAddress);
            out.PatchU32(at + 4, layout_.size());
        } else if (i == kCertificateDirectory) {
            if (plan.certificateRemoved) {
                out.PatchU32(at, 0);
                out.PatchU32(at + 4, 0);
            }
        } else if (d.virtualAddress != 0) {
            const std::optional<std::uint64_t> mapped = MapRva(plan, d.virtualAddress);
            if (!mapped) {
                return MakeError(std::string("the ") + kDirectoryNames[i] +
                                 " directory lies in bytes the rewrite replaces");
            }
            out.PatchU32(at, static_cast<std::uint32_t>(*mapped));
        }
    }
    if (const Result<bool> r = FixDebugDirectory(plan, out); !r) {
        return r.error();
    }

    const std::uint32_t symbols = image_.coff.pointerToSymbolTable;
    if (symbols != 0 && symbols < file_.size()) {
        const std::optional<std::uint64_t> mapped = MapFileOffset(plan, symbols);
        if (!mapped) {
            return MakeError("the COFF symbol table lies in bytes the rewrite replaces or drops");
        }
        out.PatchU32(image_.fields.pointerToSymbolTable, static_cast<std::uint32_t>(*mapped));
    }

    std::uint64_t memoryEnd = 0;
    std::int64_t initializedDelta = 0;
    for (std::size_t i = 0; i < plan.headers.size(); ++i) {
        const SectionHeader& h = plan.headers[i];
        memoryEnd = std::max(memoryEnd, VirtualEnd(h));
        if ((h.characteristics & kSectionCntInitializedData) != 0) {
            const std::uint32_t before =
                i < image_.sections.size() ? image_.sections[i].header.sizeOfRawData : 0;
            initializedDelta += std::int64_t{h.sizeOfRawData} - std::int64_t{before};
        }
    }
    const std::uint64_t sizeOfImage =
        std::max<std::uint64_t>(image_.sizeOfImage, AlignUp(memoryEnd, image_.sectionAlignment));
    if (sizeOfImage > kMax32) {
        return MakeError("the image would outgrow the 32-bit address space");
    }
    out.PatchU32(image_.fields.sizeOfImage, static_cast<std::uint32_t>(sizeOfImage));
    const std::int64_t initialized =
        std::clamp<std::int64_t>(std::int64_t{image_.sizeOfInitializedData} + initializedDelta, 0,
                                 static_cast<std::int64_t>(kMax32));
    out.PatchU32(image_.fields.sizeOfInitializedData, static_cast<std::uint32_t>(initialized));

    if (image_.checkSum != 0) {
        ImageChecksum sum(image_.fields.checkSum);
        out.ForEach(
            [&](std::uint64_t offset, std::uint64_t, Bytes bytes) {
                if (!bytes.empty()) {
                    sum.Add(offset, bytes);
                }
            },
            release_);
        out.PatchU32(image_.fields.checkSum, sum.Finish(total));
    }

    result.placement = plan.placement;
    result.resourceRva = target.virtualAddress;
    result.resourceSize = layout_.size();
    return result;
}

Result<PlannedImage> Rebuilder::Run() {
    if (const Result<bool> r = CheckBasics(); !r) {
        return r.error();
    }
    Plan plan;
    for (const Section& section : image_.sections) {
        plan.headers.push_back(section.header);
    }

    // Each way is tried in turn; the reasons the earlier ones were refused
    // make the message when none is left.
    std::string refused;
    const std::optional<std::size_t> s = FindResourceSection();
    bool placed = false;
    if (s) {
        refused = WhyNotResourceOnly(*s);
        if (refused.empty()) {
            placed = TryInPlace(*s, plan);
            if (!placed) {
                Plan grown = plan;
                const Result<bool> r = TryGrow(*s, grown);
                placed = r.ok();
                if (placed) {
                    plan = std::move(grown);
                } else {
                    refused = r.error().message;
                }
            }
        }
    }
    if (!placed) {
        const Result<bool> added = TryNewSection(plan);
        if (!added) {
            return MakeError("no safe place for the resources: " +
                             (refused.empty() ? "" : refused + ", and ") + added.error().message);
        }
    }
    PlanOverlay(plan);
    if (const Result<bool> r = CheckLimits(plan); !r) {
        return r.error();
    }
    if (const Result<bool> r = CheckKeptPointers(plan); !r) {
        return r.error();
    }
    return Write(plan);
}

} // namespace

Result<PlannedImage> PlanRebuiltImage(Bytes file, const Image& image,
                                      const ResourceDirectory& originalTree,
                                      const ResourceLayout& layout, const PageRelease& release) {
    return Rebuilder(file, image, originalTree, layout, release).Run();
}

Result<RebuiltImage> RebuildImage(Bytes file, const Image& image,
                                  const ResourceDirectory& originalTree,
                                  const ResourceLayout& layout) {
    Result<PlannedImage> planned = PlanRebuiltImage(file, image, originalTree, layout);
    if (!planned) {
        return planned.error();
    }
    RebuiltImage result;
    result.bytes = planned->pieces.Materialize();
    result.placement = planned->placement;
    result.resourceRva = planned->resourceRva;
    result.resourceSize = planned->resourceSize;
    return result;
}

} // namespace korva::pe
