#include "strtables/pe/rebuild_placement.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "strtables/pe/align.h"
#include "strtables/pe/rebuild_rules.h"

namespace korva::pe {

namespace {

// The resource section, when the whole of it may be rewritten.
Result<std::size_t> RewritableResourceSection(const RebuildSource& source) {
    if (!source.resourceSection) {
        return MakeError("the image has no resource section");
    }
    KORVA_RETURN_IF_ERROR(CheckResourceOnly(source, *source.resourceSection));
    return *source.resourceSection;
}

// The sections after the resource section `s`, in table order: those after
// it in memory move up, those after it in the file move back.
struct Followers {
    std::vector<std::size_t> all;
    std::vector<std::size_t> inMemory;
    std::vector<std::size_t> inFile;
};

Followers FollowersOf(const Image& image, std::size_t s) {
    const SectionHeader& h = image.sections[s].header;
    Followers out;
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const SectionHeader& o = image.sections[i].header;
        if (i == s) {
            continue;
        }
        const bool afterInMemory = o.virtualAddress > h.virtualAddress;
        // A section nested in the resource section's raw data moves out of it.
        const bool afterInFile = o.sizeOfRawData != 0 &&
                                 (o.pointerToRawData > h.pointerToRawData || RawDataInside(o, h));
        if (afterInMemory || afterInFile) {
            out.all.push_back(i);
        }
        if (afterInMemory) {
            out.inMemory.push_back(i);
        }
        if (afterInFile) {
            out.inFile.push_back(i);
        }
    }
    return out;
}

// The loader wants sections in ascending, adjacent addresses: the moved ones
// keep their order and follow the grown section without a gap, from
// `cursor` on.
Result<void> MoveUpInMemory(const Image& image, std::vector<std::size_t> moved,
                            std::uint64_t cursor, RebuildPlan& plan) {
    std::sort(moved.begin(), moved.end(), [&](std::size_t a, std::size_t b) {
        return image.sections[a].header.virtualAddress < image.sections[b].header.virtualAddress;
    });
    for (const std::size_t i : moved) {
        const SectionHeader& o = image.sections[i].header;
        const std::uint64_t at = AlignUp(cursor, image.sectionAlignment);
        if (at + VirtualExtent(o) > kMax32) {
            return MakeError("moving " + SectionLabel(image, i) +
                             " would leave the 32-bit address space");
        }
        plan.headers[i].virtualAddress = static_cast<std::uint32_t>(at);
        if (at != o.virtualAddress) {
            plan.rvaMoves.push_back({o.virtualAddress, VirtualExtent(o), at});
            plan.changedRva.push_back({o.virtualAddress, VirtualExtent(o)});
            plan.changedRva.push_back({at, VirtualExtent(o)});
        }
        cursor = at + VirtualExtent(o);
    }
    return {};
}

// The raw data of the moved sections, in file order from `cursor` on, never
// earlier than it was; gives where the last one ends.
Result<std::uint64_t> MoveBackInFile(const Image& image, std::vector<std::size_t> moved,
                                     std::uint64_t cursor, RebuildPlan& plan) {
    std::sort(moved.begin(), moved.end(), [&](std::size_t a, std::size_t b) {
        return image.sections[a].header.pointerToRawData <
               image.sections[b].header.pointerToRawData;
    });
    for (const std::size_t i : moved) {
        const SectionHeader& o = image.sections[i].header;
        const std::uint64_t at =
            std::max<std::uint64_t>(o.pointerToRawData, AlignUp(cursor, image.fileAlignment));
        if (at + o.sizeOfRawData > kMax32) {
            return MakeError("moving " + SectionLabel(image, i) + " would pass 4 GiB of file");
        }
        plan.headers[i].pointerToRawData = static_cast<std::uint32_t>(at);
        plan.fileMoves.push_back({o.pointerToRawData, o.sizeOfRawData, at});
        cursor = at + o.sizeOfRawData;
    }
    return cursor;
}

// The resource section `s` grown to hold the new resources, the sections in
// `followers` moved out of its way.
Result<RebuildPlan> GrowAndMove(const RebuildSource& source, const RebuildPlan& current,
                                std::size_t s, const Followers& followers) {
    const Image& image = source.image;
    const SectionHeader& h = image.sections[s].header;
    const std::uint64_t newRaw = std::max<std::uint64_t>(
        h.sizeOfRawData, AlignUp(source.layout.size(), image.fileAlignment));
    const std::uint64_t newVirtualSize =
        std::max<std::uint64_t>(h.virtualSize, source.layout.size());
    if (newRaw > kMax32 || newVirtualSize > kMax32) {
        return MakeError("the resource section would outgrow 32 bits");
    }
    RebuildPlan plan = current;
    plan.headers[s].sizeOfRawData = static_cast<std::uint32_t>(newRaw);
    plan.headers[s].virtualSize = static_cast<std::uint32_t>(newVirtualSize);
    const std::uint64_t memoryEnd = h.virtualAddress + std::max(newVirtualSize, newRaw);
    KORVA_RETURN_IF_ERROR(MoveUpInMemory(image, followers.inMemory, memoryEnd, plan));
    const std::uint64_t rawEnd = std::uint64_t{h.pointerToRawData} + newRaw;
    KORVA_ASSIGN_OR_RETURN(const std::uint64_t fileEnd,
                           MoveBackInFile(image, followers.inFile, rawEnd, plan));
    plan.placement = Placement::Grown;
    plan.resourceSection = s;
    plan.keepPrefix = h.pointerToRawData;
    plan.newRawEnd = std::max(fileEnd, rawEnd);
    plan.rewrittenFile.push_back({h.pointerToRawData, h.sizeOfRawData});
    plan.rewrittenRva.push_back({h.virtualAddress, VirtualExtent(h)});
    plan.changedRva.push_back({h.virtualAddress, std::max(newVirtualSize, newRaw)});
    return plan;
}

// The slot after the section table takes a new section header only where
// the headers reach past it, no section's data or memory begins inside it,
// and nothing lives there: it holds nothing but zeros, and neither a data
// directory nor the symbol table points into it (zeros may be data too).
Result<void> CheckRoomForSectionHeader(const RebuildSource& source) {
    const Image& image = source.image;
    const std::uint64_t slot = image.sectionTableEnd;
    const std::uint64_t slotEnd = slot + sizeof(SectionHeader);
    const std::optional<Bytes> room = Slice(source.file, slot, sizeof(SectionHeader));
    if (!room || slotEnd > image.sizeOfHeaders || slotEnd > image.firstSectionData) {
        return MakeError("the headers have no room for another section header");
    }
    if (std::any_of(room->begin(), room->end(), [](std::uint8_t b) { return b != 0; })) {
        return MakeError("the space after the section table is in use");
    }
    // The headers are mapped at RVA 0, so there an RVA is a file offset.
    if (const std::optional<std::string> user =
            DirectoryInside(image, slot, sizeof(SectionHeader), {})) {
        return MakeError("the " + *user + " lies in the space after the section table");
    }
    if (Overlap(image.symbolTable.offset, image.symbolTable.size, slot, sizeof(SectionHeader))) {
        return MakeError("the COFF symbol table lies in the space after the section table");
    }
    if (image.coff.numberOfSections == std::numeric_limits<std::uint16_t>::max()) {
        return MakeError("the image has the largest number of sections");
    }
    for (const Section& section : image.sections) {
        if (slotEnd > section.header.virtualAddress) {
            return MakeError("the headers have no room for another section header");
        }
    }
    return {};
}

// Tools that look resources up by section name should find the new ones.
SectionHeader NewSectionHeader(const Image& image) {
    bool nameTaken = false;
    for (const Section& section : image.sections) {
        nameTaken = nameTaken || section.Name() == ".rsrc";
    }
    SectionHeader added{};
    std::memcpy(added.name, nameTaken ? ".rsrc2" : ".rsrc", nameTaken ? 6 : 5);
    added.characteristics = kSectionCntInitializedData | kSectionMemRead;
    return added;
}

// The bytes after the last section follow the sections, unchanged, except a
// certificate table there, whose signature the rewrite breaks anyway.
void PlanOverlay(const RebuildSource& source, RebuildPlan& plan) {
    const DataDirectory certificate = source.image.Directory(kCertificateDirectory);
    plan.certificateRemoved = certificate.virtualAddress != 0 || certificate.size != 0;
    const std::uint64_t start = source.oldRawEnd;
    const std::uint64_t end = source.file.size();
    const std::uint64_t certStart = certificate.virtualAddress;
    const std::uint64_t certEnd = certStart + certificate.size;
    if (certificate.size != 0 && certStart >= start && certEnd <= end) {
        plan.fileMoves.push_back({start, certStart - start, plan.newRawEnd});
        plan.fileMoves.push_back({certEnd, end - certEnd, plan.newRawEnd + (certStart - start)});
    } else {
        plan.fileMoves.push_back({start, end - start, plan.newRawEnd});
    }
}

} // namespace

Result<RebuildPlan> PlaceInPlace(const RebuildSource& source, const RebuildPlan& current) {
    KORVA_ASSIGN_OR_RETURN(const std::size_t s, RewritableResourceSection(source));
    const Image& image = source.image;
    if (!source.nestedInResources.empty()) {
        return MakeError(SectionLabel(image, source.nestedInResources.front()) +
                         " lies in the resource section's raw data");
    }
    const SectionHeader& h = image.sections[s].header;
    const std::uint64_t newVirtualSize =
        std::max<std::uint64_t>(h.virtualSize, source.layout.size());
    // The section may take up the rest of its last page, but not the next
    // section's memory.
    std::uint64_t limit = AlignUp(VirtualEnd(h), image.sectionAlignment);
    for (const Section& other : image.sections) {
        if (other.header.virtualAddress > h.virtualAddress) {
            limit = std::min<std::uint64_t>(limit, other.header.virtualAddress);
        }
    }
    if (source.layout.size() > h.sizeOfRawData || h.virtualAddress + newVirtualSize > limit) {
        return MakeError("the new resources do not fit in the resource section");
    }
    RebuildPlan plan = current;
    plan.placement = Placement::InPlace;
    plan.resourceSection = s;
    plan.headers[s].virtualSize = static_cast<std::uint32_t>(newVirtualSize);
    plan.keepPrefix = source.oldRawEnd;
    plan.newRawEnd = source.oldRawEnd;
    plan.rewrittenFile.push_back({h.pointerToRawData, h.sizeOfRawData});
    plan.rewrittenRva.push_back({h.virtualAddress, VirtualExtent(h)});
    plan.changedRva.push_back({h.virtualAddress, std::max(VirtualExtent(h), newVirtualSize)});
    return plan;
}

Result<RebuildPlan> PlaceByGrowing(const RebuildSource& source, const RebuildPlan& current) {
    KORVA_ASSIGN_OR_RETURN(const std::size_t s, RewritableResourceSection(source));
    const Followers followers = FollowersOf(source.image, s);
    if (!followers.all.empty()) {
        return MakeError(SectionLabel(source.image, followers.all.front()) +
                         " follows the resources");
    }
    return GrowAndMove(source, current, s, followers);
}

Result<RebuildPlan> PlaceByMovingFollowers(const RebuildSource& source,
                                           const RebuildPlan& current) {
    KORVA_ASSIGN_OR_RETURN(const std::size_t s, RewritableResourceSection(source));
    const Followers followers = FollowersOf(source.image, s);
    if (followers.all.empty()) {
        return MakeError("no section follows the resources");
    }
    for (const std::size_t i : followers.all) {
        KORVA_RETURN_IF_ERROR(CheckMovable(source, i));
    }
    return GrowAndMove(source, current, s, followers);
}

Result<RebuildPlan> PlaceInNewSection(const RebuildSource& source, const RebuildPlan& current) {
    if (!source.nestedInResources.empty()) {
        return MakeError(SectionLabel(source.image, source.nestedInResources.front()) +
                         " would stay in the old resource section's raw data");
    }
    KORVA_RETURN_IF_ERROR(CheckRoomForSectionHeader(source));
    const Image& image = source.image;
    const std::uint32_t size = source.layout.size();
    // Adjacent to the last section, as the loader wants.
    std::uint64_t memoryEnd = image.sizeOfHeaders;
    for (const Section& section : image.sections) {
        memoryEnd = std::max(memoryEnd, VirtualEnd(section.header));
    }
    const std::uint64_t rva = AlignUp(memoryEnd, image.sectionAlignment);
    const std::uint64_t offset = AlignUp(source.oldRawEnd, image.fileAlignment);
    const std::uint64_t raw = AlignUp(size, image.fileAlignment);
    if (rva + std::max<std::uint64_t>(raw, size) > kMax32) {
        return MakeError("a new section would leave the 32-bit address space");
    }
    if (offset + raw > kMax32) {
        return MakeError("a new section would pass 4 GiB of file");
    }
    SectionHeader added = NewSectionHeader(image);
    added.virtualSize = size;
    added.virtualAddress = static_cast<std::uint32_t>(rva);
    added.sizeOfRawData = static_cast<std::uint32_t>(raw);
    added.pointerToRawData = static_cast<std::uint32_t>(offset);
    RebuildPlan plan = current;
    plan.headers.push_back(added);
    plan.placement = Placement::NewSection;
    plan.resourceSection = plan.headers.size() - 1;
    plan.keepPrefix = source.oldRawEnd;
    plan.newRawEnd = offset + raw;
    plan.changedRva.push_back({rva, std::max<std::uint64_t>(raw, size)});
    return plan;
}

Result<RebuildPlan> PlanPlacement(const RebuildSource& source) {
    struct Way {
        const char* name;
        PlaceResourcesWay place;
    };
    static constexpr Way kWays[] = {
        {"in place", PlaceInPlace},
        {"grown", PlaceByGrowing},
        {"grown past the sections after it", PlaceByMovingFollowers},
        {"in a new section", PlaceInNewSection},
    };
    RebuildPlan initial;
    for (const Section& section : source.image.sections) {
        initial.headers.push_back(section.header);
    }
    // A plan whose complete form breaks a limit (CheckPlan) gives way to the
    // next way, as a plan that does not fit does. The ways are still tried
    // in order, so wherever the first plan passes, the file is as before.
    std::string refusals;
    for (const Way& way : kWays) {
        Result<RebuildPlan> plan = way.place(source, initial);
        if (plan) {
            PlanOverlay(source, *plan);
            if (Result<void> r = CheckPlan(source, *plan); !r) {
                plan = r.error();
            }
        }
        if (plan) {
            return plan;
        }
        refusals += refusals.empty() ? "" : "; ";
        refusals += way.name;
        refusals += ": ";
        refusals += plan.error().message;
    }
    return MakeError("no safe place for the resources: " + refusals);
}

} // namespace korva::pe
