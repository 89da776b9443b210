#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <vector>

#include "common/result.h"
#include "strtables/pe/resource_tree.h"

namespace korva::pe {

// A deep copy of a resource tree. Data spans keep viewing the same bytes.
ResourceDirectory CloneResourceTree(const ResourceDirectory& tree);

// The staged changes of one update, applied as they come to a private copy
// of the whole resource tree (type -> name -> language -> data).
class ResourceChanges {
public:
    // The tree's data spans must stay valid as long as this object lives.
    explicit ResourceChanges(const ResourceDirectory& original);

    ResourceChanges(const ResourceChanges&) = delete;
    ResourceChanges& operator=(const ResourceChanges&) = delete;

    // Adds the copy of type/name/language, or replaces the one there. The
    // bytes are copied.
    Result<void> Put(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                     std::span<const std::uint8_t> bytes, std::uint32_t codePage = 0);
    // The same with data made on demand; its source must outlive this.
    Result<void> Put(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                     const ProducedData& produced, std::uint32_t codePage = 0);

    // Removes that one copy; a name or type left without copies goes too. A
    // copy that is not there is no change.
    Result<void> Remove(const ResourceId& type, const ResourceId& name, std::uint16_t language);

    // True once anything was put or removed.
    bool changed() const { return changed_; }
    const ResourceDirectory& tree() const { return tree_; }

private:
    Result<void> Stage(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                       std::unique_ptr<ResourceData> data);
    Result<ResourceDirectory*> LanguagesOf(const ResourceId& type, const ResourceId& name);

    ResourceDirectory tree_;
    // The language directory found last, and its keys. A writer stages all
    // copies of one resource in a row; without this each would search the
    // names of its type again, which makes thousands of blocks quadratic.
    struct LastFound {
        ResourceId type;
        ResourceId name;
        ResourceDirectory* languages = nullptr;
    } last_;
    // Where the search for the next type and name starts (see FindEntryFrom).
    std::size_t nextType_ = 0;
    std::size_t nextName_ = 0;
    // Owns the bytes of every staged copy; a list, so that spans stay valid.
    std::list<std::vector<std::uint8_t>> staged_;
    bool changed_ = false;
};

} // namespace korva::pe
