// The where-used comments korva-dat writes before an entry, and their reading.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "dat/data_document.h"
#include "text/text.h"

namespace korva::dat {

namespace {

// The word a where-used comment gives each kind but string tables.
constexpr std::pair<res::ResourceKind, std::string_view> kItemWords[] = {
    {res::ResourceKind::Menus, "menu"},
    {res::ResourceKind::Dialogs, "dialog"},
    {res::ResourceKind::Version, "version"},
    {res::ResourceKind::Messages, "message"},
};

// A program has one version and one message resource as a rule, #1, which
// the comment leaves unnamed.
bool NamedInLabel(const TextLocation& location) {
    const bool single =
        location.kind == res::ResourceKind::Version || location.kind == res::ResourceKind::Messages;
    return !single || location.block != "#1";
}

std::optional<TextLocation> ReadStringLocation(std::string_view line) {
    TextLocation out;
    std::size_t numberAt = line.rfind(", string id ");
    std::size_t numberSkip = 12;
    if (numberAt == std::string_view::npos) {
        numberAt = line.rfind(", slot ");
        numberSkip = 7;
        out.named = true;
    }
    if (numberAt == std::string_view::npos) {
        return std::nullopt;
    }
    const auto number = ParseInteger(line.substr(numberAt + numberSkip), IntegerSyntax{});
    const std::size_t blockAt = line.rfind(", block ", numberAt);
    if (!number || blockAt == std::string_view::npos || blockAt == 0) {
        return std::nullopt;
    }
    out.number = static_cast<std::uint32_t>(*number);
    out.program = line.substr(0, blockAt);
    out.block = line.substr(blockAt + 8, numberAt - blockAt - 8);
    return out;
}

// The other kinds: the program ends at the first ", <word>" that a label
// can begin with; the item, a menu path say, may hold commas of its own.
std::optional<TextLocation> ReadItemLocation(std::string_view line) {
    std::optional<TextLocation> best;
    std::size_t bestAt = std::string_view::npos;
    for (const auto& [kind, word] : kItemWords) {
        const std::string marker = ", " + std::string(word);
        for (std::size_t at = line.find(marker); at != std::string_view::npos && at < bestAt;
             at = line.find(marker, at + 1)) {
            std::string_view rest = line.substr(at + marker.size());
            TextLocation out;
            out.kind = kind;
            out.block = "#1";
            const bool unnamed = (kind == res::ResourceKind::Version && rest.starts_with(", ")) ||
                                 (kind == res::ResourceKind::Messages && rest.starts_with(" 0x") &&
                                  rest.find(", ") == std::string_view::npos);
            if (!unnamed) {
                const std::size_t comma = rest.find(", ");
                if (!rest.starts_with(' ') || comma == std::string_view::npos || comma < 2) {
                    continue;
                }
                out.block = rest.substr(1, comma - 1);
                rest.remove_prefix(comma);
            }
            out.where = rest.substr(rest.starts_with(", ") ? 2 : 1);
            out.program = line.substr(0, at);
            if (at > 0 && !out.where.empty()) {
                best = std::move(out);
                bestAt = at;
            }
        }
    }
    return best;
}

} // namespace

std::string_view ItemWord(res::ResourceKind kind) {
    for (const auto& [k, word] : kItemWords) {
        if (k == kind) {
            return word;
        }
    }
    return "block";
}

std::string ItemLabel(const TextLocation& location) {
    if (location.kind == res::ResourceKind::Strings) {
        return "block " + location.block + (location.named ? ", slot " : ", string id ") +
               std::to_string(location.number);
    }
    std::string out(ItemWord(location.kind));
    if (NamedInLabel(location)) {
        out += " " + location.block;
    }
    const bool comma = location.kind != res::ResourceKind::Messages || NamedInLabel(location);
    return out + (comma ? ", " : " ") + location.where;
}

std::string LocationLine(const TextLocation& location) {
    return std::string(kUsedInPrefix) + location.program + ", " + ItemLabel(location);
}

std::optional<TextLocation> ReadLocationLine(std::string_view line) {
    if (!line.starts_with(kUsedInPrefix)) {
        return std::nullopt;
    }
    line.remove_prefix(kUsedInPrefix.size());
    if (std::optional<TextLocation> strings = ReadStringLocation(line)) {
        return strings;
    }
    return ReadItemLocation(line);
}

} // namespace korva::dat
