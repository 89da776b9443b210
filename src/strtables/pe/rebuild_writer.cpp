#include "strtables/pe/rebuild_writer.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "strtables/pe/align.h"
#include "strtables/pe/checksum.h"

namespace korva::pe {

namespace {

// The steps of writing a planned image. They all write into one set of
// pieces, where a later write wins over an earlier one at the same bytes, so
// the order of the checklist in WriteRebuiltImage decides the file.
class ImageWriter {
public:
    ImageWriter(const RebuildSource& source, const RebuildPlan& plan, const PageRelease& release)
        : source_(source), image_(source.image), plan_(plan), release_(release),
          target_(plan.headers[plan.resourceSection]), out_(NewFileSize(plan)) {}

    Result<void> PlaceContent();
    Result<void> WriteSectionTable();
    Result<void> WriteDataDirectories();
    Result<void> FixDebugDirectory();
    Result<void> FixSymbolTablePointer();
    Result<void> WriteImageSizes();
    Result<void> WriteChecksum();

    PlannedImage Finish() && {
        return PlannedImage{std::move(out_), plan_.placement, target_.virtualAddress,
                            source_.layout.size()};
    }

private:
    static std::uint64_t NewFileSize(const RebuildPlan& plan) {
        std::uint64_t total = plan.newRawEnd;
        for (const Move& m : plan.fileMoves) {
            total = std::max(total, m.newStart + m.size);
        }
        return total;
    }

    const RebuildSource& source_;
    const Image& image_;
    const RebuildPlan& plan_;
    const PageRelease& release_;
    const SectionHeader& target_; // the section that receives the resources
    ImagePieces out_;
};

// The old bytes that stay or move, then the resource section over them.
Result<void> ImageWriter::PlaceContent() {
    const std::optional<Bytes> kept = Slice(source_.file, 0, plan_.keepPrefix);
    if (!kept) {
        return MakeError("the bytes kept in place run past the end of the file");
    }
    out_.Place(0, *kept);
    for (const Move& m : plan_.fileMoves) {
        const std::optional<Bytes> moved = Slice(source_.file, m.oldStart, m.size);
        if (!moved) {
            return MakeError("bytes to move run past the end of the file");
        }
        out_.Place(m.newStart, *moved);
    }
    out_.Zero(target_.pointerToRawData, target_.sizeOfRawData);
    return PlaceResources(source_.layout, target_.virtualAddress, out_, target_.pointerToRawData);
}

// The section table as planned; a header's pointers to COFF relocations and
// line numbers follow the bytes they name.
Result<void> ImageWriter::WriteSectionTable() {
    for (std::size_t i = 0; i < plan_.headers.size(); ++i) {
        SectionHeader h = plan_.headers[i];
        for (std::uint32_t* pointer : {&h.pointerToRelocations, &h.pointerToLinenumbers}) {
            if (*pointer != 0) {
                *pointer =
                    static_cast<std::uint32_t>(MapFileOffset(plan_, *pointer).value_or(*pointer));
            }
        }
        out_.PatchStruct(image_.sectionTableOffset + i * sizeof(SectionHeader), h);
    }
    out_.PatchU16(image_.fields.numberOfSections, static_cast<std::uint16_t>(plan_.headers.size()));
    return {};
}

// The resource directory names the new resources, a removed certificate
// table nothing, and every other directory follows its bytes.
Result<void> ImageWriter::WriteDataDirectories() {
    for (std::uint32_t i = 0; i < image_.dataDirectories.size(); ++i) {
        const std::uint64_t at = image_.fields.dataDirectories + i * sizeof(DataDirectory);
        const DataDirectory& d = image_.dataDirectories[i];
        if (i == kResourceDirectory) {
            out_.PatchStruct(at, DataDirectory{target_.virtualAddress, source_.layout.size()});
        } else if (i == kCertificateDirectory) {
            if (plan_.certificateRemoved) {
                out_.PatchStruct(at, DataDirectory{0, 0});
            }
        } else if (d.virtualAddress != 0) {
            const std::optional<std::uint64_t> mapped = MapRva(plan_, d.virtualAddress);
            if (!mapped) {
                return MakeError(std::string("the ") + kDataDirectoryNames[i] +
                                 " directory lies in bytes the rewrite replaces");
            }
            out_.PatchU32(at + offsetof(DataDirectory, virtualAddress),
                          static_cast<std::uint32_t>(*mapped));
        }
    }
    return {};
}

// Each debug entry names its data twice, by RVA and by file offset; both
// follow the data, in the directory's new place.
Result<void> ImageWriter::FixDebugDirectory() {
    const DataDirectory debug = image_.Directory(kDebugDirectory);
    if (debug.virtualAddress == 0 || debug.size == 0) {
        return {};
    }
    const std::optional<Bytes> old =
        image_.SliceAtRva(source_.file, debug.virtualAddress, debug.size);
    const std::optional<Image::FileRange> oldAt = image_.RvaToFile(debug.virtualAddress);
    if (!old || !oldAt) {
        return {}; // the loader cannot read it either; nothing points anywhere
    }
    const std::optional<std::uint64_t> newAt = MapFileOffset(plan_, oldAt->offset);
    const std::optional<std::uint64_t> newLast =
        MapFileOffset(plan_, oldAt->offset + old->size() - 1);
    if (!newAt || !newLast || *newLast != *newAt + old->size() - 1) {
        return MakeError("the debug directory lies in bytes the rewrite replaces");
    }
    std::uint64_t e = 0;
    while (const std::optional<DebugDirectoryEntry> entry = ReadAt<DebugDirectoryEntry>(*old, e)) {
        if (entry->addressOfRawData != 0) {
            const std::optional<std::uint64_t> mapped = MapRva(plan_, entry->addressOfRawData);
            if (!mapped) {
                return MakeError("debug data lies in bytes the rewrite replaces");
            }
            out_.PatchU32(*newAt + e + offsetof(DebugDirectoryEntry, addressOfRawData),
                          static_cast<std::uint32_t>(*mapped));
        }
        // A pointer past the end of the file names nothing this file holds.
        if (entry->pointerToRawData != 0 && entry->pointerToRawData < source_.file.size()) {
            const std::optional<std::uint64_t> mapped =
                MapFileOffset(plan_, entry->pointerToRawData);
            if (!mapped) {
                return MakeError("debug data lies in bytes the rewrite replaces or drops");
            }
            out_.PatchU32(*newAt + e + offsetof(DebugDirectoryEntry, pointerToRawData),
                          static_cast<std::uint32_t>(*mapped));
        }
        e += sizeof(DebugDirectoryEntry);
    }
    return {};
}

Result<void> ImageWriter::FixSymbolTablePointer() {
    const std::uint32_t symbols = image_.coff.pointerToSymbolTable;
    if (symbols == 0 || symbols >= source_.file.size()) {
        return {};
    }
    const std::optional<std::uint64_t> mapped = MapFileOffset(plan_, symbols);
    if (!mapped) {
        return MakeError("the COFF symbol table lies in bytes the rewrite replaces or drops");
    }
    out_.PatchU32(image_.fields.pointerToSymbolTable, static_cast<std::uint32_t>(*mapped));
    return {};
}

// SizeOfImage never shrinks (the old value may reserve memory past the last
// section); SizeOfInitializedData changes by what the sections gained.
Result<void> ImageWriter::WriteImageSizes() {
    std::uint64_t memoryEnd = 0;
    std::int64_t initializedDelta = 0;
    for (std::size_t i = 0; i < plan_.headers.size(); ++i) {
        const SectionHeader& h = plan_.headers[i];
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
    out_.PatchU32(image_.fields.sizeOfImage, static_cast<std::uint32_t>(sizeOfImage));
    const std::int64_t initialized =
        std::clamp<std::int64_t>(std::int64_t{image_.sizeOfInitializedData} + initializedDelta, 0,
                                 static_cast<std::int64_t>(kMax32));
    out_.PatchU32(image_.fields.sizeOfInitializedData, static_cast<std::uint32_t>(initialized));
    return {};
}

// A file without a checksum keeps none; one with a checksum gets the sum of
// its new bytes.
Result<void> ImageWriter::WriteChecksum() {
    if (image_.checkSum == 0) {
        return {};
    }
    ImageChecksum sum(image_.fields.checkSum);
    out_.ForEach(
        [&](std::uint64_t offset, std::uint64_t, Bytes bytes) {
            if (!bytes.empty()) {
                sum.Add(offset, bytes);
            }
        },
        release_);
    out_.PatchU32(image_.fields.checkSum, sum.Finish(out_.size()));
    return {};
}

} // namespace

Result<PlannedImage> WriteRebuiltImage(const RebuildSource& source, const RebuildPlan& plan,
                                       const PageRelease& release) {
    using Step = Result<void> (ImageWriter::*)();
    // clang-format off
    static constexpr Step kChecklist[] = {
        &ImageWriter::PlaceContent,
        &ImageWriter::WriteSectionTable,
        &ImageWriter::WriteDataDirectories,
        &ImageWriter::FixDebugDirectory,
        &ImageWriter::FixSymbolTablePointer,
        &ImageWriter::WriteImageSizes,
        &ImageWriter::WriteChecksum, // last: it sums everything written before it
    };
    // clang-format on
    ImageWriter writer(source, plan, release);
    for (const Step step : kChecklist) {
        KORVA_RETURN_IF_ERROR((writer.*step)());
    }
    return std::move(writer).Finish();
}

} // namespace korva::pe
