#include "strtables/pe/rebuild_plan.h"

#include <algorithm>
#include <bit>
#include <utility>
#include <vector>

#include "strtables/pe/rebuild_rules.h"

namespace korva::pe {

namespace {

// The section whose memory holds the resource directory, if any.
std::optional<std::size_t> FindResourceSection(const Image& image) {
    const DataDirectory dir = image.Directory(kResourceDirectory);
    if (dir.virtualAddress == 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const SectionHeader& h = image.sections[i].header;
        if (Contains(h.virtualAddress, VirtualExtent(h), dir.virtualAddress)) {
            return i;
        }
    }
    return std::nullopt;
}

Result<void> CheckAlignments(const Image& image) {
    if (image.fileAlignment == 0 || image.sectionAlignment == 0 ||
        !std::has_single_bit(image.fileAlignment) || !std::has_single_bit(image.sectionAlignment)) {
        return MakeError("section or file alignment is not a power of two");
    }
    // A larger one would pad a new section with up to gigabytes of zeros.
    if (image.fileAlignment > kMaxFileAlignment) {
        return MakeError("file alignment above 64 KiB");
    }
    return {};
}

// No two of `sections` share a byte of raw data.
Result<void> CheckDisjoint(const Image& image, std::vector<std::size_t> sections) {
    std::sort(sections.begin(), sections.end(), [&](std::size_t a, std::size_t b) {
        return image.sections[a].header.pointerToRawData <
               image.sections[b].header.pointerToRawData;
    });
    for (std::size_t k = 1; k < sections.size(); ++k) {
        const SectionHeader& before = image.sections[sections[k - 1]].header;
        const SectionHeader& after = image.sections[sections[k]].header;
        if (std::uint64_t{before.pointerToRawData} + before.sizeOfRawData >
            after.pointerToRawData) {
            return MakeError(SectionLabel(image, sections[k - 1]) + " and " +
                             SectionLabel(image, sections[k]) + " share file bytes");
        }
    }
    return {};
}

// Every section's raw data lies inside the file, and no two share a byte:
// a rewrite moves and replaces raw data section by section. The one
// exception is a section that may move (the relocation table or debug
// information) lying wholly inside the resource section's raw data, as in
// GNU ld stubs whose resources another tool rewrote: it moves out before
// the resources are written. Gives those sections.
Result<std::vector<std::size_t>> CheckRawData(Bytes file, const Image& image,
                                              std::optional<std::size_t> resources) {
    std::vector<std::size_t> withData;
    std::vector<std::size_t> nested;
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const SectionHeader& h = image.sections[i].header;
        if (h.sizeOfRawData == 0) {
            continue;
        }
        if (std::uint64_t{h.pointerToRawData} + h.sizeOfRawData > file.size()) {
            return MakeError(SectionLabel(image, i) + " runs past the end of the file");
        }
        const bool inResources = resources && i != *resources &&
                                 RawDataInside(h, image.sections[*resources].header) &&
                                 IsRelocationOrDebugSection(image, i);
        (inResources ? nested : withData).push_back(i);
    }
    KORVA_RETURN_IF_ERROR(CheckDisjoint(image, withData));
    KORVA_RETURN_IF_ERROR(CheckDisjoint(image, nested));
    return nested;
}

// Some packed and size-optimised images let a section's raw data, or the
// symbol table, begin inside the headers (PointerToRawData 0 maps the
// headers into the section). A header field the rewrite writes there would
// change that section's bytes too; the same holds for bytes a data
// directory names (the headers are mapped at RVA 0). Fields that belong to
// no one may change.
Result<void> CheckHeaderFieldsUnshared(const Image& image) {
    const std::vector<Range> fields = RewrittenHeaderFields(image, image.sections.size());
    const auto touches = [&](std::uint64_t start, std::uint64_t size) {
        return std::any_of(fields.begin(), fields.end(),
                           [&](const Range& f) { return Overlap(start, size, f.start, f.size); });
    };
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const SectionHeader& h = image.sections[i].header;
        if (touches(h.pointerToRawData, h.sizeOfRawData)) {
            return MakeError(SectionLabel(image, i) +
                             " shares file bytes with header fields the rewrite changes");
        }
    }
    if (touches(image.symbolTable.offset, image.symbolTable.size)) {
        return MakeError("the COFF symbol table shares file bytes with header fields the "
                         "rewrite changes");
    }
    for (const Range& f : fields) {
        if (const std::optional<std::string> user = DirectoryInside(image, f.start, f.size, {})) {
            return MakeError("the " + *user + " lies in header fields the rewrite changes");
        }
    }
    return {};
}

// Data entries the reader could not find are written back as they were;
// that stays right only while nothing changes at the addresses they name,
// the header fields included (the headers are mapped at RVA 0).
Result<void> CheckKeptPointers(const RebuildSource& source, const RebuildPlan& plan) {
    std::vector<Range> changed = plan.changedRva;
    for (const Range& field : RewrittenHeaderFields(source.image, plan.headers.size())) {
        changed.push_back(field);
    }
    for (const KeptPointer& kept : source.layout.keptPointers()) {
        for (const Range& c : changed) {
            if (Overlap(kept.rva, std::max<std::uint32_t>(kept.size, 1), c.start, c.size)) {
                return MakeError("a resource whose data lies outside the file points at "
                                 "addresses the rewrite changes");
            }
        }
    }
    return {};
}

} // namespace

std::string SectionLabel(const Image& image, std::size_t index) {
    std::string label = "section ";
    const std::string name = image.sections[index].FullName();
    // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on "literal" + string.
    if (name.empty()) {
        label += '#';
        label += std::to_string(index + 1);
    } else {
        label += name;
    }
    return label;
}

std::vector<Range> RewrittenHeaderFields(const Image& image, std::size_t sectionCount) {
    const HeaderFieldOffsets& f = image.fields;
    return {
        {f.numberOfSections, sizeof(std::uint16_t)},
        {f.pointerToSymbolTable, sizeof(std::uint32_t)},
        {f.sizeOfInitializedData, sizeof(std::uint32_t)},
        {f.sizeOfImage, sizeof(std::uint32_t)},
        {f.checkSum, sizeof(std::uint32_t)},
        {f.dataDirectories, image.dataDirectories.size() * sizeof(DataDirectory)},
        {image.sectionTableOffset, sectionCount * sizeof(SectionHeader)},
    };
}

// A section moved out of the resource section's raw data lies in bytes that
// are both moved and rewritten: the move wins.
std::optional<std::uint64_t> MapFileOffset(const RebuildPlan& plan, std::uint64_t offset) {
    for (const Move& m : plan.fileMoves) {
        if (Contains(m.oldStart, m.size, offset)) {
            return m.newStart + (offset - m.oldStart);
        }
    }
    for (const Range& r : plan.rewrittenFile) {
        if (Contains(r.start, r.size, offset)) {
            return std::nullopt;
        }
    }
    if (offset < plan.keepPrefix) {
        return offset;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> MapRva(const RebuildPlan& plan, std::uint64_t rva) {
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

Result<RebuildSource> SurveyImage(Bytes file, const Image& image,
                                  const ResourceDirectory& originalTree,
                                  const ResourceLayout& layout) {
    if (image.dataDirectories.size() <= kResourceDirectory) {
        return MakeError("the optional header has no entry for a resource directory");
    }
    KORVA_RETURN_IF_ERROR(CheckAlignments(image));
    const std::optional<std::size_t> resources = FindResourceSection(image);
    KORVA_ASSIGN_OR_RETURN(std::vector<std::size_t> nested, CheckRawData(file, image, resources));
    KORVA_RETURN_IF_ERROR(CheckHeaderFieldsUnshared(image));
    std::uint64_t rawEnd = std::max<std::uint64_t>(image.sectionTableEnd, image.sizeOfHeaders);
    for (const Section& section : image.sections) {
        const SectionHeader& h = section.header;
        if (h.sizeOfRawData != 0) {
            rawEnd = std::max(rawEnd, std::uint64_t{h.pointerToRawData} + h.sizeOfRawData);
        }
    }
    if (rawEnd > file.size()) {
        return MakeError("the headers run past the end of the file");
    }
    RebuildSource source{file, image, originalTree, layout, rawEnd, resources, std::move(nested)};
    // A nested section that may not move would stay shared whatever the
    // placement.
    for (const std::size_t n : source.nestedInResources) {
        if (Result<void> movable = CheckMovable(source, n); !movable) {
            return MakeError(SectionLabel(image, *resources) + " and " + SectionLabel(image, n) +
                             " share file bytes; " + movable.error().message);
        }
    }
    return source;
}

Result<void> CheckPlan(const RebuildSource& source, const RebuildPlan& plan) {
    for (const SectionHeader& h : plan.headers) {
        if (VirtualEnd(h) > kMax32) {
            return MakeError("a section would end beyond the 32-bit address space");
        }
    }
    if (plan.newRawEnd > kMax32) {
        return MakeError("the sections would pass 4 GiB of file");
    }
    return CheckKeptPointers(source, plan);
}

} // namespace korva::pe
