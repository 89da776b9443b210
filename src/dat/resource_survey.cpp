#include "dat/resource_survey.h"

#include <cstdint>
#include <optional>

#include "restexts/text_template.h"
#include "restexts/version_format.h"
#include "strtables/pe/resource_module.h"
#include "strtables/read_string_tables.h"

namespace korva::dat {
namespace {

struct KindFormat {
    res::ResourceKind kind;
    std::uint16_t type; // RT_MENU, RT_DIALOG, RT_MESSAGETABLE, RT_VERSION
    res::TextFormat format;
};

// In the order korva's reader takes the kinds after string tables.
constexpr KindFormat kKindFormats[] = {
    {res::ResourceKind::Menus, 4, res::TextFormat::Menu},
    {res::ResourceKind::Dialogs, 5, res::TextFormat::Dialog},
    {res::ResourceKind::Version, 16, res::TextFormat::Version},
    {res::ResourceKind::Messages, 11, res::TextFormat::MessageTable},
};

// The one copy of a resource when it is in `neutral` and alone, or nothing.
std::optional<std::uint16_t> LoneNeutralCopy(const pe::ResourceModule& module,
                                             const pe::ResourceId& type, const pe::ResourceId& name,
                                             std::uint16_t neutral) {
    int copies = 0;
    bool hasNeutral = false;
    module.EnumLanguages(type, name, [&](std::uint16_t language) {
        ++copies;
        hasNeutral = hasNeutral || language == neutral;
        return true;
    });
    if (copies == 1 && hasNeutral) {
        return neutral;
    }
    return std::nullopt;
}

void SurveyKind(const pe::ResourceModule& module, const KindFormat& kind,
                const StringTableOptions& options, std::vector<UnreadableResource>& out) {
    const pe::ResourceId type = pe::ResourceId::Id(kind.type);
    module.EnumNames(type, [&](const pe::ResourceId& name) {
        const std::optional<std::uint16_t> language =
            LoneNeutralCopy(module, type, name, options.origNeutralLangId);
        if (!language) {
            return true;
        }
        const std::string shown = name.isId ? "#" + std::to_string(name.id)
                                            : std::string(ToResName(name, options.codePage).Name);
        const std::string resource = std::string(ResourceNoun(kind.kind)) + " " + shown;
        const pe::ResourceData* data = module.Find(type, name, *language);
        const pe::Bytes bytes = data != nullptr ? data->bytes : pe::Bytes();
        // As korva's reader: a version resource gives the texts of its
        // string table in its own language.
        const auto parsed = kind.format == res::TextFormat::Version
                                ? res::ParseVersionInfo(bytes, *language)
                                : res::ParseTextResource(kind.format, bytes);
        if (!parsed) {
            out.push_back({resource, parsed.error().message});
        }
        return true;
    });
}

} // namespace

Result<std::vector<UnreadableResource>> FindUnreadableResources(const std::string& path,
                                                                const StringTableOptions& options) {
    KORVA_ASSIGN_OR_RETURN(const pe::ResourceModule module, pe::ResourceModule::Open(path));
    std::vector<UnreadableResource> out;
    for (const KindFormat& kind : kKindFormats) {
        if (options.kinds.Has(kind.kind)) {
            SurveyKind(module, kind, options, out);
        }
    }
    return out;
}

} // namespace korva::dat
