#include "strtables/read_text_resources.h"

#include <cstdint>
#include <span>
#include <string>

#include "restexts/text_template.h"
#include "restexts/version_format.h"
#include "strtables/read_string_tables.h"
#include "text/codepage.h"

namespace korva {
namespace {

struct TextKind {
    res::ResourceKind kind;
    std::uint16_t type; // the resource type's id
    res::TextFormat format;
};

constexpr TextKind kTextKinds[] = {
    {res::ResourceKind::Menus, 4, res::TextFormat::Menu},
    {res::ResourceKind::Dialogs, 5, res::TextFormat::Dialog},
    {res::ResourceKind::Version, 16, res::TextFormat::Version},
    {res::ResourceKind::Messages, 11, res::TextFormat::MessageTable},
};

Result<std::unique_ptr<res::TextTemplate>>
ParseCopy(const TextKind& kind, std::span<const std::uint8_t> bytes, std::uint16_t language) {
    // A version resource with several string tables gives the texts of the
    // one in its own language.
    if (kind.format == res::TextFormat::Version) {
        return res::ParseVersionInfo(bytes, language);
    }
    return res::ParseTextResource(kind.format, bytes);
}

// The template's texts as the record's Strings, in the run's code page; a
// text that loses characters on the way keeps its code units beside it.
void AddTexts(const res::TextTemplate& parts, std::uint16_t language, CodePage codePage,
              TResInfo& record) {
    std::vector<std::uint8_t> units;
    Text converted;
    for (const res::ResourceText& item : parts.Texts()) {
        units.clear();
        for (const char16_t unit : item.text) {
            units.push_back(static_cast<std::uint8_t>(unit));
            units.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        bool lost = false;
        Utf16LeToAnsi(units, converted, lost, codePage);
        const std::size_t entry = record.Strings.Append(converted, language);
        if (lost) {
            record.LostTexts.push_back({entry, converted, units});
        }
    }
}

// With `unreadable`, a copy the format's reader refuses is listed there and
// the reading goes on; without, it ends the reading.
Result<void> ReadResource(const pe::ResourceModule& module, const TextKind& kind,
                          const pe::ResourceId& name, const StringTableOptions& options,
                          std::vector<TResInfo>& records,
                          std::vector<UnreadableResource>* unreadable) {
    const pe::ResourceId type = pe::ResourceId::Id(kind.type);
    TResInfo record;
    record.Kind = kind.kind;
    record.ResType = ToResName(type, options.codePage);
    record.ResName = ToResName(name, options.codePage);
    record.DisplayName = name.isId ? DisplayId(name.id) : record.ResName.Name;
    std::uint16_t only = 0;
    const pe::EnumResult result = module.EnumLanguages(type, name, [&](std::uint16_t language) {
        ++record.LangCount;
        record.Languages.push_back(language);
        record.HasOrigNeutral = record.HasOrigNeutral || language == options.origNeutralLangId;
        only = language;
        return true;
    });
    const std::string what = std::string(ResourceNoun(kind.kind)) + " " + record.DisplayName;
    if (result != pe::EnumResult::Completed) {
        return MakeError(what + ": its languages cannot be read");
    }
    // Only the copy korva would translate is read: any other is left as it
    // is, whatever it holds.
    if (record.HasOrigNeutral && record.LangCount == 1) {
        const pe::ResourceData* data = module.Find(type, name, only);
        Result<std::unique_ptr<res::TextTemplate>> parts =
            ParseCopy(kind, data != nullptr ? data->bytes : pe::Bytes(), only);
        if (!parts && unreadable != nullptr) {
            unreadable->push_back({what, parts.error().message});
            return {};
        }
        if (!parts) {
            return WithContext(what, parts.error());
        }
        AddTexts(**parts, only, options.codePage, record);
        record.Template = std::move(parts).value();
    }
    records.push_back(std::move(record));
    return {};
}

// ReadTextResources, listing the copies that cannot be read in `unreadable`
// when it is given.
Result<bool> ReadKinds(const pe::ResourceModule& module, const StringTableOptions& options,
                       std::vector<TResInfo>& records,
                       std::vector<UnreadableResource>* unreadable) {
    bool any = false;
    for (const TextKind& kind : kTextKinds) {
        if (!options.kinds.Has(kind.kind)) {
            continue;
        }
        Result<void> read;
        const pe::EnumResult result =
            module.EnumNames(pe::ResourceId::Id(kind.type), [&](const pe::ResourceId& name) {
                read = ReadResource(module, kind, name, options, records, unreadable);
                return read.ok();
            });
        if (!read) {
            return read.error();
        }
        if (result == pe::EnumResult::Malformed) {
            return MakeError("the " + std::string(ResourceNoun(kind.kind)) +
                             " directory is a data entry");
        }
        any = any || result == pe::EnumResult::Completed;
    }
    return any;
}

} // namespace

Result<bool> ReadTextResources(const pe::ResourceModule& module, const StringTableOptions& options,
                               std::vector<TResInfo>& records) {
    return ReadKinds(module, options, records, nullptr);
}

Result<std::vector<UnreadableResource>> FindUnreadableResources(const std::string& path,
                                                                const StringTableOptions& options) {
    KORVA_ASSIGN_OR_RETURN(const pe::ResourceModule module, pe::ResourceModule::Open(path));
    std::vector<TResInfo> records;
    std::vector<UnreadableResource> unreadable;
    KORVA_RETURN_IF_ERROR(ReadKinds(module, options, records, &unreadable));
    return unreadable;
}

} // namespace korva
