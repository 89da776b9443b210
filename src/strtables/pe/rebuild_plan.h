#pragma once

// What a rebuild of an image decides before it writes a byte: the facts it
// starts from (RebuildSource) and where everything of the old file goes
// (RebuildPlan), with the mapping from old offsets and addresses to new ones.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "strtables/pe/checked_reader.h"
#include "strtables/pe/image.h"
#include "strtables/pe/resource_serializer.h"
#include "strtables/pe/resource_tree.h"

namespace korva::pe {

inline constexpr std::uint64_t kMax32 = 0xFFFFFFFF;

// Where the new resource data went, tried in this order.
enum class Placement {
    InPlace,    // the old resource section, which held nothing else, had room
    Grown,      // the resource section grew; relocation or debug sections after it moved
    NewSection, // a section added at the end; the old one stays as it was
};

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
struct RebuildPlan {
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

// Where an old file offset lies in the new file, if its bytes survive.
std::optional<std::uint64_t> MapFileOffset(const RebuildPlan& plan, std::uint64_t offset);
// Where an old RVA lies in the new image, if its bytes survive.
std::optional<std::uint64_t> MapRva(const RebuildPlan& plan, std::uint64_t rva);

// The old file and what the steps of a rebuild know about it. The
// references must outlive the rebuild.
struct RebuildSource {
    Bytes file;
    const Image& image;
    const ResourceDirectory& originalTree; // as read from `file`
    const ResourceLayout& layout;          // of the new resources
    // The first byte after the headers and every section's raw data.
    std::uint64_t oldRawEnd = 0;
    // The section whose memory holds the resource directory, if any.
    std::optional<std::size_t> resourceSection;
    // Sections whose raw data lies wholly inside the resource section's:
    // the relocation table or debug information, which must move out before
    // the resource section's bytes are rewritten.
    std::vector<std::size_t> nestedInResources;
};

// Checks that the image is sound enough to be rewritten at all (alignments,
// raw data inside the file and shared neither with another section nor with
// the header fields a rewrite writes) and gathers what every placement
// needs. Raw data of the relocation table or of debug information may lie
// wholly inside the resource section's: some stub builders leave it there.
Result<RebuildSource> SurveyImage(Bytes file, const Image& image,
                                  const ResourceDirectory& originalTree,
                                  const ResourceLayout& layout);

// Every section of the plan ends inside the 32-bit address space and 4 GiB
// of file, and no resource pointer written back unchanged names bytes the
// rewrite changes.
Result<void> CheckPlan(const RebuildSource& source, const RebuildPlan& plan);

// The header fields a rewrite writes, as file ranges, when the new section
// table has `sectionCount` entries: the section count, the symbol table
// pointer, the image sizes, the checksum, the data directories and the
// section table. Nothing else in the headers changes.
std::vector<Range> RewrittenHeaderFields(const Image& image, std::size_t sectionCount);

// "section .name" (a long name resolved), or "section #n" for a section
// without a name.
std::string SectionLabel(const Image& image, std::size_t index);

inline bool Overlap(std::uint64_t a, std::uint64_t aSize, std::uint64_t b, std::uint64_t bSize) {
    return aSize != 0 && bSize != 0 && a < b + bSize && b < a + aSize;
}

inline bool Contains(std::uint64_t start, std::uint64_t size, std::uint64_t at) {
    return at >= start && at - start < size;
}

// True when `inner` has raw data and all of it lies in `outer`'s.
inline bool RawDataInside(const SectionHeader& inner, const SectionHeader& outer) {
    return inner.sizeOfRawData != 0 && inner.pointerToRawData >= outer.pointerToRawData &&
           std::uint64_t{inner.pointerToRawData} + inner.sizeOfRawData <=
               std::uint64_t{outer.pointerToRawData} + outer.sizeOfRawData;
}

} // namespace korva::pe
