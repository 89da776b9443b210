#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "strtables/pe/resource_module.h"
#include "strtables/string_tables.h"

namespace korva {

// The enumeration callbacks of ReadStringTables; true goes on, false stops.
bool EnumNamesProc(const pe::ResourceModule& module, const pe::ResourceId& type,
                   const pe::ResourceId& name, std::vector<TResInfo>& list,
                   const StringTableOptions& options);
bool EnumLangsProc(const pe::ResourceModule& module, const pe::ResourceId& type,
                   const pe::ResourceId& name, std::uint16_t language, TResInfo& record,
                   const StringTableOptions& options);

// Appends the texts of one language copy of a block to `strings`, each with
// the language as its object: empty slots only where a non-empty one follows.
// A text that lost characters in the conversion is also added to `lost`.
void DecodeStringBlock(std::span<const std::uint8_t> data, std::uint16_t language,
                       CodePage codePage, TStringList<std::int32_t>& strings,
                       std::vector<LostText>* lost = nullptr);

// How a resource with an integer id is shown: "#" and the decimal id.
Text DisplayId(std::uint16_t id);

// Between the resource layer's names and the record's; a string name is
// converted into `codePage`.
ResourceName ToResName(const pe::ResourceId& id, CodePage codePage);
pe::ResourceId ToResourceId(const ResourceName& name);

} // namespace korva
