#include "strtables/pe/resource_serializer.h"

#include <algorithm>
#include <limits>
#include <string>

#include "strtables/pe/align.h"
#include "strtables/pe/byte_writer.h"

namespace korva::pe {

namespace {

constexpr std::uint64_t kTableHeaderSize = 16;
constexpr std::uint64_t kTableEntrySize = 8;
constexpr std::uint64_t kDataEntrySize = 16;
constexpr std::uint64_t kDataAlignment = 8;
// Offsets inside the section share their 32 bits with the subdirectory and
// string-name flags.
constexpr std::uint64_t kMaxSectionSize = 0x7FFFFFFF;
constexpr std::uint32_t kHighBit = 0x80000000;

std::string Describe(const ResourceId& id) {
    if (id.isId) {
        // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on "#" + string.
        std::string text(1, '#');
        text += std::to_string(id.id);
        return text;
    }
    std::string ascii;
    for (const char16_t unit : id.name) {
        ascii += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return ascii;
}

// Advances `offset` by `size`, failing once the section would outgrow what
// its 31-bit offsets can address.
Result<bool> Advance(std::uint64_t& offset, std::uint64_t size) {
    offset += size;
    if (offset > kMaxSectionSize) {
        return MakeError("resource data too large for one section");
    }
    return true;
}

} // namespace

Result<ResourceLayout> LayOutResources(const ResourceDirectory& root) {
    ResourceLayout layout;
    std::uint64_t offset = 0;

    // Directory tables, breadth first, so the root lands at offset 0.
    layout.tables_.push_back(ResourceLayout::Table{&root, 0, 0, 0, {}});
    for (std::size_t t = 0; t < layout.tables_.size(); ++t) {
        const ResourceDirectory& directory = *layout.tables_[t].directory;
        std::vector<ResourceLayout::Slot> slots;
        std::size_t named = 0;
        for (const ResourceEntry& entry : directory.entries) {
            if ((entry.subdirectory == nullptr) == (entry.data == nullptr)) {
                return MakeError("resource entry " + Describe(entry.id) +
                                 " must be either a directory or data");
            }
            if (!entry.id.isId) {
                ++named;
                if (entry.id.name.size() > std::numeric_limits<std::uint16_t>::max()) {
                    return MakeError("resource name longer than 65535 characters");
                }
            }
            slots.push_back(ResourceLayout::Slot{&entry, 0, 0});
        }
        const std::size_t ids = slots.size() - named;
        if (named > std::numeric_limits<std::uint16_t>::max() ||
            ids > std::numeric_limits<std::uint16_t>::max()) {
            return MakeError("resource directory with more than 65535 entries of one kind");
        }
        std::stable_sort(slots.begin(), slots.end(), [](const auto& a, const auto& b) {
            return ResourceIdLess(a.entry->id, b.entry->id);
        });
        // The loader's binary search finds one of two equal keys at random.
        for (std::size_t i = 1; i < slots.size(); ++i) {
            if (slots[i - 1].entry->id == slots[i].entry->id) {
                return MakeError("resource directory lists " + Describe(slots[i].entry->id) +
                                 " twice");
            }
        }
        layout.tables_[t].offset = static_cast<std::uint32_t>(offset);
        layout.tables_[t].namedCount = static_cast<std::uint16_t>(named);
        layout.tables_[t].idCount = static_cast<std::uint16_t>(ids);
        if (const Result<bool> s =
                Advance(offset, kTableHeaderSize + kTableEntrySize * slots.size());
            !s) {
            return s.error();
        }
        for (const ResourceLayout::Slot& slot : slots) {
            if (slot.entry->subdirectory != nullptr) {
                layout.tables_.push_back(
                    ResourceLayout::Table{slot.entry->subdirectory.get(), 0, 0, 0, {}});
            }
        }
        layout.tables_[t].slots = std::move(slots);
    }
    // Each child was queued in slot order, so its table index follows from
    // the order alone.
    std::size_t nextChild = 1;
    for (ResourceLayout::Table& table : layout.tables_) {
        for (ResourceLayout::Slot& slot : table.slots) {
            if (slot.entry->subdirectory != nullptr) {
                slot.targetOffset = layout.tables_[nextChild++].offset;
            }
        }
    }

    for (ResourceLayout::Table& table : layout.tables_) {
        for (ResourceLayout::Slot& slot : table.slots) {
            if (slot.entry->data != nullptr) {
                slot.targetOffset = static_cast<std::uint32_t>(offset);
                layout.leaves_.push_back(
                    ResourceLayout::Leaf{slot.entry->data.get(), slot.targetOffset, 0});
                if (const Result<bool> s = Advance(offset, kDataEntrySize); !s) {
                    return s.error();
                }
            }
        }
    }

    for (ResourceLayout::Table& table : layout.tables_) {
        for (ResourceLayout::Slot& slot : table.slots) {
            if (!slot.entry->id.isId) {
                slot.nameOffset = static_cast<std::uint32_t>(offset);
                layout.names_.push_back(
                    ResourceLayout::Name{&slot.entry->id.name, slot.nameOffset});
                if (const Result<bool> s =
                        Advance(offset, 2 + 2 * std::uint64_t{slot.entry->id.name.size()});
                    !s) {
                    return s.error();
                }
            }
        }
    }

    layout.directorySize_ = static_cast<std::uint32_t>(offset);
    for (ResourceLayout::Leaf& leaf : layout.leaves_) {
        if (!leaf.data->located) {
            layout.kept_.push_back(KeptPointer{leaf.data->originalRva, leaf.data->originalSize});
            continue;
        }
        if (const Result<bool> s = Advance(offset, AlignUp(offset, kDataAlignment) - offset); !s) {
            return s.error();
        }
        leaf.dataOffset = static_cast<std::uint32_t>(offset);
        if (const Result<bool> s = Advance(offset, leaf.data->size()); !s) {
            return s.error();
        }
    }
    layout.size_ = static_cast<std::uint32_t>(offset);
    return layout;
}

Result<std::vector<std::uint8_t>> FillResources(const ResourceLayout& layout,
                                                std::uint32_t baseRva) {
    ImagePieces pieces(layout.size());
    if (Result<bool> r = PlaceResources(layout, baseRva, pieces, 0); !r) {
        return r.error();
    }
    return pieces.Materialize();
}

Result<bool> PlaceResources(const ResourceLayout& layout, std::uint32_t baseRva,
                            ImagePieces& pieces, std::uint64_t offset) {
    if (std::uint64_t{baseRva} + layout.size_ > std::numeric_limits<std::uint32_t>::max()) {
        return MakeError("resource section would end beyond the 32-bit address space");
    }
    // The directory is small and written in place; the data, nearly all of
    // the section, stays where it is and is only pointed at.
    ByteWriter out(pieces.Own(offset, layout.directorySize_));

    for (const ResourceLayout::Table& table : layout.tables_) {
        const DirectoryInfo& info = table.directory->info;
        out.U32(table.offset + 0, info.characteristics);
        out.U32(table.offset + 4, info.timeDateStamp);
        out.U16(table.offset + 8, info.majorVersion);
        out.U16(table.offset + 10, info.minorVersion);
        out.U16(table.offset + 12, table.namedCount);
        out.U16(table.offset + 14, table.idCount);
        std::size_t at = table.offset + kTableHeaderSize;
        for (const ResourceLayout::Slot& slot : table.slots) {
            const ResourceId& id = slot.entry->id;
            out.U32(at, id.isId ? std::uint32_t{id.id} : (kHighBit | slot.nameOffset));
            out.U32(at + 4, slot.entry->subdirectory != nullptr ? (kHighBit | slot.targetOffset)
                                                                : slot.targetOffset);
            at += kTableEntrySize;
        }
    }

    for (const ResourceLayout::Leaf& leaf : layout.leaves_) {
        const ResourceData& data = *leaf.data;
        const bool kept = !data.located;
        out.U32(leaf.entryOffset + 0, kept ? data.originalRva : baseRva + leaf.dataOffset);
        out.U32(leaf.entryOffset + 4,
                kept ? data.originalSize : static_cast<std::uint32_t>(data.size()));
        out.U32(leaf.entryOffset + 8, data.codePage);
        out.U32(leaf.entryOffset + 12, data.reserved);
        if (kept) {
            continue;
        }
        if (data.produced.source != nullptr) {
            pieces.Place(offset + leaf.dataOffset, data.produced);
        } else {
            pieces.Place(offset + leaf.dataOffset, data.bytes);
        }
    }

    for (const ResourceLayout::Name& name : layout.names_) {
        out.U16(name.offset, static_cast<std::uint16_t>(name.text->size()));
        std::size_t at = name.offset + 2;
        for (const char16_t unit : *name.text) {
            out.U16(at, unit);
            at += 2;
        }
    }
    return true;
}

} // namespace korva::pe
