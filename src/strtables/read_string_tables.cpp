#include "strtables/read_string_tables.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "langkeys/lang_const.h"
#include "strtables/pe/checked_reader.h"
#include "strtables/pe/constants.h"
#include "text/codepage.h"

namespace korva {
namespace {

// "#" and the decimal id. Appended rather than concatenated: GCC 12 reports
// a false -Wrestrict on "#" + std::to_string(...) in optimised builds.
Text DisplayId(std::uint16_t id) {
    Text out = "#";
    out += std::to_string(id);
    return out;
}

} // namespace

ResourceName ToResName(const pe::ResourceId& id) {
    ResourceName out;
    out.IsId = id.isId;
    if (id.isId) {
        out.Id = id.id;
    } else {
        // The 8-bit name is what a NUL-terminated name would carry; the exact
        // form stays in RawName for addressing the resource.
        const std::u16string_view raw(id.name);
        out.Name = Utf16ToAnsi(raw.substr(0, raw.find(u'\0')));
        out.RawName = id.name;
    }
    return out;
}

pe::ResourceId ToResourceId(const ResourceName& name) {
    return name.IsId ? pe::ResourceId::Id(name.Id) : pe::ResourceId::Name(name.RawName);
}

void DecodeStringBlock(std::span<const std::uint8_t> data, std::uint16_t language,
                       TStringList<std::int32_t>& strings, std::vector<LostText>* lost) {
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
        Utf16LeToAnsi(units16, converted, lostSome);
        const std::size_t entry = strings.Append(converted, object);
        if (lostSome && lost != nullptr) {
            lost->push_back({entry, converted, {units16.begin(), units16.end()}});
        }
        p += 2 * units;
    }
}

bool EnumLangsProc(const pe::ResourceModule& module, const pe::ResourceId& /*type*/,
                   const pe::ResourceId& /*name*/, std::uint16_t language, TResInfo& record) {
    ++record.LangCount;
    if (language == OrigNeutralLangId) {
        record.HasOrigNeutral = true;
    }
    // A copy that cannot be located has no bytes: it counts, but adds nothing.
    const pe::ResourceData* data =
        module.Find(ToResourceId(record.ResType), ToResourceId(record.ResName), language);
    DecodeStringBlock(data != nullptr ? data->bytes : pe::Bytes(), language, record.Strings,
                      &record.LostTexts);
    return true;
}

bool EnumNamesProc(const pe::ResourceModule& module, const pe::ResourceId& type,
                   const pe::ResourceId& name, std::vector<TResInfo>& list) {
    TResInfo record;
    record.ResType = ToResName(type);
    record.ResName = ToResName(name);
    record.DisplayName = name.isId ? DisplayId(name.id) : record.ResName.Name;
    const pe::EnumResult result = module.EnumLanguages(type, name, [&](std::uint16_t language) {
        return EnumLangsProc(module, type, name, language, record);
    });
    if (result != pe::EnumResult::Completed) {
        return false;
    }
    list.push_back(std::move(record));
    return true;
}

bool ReadStringTables() {
    try {
        const Result<pe::ResourceModule> module = pe::ResourceModule::Open(ProgFileName);
        if (!module) {
            return false;
        }
        ResBlocks.clear();
        const pe::ResourceId type = pe::ResourceId::Id(pe::kRtString);
        const pe::EnumResult result = module->EnumNames(type, [&](const pe::ResourceId& name) {
            return EnumNamesProc(*module, type, name, ResBlocks);
        });
        // Releasing the module unmaps the file, which cannot fail in a way
        // that matters to the caller.
        return result == pe::EnumResult::Completed;
    } catch (...) {
        return false;
    }
}

} // namespace korva
