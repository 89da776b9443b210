#include "restexts/resource_kinds.h"

#include <algorithm>
#include <cctype>

namespace korva::res {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

constexpr std::string_view kKnownWords = "strings, menus, dialogs, version, messages or all";

} // namespace

std::string_view KindWord(ResourceKind kind) {
    switch (kind) {
    case ResourceKind::Strings:
        return "strings";
    case ResourceKind::Menus:
        return "menus";
    case ResourceKind::Dialogs:
        return "dialogs";
    case ResourceKind::Version:
        return "version";
    case ResourceKind::Messages:
        return "messages";
    }
    return "?";
}

std::string ResourceKinds::Words() const {
    std::string out;
    for (const ResourceKind kind : kAllResourceKinds) {
        if (Has(kind)) {
            if (!out.empty()) {
                out += ',';
            }
            out += KindWord(kind);
        }
    }
    return out;
}

Result<ResourceKinds> ParseResourceKinds(std::string_view list) {
    if (list.empty()) {
        return MakeError("the list of resource types is empty (" + std::string(kKnownWords) + ")");
    }
    ResourceKinds kinds = ResourceKinds::None();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        const std::string_view word = list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (word.empty()) {
            return MakeError("an empty word in the list of resource types \"" + std::string(list) +
                             "\"");
        }
        bool known = false;
        for (const ResourceKind kind : kAllResourceKinds) {
            if (EqualIgnoringCase(word, "all") || EqualIgnoringCase(word, KindWord(kind))) {
                kinds.Add(kind);
                known = true;
            }
        }
        if (!known) {
            return MakeError("unknown resource type \"" + std::string(word) + "\" (" +
                             std::string(kKnownWords) + ")");
        }
        if (comma == std::string_view::npos) {
            return kinds;
        }
        start = comma + 1;
    }
}

} // namespace korva::res
