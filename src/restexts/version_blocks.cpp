#include "restexts/version_blocks.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "restexts/template_units.h"

namespace korva::res::version {
namespace {

constexpr std::size_t kHeaderSize = 6; // wLength, wValueLength, wType

std::size_t AlignUp(std::size_t offset) {
    return (offset + 3) / 4 * 4;
}

Result<Block> ReadBlock(pe::Bytes data, std::size_t start, std::size_t parentEnd) {
    const std::string where = "the block at " + Hex(start);
    TemplateCursor cursor(data.first(parentEnd), start);
    const std::optional<std::uint16_t> length = cursor.U16();
    const std::optional<std::uint16_t> valueLength = cursor.U16();
    const std::optional<std::uint16_t> type = cursor.U16();
    if (!length || !valueLength || !type) {
        return MakeError(where + ": cut short before its header ends");
    }
    if (*length < kHeaderSize || *length % 2 != 0) {
        return MakeError(where + ": a length of " + std::to_string(*length) +
                         " bytes, which is odd or shorter than its header");
    }
    if (*length > parentEnd - start) {
        return MakeError(where + ": " + std::to_string(*length) +
                         " bytes long, longer than its parent leaves it");
    }
    Block block{start, start + *length, *valueLength, *type, {}, 0};
    cursor = TemplateCursor(data.first(block.end), cursor.Offset());
    std::optional<std::u16string> key = cursor.String();
    if (!key) {
        return MakeError(where + ": its key has no terminating zero");
    }
    block.key = std::move(*key);
    block.valueStart = std::min(AlignUp(cursor.Offset()), block.end);
    return block;
}

// Calls `visit` with each child in [from, end). A parent may end in zero
// padding that is no block.
Result<void> ForEachChild(pe::Bytes data, std::size_t from, std::size_t end,
                          const std::function<Result<void>(const Block&)>& visit) {
    for (std::size_t at = AlignUp(from); at < end;) {
        const pe::Bytes rest = data.subspan(at, end - at);
        if (std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0; })) {
            return {};
        }
        KORVA_ASSIGN_OR_RETURN(const Block child, ReadBlock(data, at, end));
        KORVA_RETURN_IF_ERROR(visit(child));
        at = AlignUp(child.end);
    }
    return {};
}

// A block of blocks: what lies between its key and its children is kept.
Result<pe::Bytes> ContainerValue(pe::Bytes data, const Block& block) {
    const std::size_t size =
        block.type == kTextType ? std::size_t{2} * block.valueLength : block.valueLength;
    if (size > block.end - block.valueStart) {
        return MakeError("the block at " + Hex(block.start) + " (" + Narrow(block.key) +
                         "): a value of " + std::to_string(size) + " bytes, past its end");
    }
    return data.subspan(block.valueStart, size);
}

// A string's text runs from its value to the first zero or the block's
// end. Compilers disagree on wValueLength (UTF-16 units with or without the
// terminator, or bytes), so it is only held against the block: in units or
// in bytes, it must fit.
Result<VersionString> ReadString(pe::Bytes data, const Block& block) {
    const std::size_t room = block.end - block.valueStart;
    if (block.valueLength > room) {
        return MakeError("the string " + Narrow(block.key) + " at " + Hex(block.start) +
                         ": a value length of " + std::to_string(block.valueLength) +
                         ", more than its block holds");
    }
    VersionString string{block, {}};
    TemplateCursor cursor(data.first(block.end), block.valueStart);
    while (const std::optional<std::uint16_t> unit = cursor.U16()) {
        if (*unit == 0) {
            break;
        }
        string.value.push_back(static_cast<char16_t>(*unit));
    }
    return string;
}

Result<StringTable> ReadTable(pe::Bytes data, const Block& block) {
    KORVA_ASSIGN_OR_RETURN(const pe::Bytes value, ContainerValue(data, block));
    StringTable table{block, value, {}};
    KORVA_RETURN_IF_ERROR(ForEachChild(
        data, block.valueStart + value.size(), block.end, [&](const Block& child) -> Result<void> {
            KORVA_ASSIGN_OR_RETURN(VersionString string, ReadString(data, child));
            table.strings.push_back(std::move(string));
            return {};
        }));
    return table;
}

Result<TopChild> ReadTopChild(pe::Bytes data, const Block& block, bool firstStringFileInfo) {
    TopChild child{ChildKind::Other, block, {}, {}, {}};
    if (SameKey(block.key, u"StringFileInfo") && firstStringFileInfo) {
        child.kind = ChildKind::StringFileInfo;
    } else if (SameKey(block.key, u"VarFileInfo")) {
        child.kind = ChildKind::VarFileInfo;
    } else {
        return child;
    }
    KORVA_ASSIGN_OR_RETURN(child.value, ContainerValue(data, block));
    KORVA_RETURN_IF_ERROR(
        ForEachChild(data, block.valueStart + child.value.size(), block.end,
                     [&](const Block& inner) -> Result<void> {
                         if (child.kind == ChildKind::VarFileInfo) {
                             child.vars.push_back({inner, SameKey(inner.key, u"Translation")});
                             return {};
                         }
                         KORVA_ASSIGN_OR_RETURN(StringTable table, ReadTable(data, inner));
                         child.tables.push_back(std::move(table));
                         return {};
                     }));
    return child;
}

} // namespace

std::string Hex(std::uint64_t value, int width) {
    return UpperHex(value, width);
}

bool SameKey(std::u16string_view a, std::u16string_view b) {
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

std::string Narrow(std::u16string_view ascii) {
    std::string out;
    for (const char16_t unit : ascii) {
        out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return out;
}

Result<Tree> ReadTree(pe::Bytes data) {
    Tree tree;
    KORVA_ASSIGN_OR_RETURN(tree.root, ReadBlock(data, 0, data.size()));
    const Block& root = tree.root;
    if (!SameKey(root.key, u"VS_VERSION_INFO")) {
        return MakeError("the root block is \"" + Narrow(root.key) + "\", not VS_VERSION_INFO");
    }
    // The fixed file info is binary whatever wType says.
    if (root.valueLength > root.end - root.valueStart) {
        return MakeError("a fixed file info of " + std::to_string(root.valueLength) +
                         " bytes, more than the root block holds");
    }
    tree.fixedInfo = data.subspan(root.valueStart, root.valueLength);
    KORVA_RETURN_IF_ERROR(ForEachChild(
        data, root.valueStart + tree.fixedInfo.size(), root.end,
        [&](const Block& block) -> Result<void> {
            KORVA_ASSIGN_OR_RETURN(TopChild child, ReadTopChild(data, block, !tree.stringInfo));
            if (child.kind == ChildKind::StringFileInfo) {
                tree.stringInfo = tree.children.size();
            }
            tree.children.push_back(std::move(child));
            return {};
        }));
    return tree;
}

} // namespace korva::res::version
