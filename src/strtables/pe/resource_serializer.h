#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "strtables/pe/byte_writer.h"
#include "strtables/pe/image_pieces.h"
#include "strtables/pe/resource_tree.h"

namespace korva::pe {

// A data entry whose bytes the reader could not find in the file. Its
// pointer is written back as it was; that is only sound while whatever the
// pointer names stays where it is, which placement has to decide.
struct KeptPointer {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// Where everything of a resource tree goes in a new resource section. The
// layout does not depend on the section's address, so placement can size the
// section before it knows where the section will live.
class ResourceLayout {
public:
    // Size in bytes of the section content (not padded to any alignment).
    std::uint32_t size() const { return size_; }
    const std::vector<KeptPointer>& keptPointers() const { return kept_; }

private:
    friend Result<ResourceLayout> LayOutResources(const ResourceDirectory& root);
    friend Result<void> PlaceResources(const ResourceLayout& layout, std::uint32_t baseRva,
                                       ImagePieces& pieces, std::uint64_t offset);

    struct Slot {
        const ResourceEntry* entry = nullptr;
        std::uint32_t nameOffset = 0;   // valid for string names
        std::uint32_t targetOffset = 0; // subdirectory table or data entry
    };
    struct Table {
        const ResourceDirectory* directory = nullptr;
        // The entry that leads here from the table `parent`; null for the
        // root. Only messages follow them.
        const ResourceEntry* via = nullptr;
        std::size_t parent = 0;
        std::uint32_t offset = 0;
        std::uint16_t namedCount = 0;
        std::uint16_t idCount = 0;
        std::vector<Slot> slots; // in the loader's search order
    };
    struct Leaf {
        const ResourceData* data = nullptr;
        std::uint32_t entryOffset = 0;
        std::uint32_t dataOffset = 0; // meaningless for kept pointers
    };
    struct Name {
        const std::u16string* text = nullptr;
        std::uint32_t offset = 0;
    };

    // The passes of LayOutResources, in the order the pieces follow each
    // other in the section; each starts where the one before ended (end_).
    Result<void> LayOutTables(const ResourceDirectory& root);
    Result<std::vector<Slot>> SlotsOf(std::size_t table) const;
    // The keys from the root down to table `table`, then `last` if given.
    std::vector<const ResourceId*> PathTo(std::size_t table, const ResourceId* last) const;
    // Where in the tree table `table` is, for a message.
    std::string WhereIs(std::size_t table) const;
    void LinkSubdirectories();
    Result<void> LayOutDataEntries();
    Result<void> LayOutNames();
    Result<void> LayOutData();
    // Takes `size` bytes at end_, failing once the section would outgrow
    // what its 31-bit offsets can address.
    Result<void> Advance(std::uint64_t size);

    // The passes of PlaceResources: the directory into `out`, the data as
    // views placed in `pieces`.
    void WriteTables(ByteWriter& out) const;
    void WriteDataEntries(ByteWriter& out, std::uint32_t baseRva) const;
    void PlaceData(ImagePieces& pieces, std::uint64_t offset) const;
    void WriteNames(ByteWriter& out) const;

    std::vector<Table> tables_; // breadth first, the root first at offset 0
    std::vector<Leaf> leaves_;
    std::vector<Name> names_;
    std::vector<KeptPointer> kept_;
    std::uint64_t end_ = 0;
    std::uint32_t directorySize_ = 0; // tables, data entries and names, before any data
    std::uint32_t size_ = 0;
};

// First pass: checks the tree can be written (counts, name lengths, no
// duplicate keys in one directory, total size) and places every piece.
// The tree must outlive the layout.
Result<ResourceLayout> LayOutResources(const ResourceDirectory& root);

// Second pass: the exact bytes of the section, for a section whose first
// byte lives at `baseRva`.
Result<std::vector<std::uint8_t>> FillResources(const ResourceLayout& layout,
                                                std::uint32_t baseRva);

// The same bytes as pieces of a new file, the section starting at `offset`
// of `pieces`, which must hold zeros there: the directory is written, each
// data leaf is placed as a view of its bytes, which must outlive `pieces`.
Result<void> PlaceResources(const ResourceLayout& layout, std::uint32_t baseRva,
                            ImagePieces& pieces, std::uint64_t offset);

} // namespace korva::pe
