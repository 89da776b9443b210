#include "strtables/pe/resource_reader.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>

namespace korva::pe {
namespace {

std::string Hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + out;
}

// State of one walk over the tree. Offsets are relative to the root table,
// as the format defines them.
class TreeWalk {
public:
    TreeWalk(const Image& image, Bytes file, Bytes directory, const TreeLimits& limits)
        : image_(image), file_(file), directory_(directory), limits_(limits),
          // Tables of a sound file do not overlap, so each entry has 8 bytes
          // of its own; more entries than that means overlapping tables that
          // make a few bytes describe many entries.
          entryLimit_(std::min<std::uint64_t>(
              limits.maxEntries, directory.size() / sizeof(ResourceDirectoryEntryRaw))),
          // Distinct names cannot exceed the section; a linker that shares
          // name strings between entries gets room on top.
          nameBudget_(4 * std::uint64_t{directory.size()} + (std::uint64_t{64} << 10)) {}

    Result<ResourceDirectory> Directory(std::uint32_t offset, int depth);

private:
    Result<ResourceEntry> Entry(const DecodedDirectoryEntry& raw, int depth);
    Result<std::u16string> Name(std::uint32_t offset);
    Result<ResourceData> Data(std::uint32_t offset) const;

    const Image& image_;
    Bytes file_;
    Bytes directory_; // from the root table to the end of its section's raw data
    TreeLimits limits_;
    std::unordered_set<std::uint32_t> visited_;
    std::uint64_t entryCount_ = 0;
    std::uint64_t entryLimit_;
    std::uint64_t nameBytes_ = 0;
    std::uint64_t nameBudget_;
};

// NOLINTNEXTLINE(misc-no-recursion): the depth is bounded
Result<ResourceDirectory> TreeWalk::Directory(std::uint32_t offset, int depth) {
    const std::string where = "resource directory at " + Hex(offset);
    if (depth > limits_.maxDepth) {
        return MakeError(where + ": nested deeper than " + std::to_string(limits_.maxDepth));
    }
    // Every table is read once: a second visit is a loop or a shared subtree,
    // and either would let a small file describe an unbounded tree.
    if (!visited_.insert(offset).second) {
        return MakeError(where + ": reached twice");
    }
    const std::optional<ResourceDirectoryTable> table =
        ReadAt<ResourceDirectoryTable>(directory_, offset);
    if (!table) {
        return MakeError(where + ": outside the resource section");
    }
    const std::uint64_t named = table->numberOfNamedEntries;
    const std::uint64_t count = named + table->numberOfIdEntries;
    const std::optional<Bytes> entries =
        SliceArray(directory_, std::uint64_t{offset} + sizeof(ResourceDirectoryTable), count,
                   sizeof(ResourceDirectoryEntryRaw));
    if (!entries) {
        return MakeError(where + ": its " + std::to_string(count) +
                         " entries run past the resource section");
    }
    entryCount_ += count;
    if (entryCount_ > entryLimit_) {
        return MakeError(where + ": more than " + std::to_string(entryLimit_) +
                         " resource entries in the tree");
    }

    ResourceDirectory out;
    out.info = DirectoryInfo{table->characteristics, table->timeDateStamp, table->majorVersion,
                             table->minorVersion};
    out.entries.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const DecodedDirectoryEntry raw = DecodeDirectoryEntry(
            *ReadAt<ResourceDirectoryEntryRaw>(*entries, i * sizeof(ResourceDirectoryEntryRaw)));
        // The counts say which entries are named; the loader's binary search
        // trusts them, so an entry that disagrees makes the table unusable.
        if (raw.nameIsString != (i < named)) {
            return MakeError(where + ": entry " + std::to_string(i) +
                             (raw.nameIsString ? " is named but among the id entries"
                                               : " has an id but is among the named entries"));
        }
        Result<ResourceEntry> entry = Entry(raw, depth);
        if (!entry) {
            return WithContext(where, entry.error());
        }
        out.entries.push_back(std::move(entry).value());
    }
    return out;
}

// NOLINTNEXTLINE(misc-no-recursion): the depth is bounded
Result<ResourceEntry> TreeWalk::Entry(const DecodedDirectoryEntry& raw, int depth) {
    ResourceEntry entry;
    if (raw.nameIsString) {
        KORVA_ASSIGN_OR_RETURN(std::u16string name, Name(raw.nameOffset));
        entry.id = ResourceId::Name(std::move(name));
    } else {
        if (raw.id > 0xFFFF) {
            return MakeError("id " + Hex(raw.id) + " does not fit in 16 bits");
        }
        entry.id = ResourceId::Id(static_cast<std::uint16_t>(raw.id));
    }
    if (raw.isSubdirectory) {
        KORVA_ASSIGN_OR_RETURN(ResourceDirectory sub, Directory(raw.targetOffset, depth + 1));
        entry.subdirectory = std::make_unique<ResourceDirectory>(std::move(sub));
    } else {
        KORVA_ASSIGN_OR_RETURN(ResourceData data, Data(raw.targetOffset));
        entry.data = std::make_unique<ResourceData>(data);
    }
    return entry;
}

Result<std::u16string> TreeWalk::Name(std::uint32_t offset) {
    const std::string where = "resource name at " + Hex(offset);
    const std::optional<std::uint16_t> length = ReadU16(directory_, offset);
    const std::optional<Bytes> units =
        length ? SliceArray(directory_, std::uint64_t{offset} + kResourceStringHeaderSize, *length,
                            sizeof(char16_t))
               : std::nullopt;
    if (!units) {
        return MakeError(where + ": outside the resource section");
    }
    nameBytes_ += units->size();
    if (nameBytes_ > nameBudget_) {
        return MakeError(where + ": resource names take more room than the file can justify");
    }
    std::u16string name(*length, u'\0');
    for (std::size_t i = 0; i < name.size(); ++i) {
        name[i] = static_cast<char16_t>((*units)[2 * i] | ((*units)[2 * i + 1] << 8));
    }
    return name;
}

Result<ResourceData> TreeWalk::Data(std::uint32_t offset) const {
    const std::optional<ResourceDataEntry> entry = ReadAt<ResourceDataEntry>(directory_, offset);
    if (!entry) {
        return MakeError("resource data entry at " + Hex(offset) +
                         ": outside the resource section");
    }
    ResourceData data;
    data.codePage = entry->codePage;
    data.reserved = entry->reserved;
    data.originalRva = entry->dataRva;
    data.originalSize = entry->size;
    const std::optional<Bytes> bytes = image_.SliceAtRva(file_, entry->dataRva, entry->size);
    data.located = bytes.has_value();
    if (bytes) {
        data.bytes = *bytes;
    }
    return data;
}

} // namespace

Result<ResourceDirectory> ReadResourceTree(const Image& image, Bytes file,
                                           const TreeLimits& limits) {
    const DataDirectory dir = image.Directory(kResourceDirectory);
    if (dir.virtualAddress == 0) {
        return ResourceDirectory{};
    }
    // The tree is bounded by the section that holds it, not by the directory
    // entry's size, which some tools leave short or zero.
    const std::optional<Image::FileRange> range = image.RvaToFile(dir.virtualAddress);
    if (!range) {
        return MakeError("resource directory RVA " + Hex(dir.virtualAddress) +
                         " is not inside any section's data");
    }
    const std::optional<Bytes> directory = Slice(file, range->offset, range->size);
    if (!directory) {
        return MakeError("resource directory: outside the file");
    }
    return TreeWalk(image, file, *directory, limits).Directory(0, 0);
}

} // namespace korva::pe
