#include "strtables/pe/resource_path.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace korva::pe {
namespace {

// The types a resource compiler writes, as people call them; the translated
// kinds by the words korva's own lines use.
std::string_view TypeWord(std::uint16_t type) {
    switch (type) {
    case 1:
        return "cursor";
    case 2:
        return "bitmap";
    case 3:
        return "icon";
    case 4:
        return "menu";
    case 5:
        return "dialog";
    case 6:
        return "string table";
    case 9:
        return "accelerators";
    case 10:
        return "RCDATA";
    case 11:
        return "message table";
    case 12:
        return "cursor group";
    case 14:
        return "icon group";
    case 16:
        return "version info";
    case 24:
        return "manifest";
    default:
        return {};
    }
}

// A string name as far as ASCII shows it, in quotes: it may hold blanks.
std::string Quoted(const std::u16string& name) {
    std::string text = "\"";
    for (const char16_t unit : name) {
        text += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
    return text + "\"";
}

std::string Key(const ResourceId& id, std::size_t depth) {
    static constexpr std::string_view kRoles[] = {"type ", "name ", "language "};
    const std::string role(depth < std::size(kRoles) ? kRoles[depth] : "entry ");
    if (!id.isId) {
        return role + Quoted(id.name);
    }
    if (depth == 2) {
        char hex[8];
        (void)std::snprintf(hex, sizeof hex, "0x%04X", unsigned{id.id});
        return role + hex;
    }
    std::string text = role + "#" + std::to_string(id.id);
    if (const std::string_view word = TypeWord(id.id); depth == 0 && !word.empty()) {
        text += " (" + std::string(word) + ")";
    }
    return text;
}

} // namespace

std::string DescribeResourcePath(std::span<const ResourceId* const> path) {
    if (path.empty()) {
        return "the root directory";
    }
    std::string text;
    for (std::size_t depth = 0; depth < path.size(); ++depth) {
        text += (depth == 0 ? "" : ", ") + Key(*path[depth], depth);
    }
    return text;
}

} // namespace korva::pe
