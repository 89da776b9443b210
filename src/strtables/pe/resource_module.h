#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "common/result.h"
#include "platform/platform.h"
#include "strtables/pe/checked_reader.h"
#include "strtables/pe/image.h"
#include "strtables/pe/resource_tree.h"

namespace korva::pe {

// Callers outside the layer still spell these pe::Result and pe::Error.
using korva::Error;
using korva::Result;

// How an enumeration ended.
enum class EnumResult {
    Completed, // every callback returned true
    Stopped,   // a callback returned false
    NotFound,  // no such type (or name)
    Malformed, // the tree has not the shape the enumeration needs there
};

// An image loaded as a data file: its headers and whole resource tree, read
// once at Open. The resource data spans point into the file's bytes, which
// the module keeps alive (and at the same address when moved) until it is
// destroyed.
class ResourceModule {
public:
    // Maps the named file and reads it. Fails when the file cannot be
    // opened, is not a PE image, or its resource tree is malformed.
    static Result<ResourceModule> Open(const std::string& path);
    // The same over bytes in memory (tests, fuzzing).
    static Result<ResourceModule> FromBytes(std::vector<std::uint8_t> bytes);
    // The same over bytes that stay the caller's and must outlive the module.
    static Result<ResourceModule> View(Bytes bytes);

    const Image& image() const { return image_; }
    const ResourceDirectory& root() const { return *root_; }
    Bytes file() const;

    // Gives back the memory of file bytes that a pass no longer needs, where
    // the file is mapped; they are read again from the file when used.
    void ReleasePages(Bytes bytes) const;
    // The mapped file behind file(), or null for bytes in memory.
    const MappedFile* mapped() const { return std::get_if<MappedFile>(&storage_); }

    // Calls `callback` with each name of `type`, in the directory's order
    // (string names, then ids), until it returns false. Malformed when the
    // type's entry is a data leaf.
    EnumResult EnumNames(const ResourceId& type,
                         const std::function<bool(const ResourceId& name)>& callback) const;

    // Calls `callback` with each language of one resource, in the directory's
    // order, until it returns false. Malformed when the name's entry is a
    // data leaf or a language entry is named (a language is a 16-bit id).
    EnumResult EnumLanguages(const ResourceId& type, const ResourceId& name,
                             const std::function<bool(std::uint16_t language)>& callback) const;

    // One language copy, or null when there is none, or when that entry is a
    // directory instead of data. A copy whose data lies outside the file is
    // found, with located false and no bytes.
    const ResourceData* Find(const ResourceId& type, const ResourceId& name,
                             std::uint16_t language) const;

private:
    using Storage = std::variant<MappedFile, std::vector<std::uint8_t>, Bytes>;
    ResourceModule(Storage storage, Image image, ResourceDirectory root);
    static Result<ResourceModule> Parse(Storage storage);

    void IndexDirectory(const ResourceDirectory& directory);
    const ResourceEntry* Lookup(const ResourceDirectory& directory, const ResourceId& id) const;
    const ResourceDirectory* SubdirectoryOf(const ResourceDirectory& directory,
                                            const ResourceId& id, EnumResult& failure) const;

    Storage storage_;
    Image image_;
    std::unique_ptr<ResourceDirectory> root_; // held by pointer: the index keys on addresses
    // Entry positions of each large directory, sorted by key, so that every
    // lookup is a binary search: a crafted directory of 65535 names would
    // make the enumeration quadratic with a linear search.
    std::unordered_map<const ResourceDirectory*, std::vector<std::uint32_t>> index_;
};

} // namespace korva::pe
