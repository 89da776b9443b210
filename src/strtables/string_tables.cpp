#include "strtables/string_tables.h"

#include <set>

#include "langkeys/lang_const.h"
#include "langkeys/language_tags.h"
#include "restexts/template_units.h"

namespace korva {
namespace {

std::string UpperHexId(std::uint16_t id) {
    return "0x" + res::UpperHex(id, 4);
}

// What -O takes to name `id`: a key's name for its own id, else the tag,
// else the number.
std::string OptionValue(std::uint16_t id) {
    for (const TLangKey& key : LangKeys) {
        if (key.LangId == id && id != 0) {
            return std::string(key.Name);
        }
    }
    const std::string_view tag = LanguageTagOf(id);
    return tag.empty() ? UpperHexId(id) : std::string(tag);
}

} // namespace

std::vector<TResInfo> ResBlocks;
res::ResourceKinds ChosenResources = res::ResourceKinds::StringsOnly();

std::string_view ResourceNoun(res::ResourceKind kind) {
    switch (kind) {
    case res::ResourceKind::Strings:
        return "block";
    case res::ResourceKind::Menus:
        return "menu";
    case res::ResourceKind::Dialogs:
        return "dialog";
    case res::ResourceKind::Version:
        return "version info";
    case res::ResourceKind::Messages:
        return "message table";
    }
    return "resource";
}

std::string LanguagesFoundHint(const std::vector<TResInfo>& records,
                               std::uint16_t origNeutralLangId) {
    std::set<std::uint16_t> found;
    for (const TResInfo& record : records) {
        // A resource in several languages was translated already: another
        // -O would not make it translatable.
        if (record.HasOrigNeutral || record.LangCount != 1) {
            return {};
        }
        found.insert(record.Languages.begin(), record.Languages.end());
    }
    if (found.empty()) {
        return {};
    }
    std::string ids;
    std::string options;
    for (const std::uint16_t id : found) {
        ids += (ids.empty() ? "" : ", ") + DescribeLangId(id);
        options += (options.empty() ? "-O" : " or -O") + OptionValue(id);
    }
    return "no resource is in the language id " + UpperHexId(origNeutralLangId) +
           " looked for (-O); the program's are in " + ids + ": " + options + " takes them";
}

void ResetResBlocks() {
    ResBlocks.clear();
    ChosenResources = res::ResourceKinds::StringsOnly();
}

} // namespace korva
