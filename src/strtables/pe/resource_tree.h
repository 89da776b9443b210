#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace korva::pe {

// The resource tree of an image, every level alike, so that the writer can
// rebuild exactly what the reader found (also in files that put data leaves
// at odd depths). The usual shape is type -> name -> language -> data.

// An entry's key: an integer id or a string name in its exact UTF-16 form.
struct ResourceId {
    bool isId = true;
    std::uint16_t id = 0; // valid when isId; the directory entry holds 32 bits, ids use 16
    std::u16string name;  // valid when !isId

    static ResourceId Id(std::uint16_t value) { return ResourceId{true, value, {}}; }
    static ResourceId Name(std::u16string value) { return ResourceId{false, 0, std::move(value)}; }
    friend bool operator==(const ResourceId&, const ResourceId&) = default;
};

// The order the loader's binary search expects: string names first, ordered
// by their UTF-16 code units (a proper prefix first), then ids ascending.
inline bool ResourceIdLess(const ResourceId& a, const ResourceId& b) {
    if (a.isId != b.isId) {
        return !a.isId;
    }
    return a.isId ? a.id < b.id : a.name < b.name;
}

// The header fields of one directory table, kept so that an untouched
// directory is written back as it was.
struct DirectoryInfo {
    std::uint32_t characteristics = 0;
    std::uint32_t timeDateStamp = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
};

// Makes the bytes of staged data on demand. A writer with many large new
// resources describes them instead of holding them all, and each is made
// while the new file is written; the check that follows compares a digest
// taken then. The same item must give the same bytes every time.
class DataSource {
public:
    virtual void Produce(std::uint64_t item, std::span<std::uint8_t> out) const = 0;
    // A hint that `item` is made soon, so that what it is made from can be
    // fetched meanwhile.
    virtual void Prefetch(std::uint64_t /*item*/) const {}

protected:
    DataSource() = default;
    DataSource(const DataSource&) = default;
    DataSource& operator=(const DataSource&) = default;
    ~DataSource() = default;
};

// Staged data made on demand: `size` bytes of `item` of `source`.
struct ProducedData {
    const DataSource* source = nullptr;
    std::uint64_t item = 0;
    std::uint32_t size = 0;
};

// One data entry. `bytes` views memory owned by whoever built the tree (the
// mapped image for the reader, a staged copy for the writer); staged data
// made on demand has `produced` instead.
struct ResourceData {
    std::span<const std::uint8_t> bytes; // empty when the entry points outside the file
    ProducedData produced;
    std::uint32_t codePage = 0;
    std::uint32_t reserved = 0;
    std::uint32_t originalRva = 0;  // as the data entry held it in the file read
    std::uint32_t originalSize = 0; // as the data entry held it in the file read
    bool located = true;            // false when RVA or size fall outside the file

    std::size_t size() const { return produced.source != nullptr ? produced.size : bytes.size(); }
};

struct ResourceDirectory;

struct ResourceEntry {
    ResourceId id;
    std::unique_ptr<ResourceDirectory> subdirectory; // exactly one of these two is set
    std::unique_ptr<ResourceData> data;
};

struct ResourceDirectory {
    DirectoryInfo info;
    std::vector<ResourceEntry> entries; // in the order the file lists them
};

// The entry with this key in one directory (the first, should a crafted file
// repeat a key), or null.
inline const ResourceEntry* FindEntry(const ResourceDirectory& directory, const ResourceId& id) {
    for (const ResourceEntry& entry : directory.entries) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

inline ResourceEntry* FindEntry(ResourceDirectory& directory, const ResourceId& id) {
    return const_cast<ResourceEntry*>(FindEntry(std::as_const(directory), id));
}

} // namespace korva::pe
