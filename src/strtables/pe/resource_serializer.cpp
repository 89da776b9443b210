#include "strtables/pe/resource_serializer.h"

#include <algorithm>
#include <limits>
#include <string>

#include "strtables/pe/align.h"
#include "strtables/pe/resource_path.h"

namespace korva::pe {

namespace {

constexpr std::uint64_t kDataAlignment = 8;

} // namespace

Result<ResourceLayout> LayOutResources(const ResourceDirectory& root) {
    ResourceLayout layout;
    KORVA_RETURN_IF_ERROR(layout.LayOutTables(root));
    layout.LinkSubdirectories();
    KORVA_RETURN_IF_ERROR(layout.LayOutDataEntries());
    KORVA_RETURN_IF_ERROR(layout.LayOutNames());
    layout.directorySize_ = static_cast<std::uint32_t>(layout.end_);
    KORVA_RETURN_IF_ERROR(layout.LayOutData());
    layout.size_ = static_cast<std::uint32_t>(layout.end_);
    return layout;
}

Result<void> ResourceLayout::Advance(std::uint64_t size) {
    end_ += size;
    if (end_ > kMaxResourceOffset) {
        return MakeError("resource data too large for one section");
    }
    return {};
}

std::vector<const ResourceId*> ResourceLayout::PathTo(std::size_t table,
                                                      const ResourceId* last) const {
    std::vector<const ResourceId*> path;
    if (last != nullptr) {
        path.push_back(last);
    }
    for (std::size_t t = table; tables_[t].via != nullptr; t = tables_[t].parent) {
        path.push_back(&tables_[t].via->id);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

std::string ResourceLayout::WhereIs(std::size_t table) const {
    return table == 0 ? "in the root directory"
                      : "under " + DescribeResourcePath(PathTo(table, nullptr));
}

// The entries of one directory in the loader's search order, checked for
// what the format cannot hold. Each failure says where in the tree it lies
// (type, name, language), so that it can be found in the program's sources:
// the file's other resources may be many, and the layout fails as a whole.
Result<std::vector<ResourceLayout::Slot>> ResourceLayout::SlotsOf(std::size_t table) const {
    std::vector<Slot> slots;
    std::size_t named = 0;
    for (const ResourceEntry& entry : tables_[table].directory->entries) {
        if ((entry.subdirectory == nullptr) == (entry.data == nullptr)) {
            return MakeError("resource " + DescribeResourcePath(PathTo(table, &entry.id)) +
                             " must be either a directory or data");
        }
        if (!entry.id.isId) {
            ++named;
            if (entry.id.name.size() > std::numeric_limits<std::uint16_t>::max()) {
                return MakeError("resource name longer than 65535 characters " + WhereIs(table));
            }
        }
        slots.push_back(Slot{&entry, 0, 0});
    }
    if (named > std::numeric_limits<std::uint16_t>::max() ||
        slots.size() - named > std::numeric_limits<std::uint16_t>::max()) {
        return MakeError("more than 65535 resource entries of one kind " + WhereIs(table));
    }
    std::stable_sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) {
        return ResourceIdLess(a.entry->id, b.entry->id);
    });
    // The loader's binary search finds one of two equal keys at random.
    for (std::size_t i = 1; i < slots.size(); ++i) {
        if (slots[i - 1].entry->id == slots[i].entry->id) {
            return MakeError("resource directory lists " +
                             DescribeResourcePath(PathTo(table, &slots[i].entry->id)) + " twice");
        }
    }
    return slots;
}

// Directory tables, breadth first, so that the root lands at offset 0.
Result<void> ResourceLayout::LayOutTables(const ResourceDirectory& root) {
    tables_.push_back(Table{&root, nullptr, 0, 0, 0, 0, {}});
    for (std::size_t t = 0; t < tables_.size(); ++t) {
        KORVA_ASSIGN_OR_RETURN(std::vector<Slot> slots, SlotsOf(t));
        const auto named = static_cast<std::size_t>(std::count_if(
            slots.begin(), slots.end(), [](const Slot& slot) { return !slot.entry->id.isId; }));
        tables_[t].offset = static_cast<std::uint32_t>(end_);
        tables_[t].namedCount = static_cast<std::uint16_t>(named);
        tables_[t].idCount = static_cast<std::uint16_t>(slots.size() - named);
        KORVA_RETURN_IF_ERROR(Advance(sizeof(ResourceDirectoryTable) +
                                      sizeof(ResourceDirectoryEntryRaw) * slots.size()));
        for (const Slot& slot : slots) {
            if (slot.entry->subdirectory != nullptr) {
                tables_.push_back(
                    Table{slot.entry->subdirectory.get(), slot.entry, t, 0, 0, 0, {}});
            }
        }
        tables_[t].slots = std::move(slots);
    }
    return {};
}

// Each child was queued in slot order, so its table index follows from the
// order alone.
void ResourceLayout::LinkSubdirectories() {
    std::size_t nextChild = 1;
    for (Table& table : tables_) {
        for (Slot& slot : table.slots) {
            if (slot.entry->subdirectory != nullptr) {
                slot.targetOffset = tables_[nextChild++].offset;
            }
        }
    }
}

Result<void> ResourceLayout::LayOutDataEntries() {
    for (Table& table : tables_) {
        for (Slot& slot : table.slots) {
            if (slot.entry->data != nullptr) {
                slot.targetOffset = static_cast<std::uint32_t>(end_);
                leaves_.push_back(Leaf{slot.entry->data.get(), slot.targetOffset, 0});
                KORVA_RETURN_IF_ERROR(Advance(sizeof(ResourceDataEntry)));
            }
        }
    }
    return {};
}

Result<void> ResourceLayout::LayOutNames() {
    for (Table& table : tables_) {
        for (Slot& slot : table.slots) {
            if (!slot.entry->id.isId) {
                slot.nameOffset = static_cast<std::uint32_t>(end_);
                names_.push_back(Name{&slot.entry->id.name, slot.nameOffset});
                KORVA_RETURN_IF_ERROR(Advance(kResourceStringHeaderSize +
                                              sizeof(char16_t) * slot.entry->id.name.size()));
            }
        }
    }
    return {};
}

Result<void> ResourceLayout::LayOutData() {
    for (Leaf& leaf : leaves_) {
        if (!leaf.data->located) {
            kept_.push_back(KeptPointer{leaf.data->originalRva, leaf.data->originalSize});
            continue;
        }
        KORVA_RETURN_IF_ERROR(Advance(AlignUp(end_, kDataAlignment) - end_));
        leaf.dataOffset = static_cast<std::uint32_t>(end_);
        KORVA_RETURN_IF_ERROR(Advance(leaf.data->size()));
    }
    return {};
}

Result<std::vector<std::uint8_t>> FillResources(const ResourceLayout& layout,
                                                std::uint32_t baseRva) {
    ImagePieces pieces(layout.size());
    KORVA_RETURN_IF_ERROR(PlaceResources(layout, baseRva, pieces, 0));
    return pieces.Materialize();
}

Result<void> PlaceResources(const ResourceLayout& layout, std::uint32_t baseRva,
                            ImagePieces& pieces, std::uint64_t offset) {
    if (std::uint64_t{baseRva} + layout.size_ > std::numeric_limits<std::uint32_t>::max()) {
        return MakeError("resource section would end beyond the 32-bit address space");
    }
    // The directory is small and written in place; the data, nearly all of
    // the section, stays where it is and is only pointed at.
    ByteWriter out(pieces.Own(offset, layout.directorySize_));
    layout.WriteTables(out);
    layout.WriteDataEntries(out, baseRva);
    layout.PlaceData(pieces, offset);
    layout.WriteNames(out);
    return {};
}

void ResourceLayout::WriteTables(ByteWriter& out) const {
    for (const Table& table : tables_) {
        const DirectoryInfo& info = table.directory->info;
        out.Put(table.offset,
                ResourceDirectoryTable{info.characteristics, info.timeDateStamp, info.majorVersion,
                                       info.minorVersion, table.namedCount, table.idCount});
        std::size_t at = table.offset + sizeof(ResourceDirectoryTable);
        for (const Slot& slot : table.slots) {
            const ResourceId& id = slot.entry->id;
            DecodedDirectoryEntry entry{};
            entry.nameIsString = !id.isId;
            entry.nameOffset = slot.nameOffset;
            entry.id = id.id;
            entry.isSubdirectory = slot.entry->subdirectory != nullptr;
            entry.targetOffset = slot.targetOffset;
            out.Put(at, EncodeDirectoryEntry(entry));
            at += sizeof(ResourceDirectoryEntryRaw);
        }
    }
}

// A pointer the reader could not follow is written back as it was.
void ResourceLayout::WriteDataEntries(ByteWriter& out, std::uint32_t baseRva) const {
    for (const Leaf& leaf : leaves_) {
        const ResourceData& data = *leaf.data;
        const bool kept = !data.located;
        out.Put(
            leaf.entryOffset,
            ResourceDataEntry{kept ? data.originalRva : baseRva + leaf.dataOffset,
                              kept ? data.originalSize : static_cast<std::uint32_t>(data.size()),
                              data.codePage, data.reserved});
    }
}

void ResourceLayout::PlaceData(ImagePieces& pieces, std::uint64_t offset) const {
    for (const Leaf& leaf : leaves_) {
        const ResourceData& data = *leaf.data;
        if (!data.located) {
            continue;
        }
        if (data.produced.source != nullptr) {
            pieces.Place(offset + leaf.dataOffset, data.produced);
        } else {
            pieces.Place(offset + leaf.dataOffset, data.bytes);
        }
    }
}

void ResourceLayout::WriteNames(ByteWriter& out) const {
    for (const Name& name : names_) {
        out.Put(name.offset, static_cast<std::uint16_t>(name.text->size()));
        std::size_t at = name.offset + kResourceStringHeaderSize;
        for (const char16_t unit : *name.text) {
            out.Put(at, unit);
            at += sizeof(char16_t);
        }
    }
}

} // namespace korva::pe
