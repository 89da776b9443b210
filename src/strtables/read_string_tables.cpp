#include "strtables/read_string_tables.h"

#include <algorithm>
#include <exception>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "langkeys/lang_const.h"
#include "strtables/pe/checked_reader.h"
#include "strtables/pe/constants.h"
#include "strtables/read_text_resources.h"
#include "text/codepage.h"

namespace korva {

// Appended rather than concatenated: GCC 12 reports a false -Wrestrict on
// "#" + std::to_string(...) in optimised builds.
Text DisplayId(std::uint16_t id) {
    Text out = "#";
    out += std::to_string(id);
    return out;
}

ResourceName ToResName(const pe::ResourceId& id, CodePage codePage) {
    ResourceName out;
    out.IsId = id.isId;
    if (id.isId) {
        out.Id = id.id;
    } else {
        // The 8-bit name is what a NUL-terminated name would carry; the exact
        // form stays in RawName for addressing the resource.
        const std::u16string_view raw(id.name);
        out.Name = Utf16ToAnsi(raw.substr(0, raw.find(u'\0')), codePage);
        out.RawName = id.name;
    }
    return out;
}

pe::ResourceId ToResourceId(const ResourceName& name) {
    return name.IsId ? pe::ResourceId::Id(name.Id) : pe::ResourceId::Name(name.RawName);
}

void DecodeStringBlock(std::span<const std::uint8_t> data, std::uint16_t language,
                       CodePage codePage, TStringList<std::int32_t>& strings,
                       std::vector<LostText>* lost) {
    const std::int32_t object = language;
    std::size_t heldBack = 0;
    std::size_t p = 0;
    Text converted;
    bool lostSome = false;
    // A final odd byte cannot start a length word and is ignored.
    while (data.size() - p >= 2) {
        const std::uint16_t length = *pe::ReadU16(data, p);
        p += 2;
        if (length == 0) {
            ++heldBack;
            continue;
        }
        // A length that promises more than the block holds is cut at its
        // end; when nothing of the string is left, the slot counts as absent,
        // so the list still ends with a non-empty text.
        const std::size_t units = std::min<std::size_t>(length, (data.size() - p) / 2);
        if (units == 0) {
            break;
        }
        for (; heldBack > 0; --heldBack) {
            strings.Append(Text(), object);
        }
        const pe::Bytes units16 = *pe::Slice(data, p, 2 * units);
        Utf16LeToAnsi(units16, converted, lostSome, codePage);
        const std::size_t entry = strings.Append(converted, object);
        if (lostSome && lost != nullptr) {
            lost->push_back({entry, converted, {units16.begin(), units16.end()}});
        }
        p += 2 * units;
    }
}

bool EnumLangsProc(const pe::ResourceModule& module, const pe::ResourceId& /*type*/,
                   const pe::ResourceId& /*name*/, std::uint16_t language, TResInfo& record,
                   const StringTableOptions& options) {
    ++record.LangCount;
    record.Languages.push_back(language);
    if (language == options.origNeutralLangId) {
        record.HasOrigNeutral = true;
    }
    // A copy that cannot be located has no bytes: it counts, but adds nothing.
    const pe::ResourceData* data =
        module.Find(ToResourceId(record.ResType), ToResourceId(record.ResName), language);
    DecodeStringBlock(data != nullptr ? data->bytes : pe::Bytes(), language, options.codePage,
                      record.Strings, &record.LostTexts);
    return true;
}

bool EnumNamesProc(const pe::ResourceModule& module, const pe::ResourceId& type,
                   const pe::ResourceId& name, std::vector<TResInfo>& list,
                   const StringTableOptions& options) {
    TResInfo record;
    record.ResType = ToResName(type, options.codePage);
    record.ResName = ToResName(name, options.codePage);
    record.DisplayName = name.isId ? DisplayId(name.id) : record.ResName.Name;
    const pe::EnumResult result = module.EnumLanguages(type, name, [&](std::uint16_t language) {
        return EnumLangsProc(module, type, name, language, record, options);
    });
    if (result != pe::EnumResult::Completed) {
        return false;
    }
    list.push_back(std::move(record));
    return true;
}

namespace {

Result<std::vector<TResInfo>> ReadModuleStringTables(const pe::ResourceModule& module,
                                                     const StringTableOptions& options) {
    std::vector<TResInfo> blocks;
    const pe::ResourceId type = pe::ResourceId::Id(pe::kRtString);
    Text failedBlock;
    const pe::EnumResult result = module.EnumNames(type, [&](const pe::ResourceId& name) {
        if (EnumNamesProc(module, type, name, blocks, options)) {
            return true;
        }
        failedBlock = name.isId ? DisplayId(name.id) : ToResName(name, options.codePage).Name;
        return false;
    });
    switch (result) {
    case pe::EnumResult::Completed:
        return blocks;
    case pe::EnumResult::NotFound:
        return MakeError("no string-table resources");
    case pe::EnumResult::Malformed:
        return MakeError("the string-table directory is a data entry");
    case pe::EnumResult::Stopped:
        break;
    }
    return MakeError("string-table block " + failedBlock + ": its languages cannot be read");
}

// The string tables, when chosen, then the other kinds chosen. A program
// without string tables is refused only when nothing else was asked for.
Result<std::vector<TResInfo>> ReadModuleResources(const pe::ResourceModule& module,
                                                  const StringTableOptions& options) {
    if (options.kinds.IsStringsOnly()) {
        return ReadModuleStringTables(module, options);
    }
    std::vector<TResInfo> records;
    bool any = false;
    const pe::ResourceId strings = pe::ResourceId::Id(pe::kRtString);
    if (options.kinds.Has(res::ResourceKind::Strings) &&
        module.EnumNames(strings, [](const pe::ResourceId&) { return false; }) !=
            pe::EnumResult::NotFound) {
        Result<std::vector<TResInfo>> blocks = ReadModuleStringTables(module, options);
        if (!blocks) {
            return blocks.error();
        }
        records = std::move(blocks).value();
        any = true;
    }
    KORVA_ASSIGN_OR_RETURN(const bool others, ReadTextResources(module, options, records));
    if (!any && !others) {
        return MakeError("no resources of the kinds chosen (" + options.kinds.Words() + ")");
    }
    return records;
}

} // namespace

Result<std::vector<TResInfo>> ReadStringTables(std::string_view path,
                                               const StringTableOptions& options) {
    const std::string name(path);
    try {
        KORVA_ASSIGN_OR_RETURN(const pe::ResourceModule module, pe::ResourceModule::Open(name));
        Result<std::vector<TResInfo>> blocks = ReadModuleResources(module, options);
        // Releasing the module unmaps the file, which cannot fail in a way
        // that matters to the caller.
        if (!blocks) {
            return WithContext(name, blocks.error());
        }
        return blocks;
    } catch (const std::exception& e) {
        // Memory, most likely: a file too large for this process.
        return MakeError(name + ": " + e.what());
    }
}

Result<void> ReadChosenResources() {
    ResBlocks.clear();
    KORVA_ASSIGN_OR_RETURN(
        std::vector<TResInfo> blocks,
        ReadStringTables(ProgFileName, {RunCodePage, OrigNeutralLangId, ChosenResources}));
    ResBlocks = std::move(blocks);
    return {};
}

bool ReadStringTables() {
    try {
        return ReadChosenResources().ok();
    } catch (...) {
        ResBlocks.clear();
        return false;
    }
}

} // namespace korva
