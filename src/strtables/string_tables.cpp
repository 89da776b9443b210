#include "strtables/string_tables.h"

namespace korva {

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

void ResetResBlocks() {
    ResBlocks.clear();
    ChosenResources = res::ResourceKinds::StringsOnly();
}

} // namespace korva
