// MENU and MENUEX templates. A MENU item is a WORD of flags, a WORD id
// (popups have none) and a text; a MENUEX item is a DWORD type, state and id,
// a WORD of resource info and a text, each item on a DWORD boundary, a popup
// followed by its help id. In both, a popup's items follow it and the last
// item of each level carries the end flag.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "restexts/template_build.h"
#include "restexts/template_units.h"
#include "restexts/text_template.h"
#include "text/utf8.h"

namespace korva::res {
namespace {

constexpr std::uint16_t kMfPopup = 0x0010;
constexpr std::uint16_t kMfEnd = 0x0080;
constexpr std::uint32_t kMfSeparator = 0x0800; // MF_SEPARATOR and MFT_SEPARATOR alike
constexpr std::uint16_t kExPopup = 0x01;
constexpr std::uint16_t kExEnd = 0x80;
// No real menu comes near this, and each level is one frame of recursion.
constexpr int kMaxDepth = 32;

struct MenuItem {
    std::uint32_t type = 0;    // MENU: the flags; MENUEX: the type
    std::uint32_t state = 0;   // MENUEX only
    std::uint32_t id = 0;      // MENU: 16 bits, and none for a popup
    std::uint16_t resInfo = 0; // MENUEX only
    std::uint32_t helpId = 0;  // MENUEX popups only
    std::u16string text;
    std::size_t textEnd = 0; // where the text's terminator ends in the data
    bool popup = false;
    bool last = false;
    int slot = -1; // its index in the texts, -1 for a separator
};

// An item's text as its menu path shows it, for people (UTF-8, a lone
// surrogate as U+FFFD): the '&' marks gone ("&&" is a literal '&') and the
// shortcut after a tab cut off.
std::string PathLabel(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && text[i] != u'\t'; ++i) {
        char32_t c = text[i];
        if (c == u'&') {
            if (i + 1 >= text.size() || text[i + 1] != u'&') {
                continue;
            }
            ++i;
        } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(c, out);
    }
    return out;
}

std::string Offset(std::size_t offset) {
    return " at offset " + std::to_string(offset);
}

// Compilers write MENUITEM SEPARATOR as an item with id 0 and no text (with
// no separator flag), and the loader turns any such item into a separator.
bool IsSeparator(const MenuItem& item) {
    return (item.type & kMfSeparator) != 0 || (!item.popup && item.id == 0 && item.text.empty());
}

class MenuReader {
public:
    MenuReader(pe::Bytes data, std::size_t itemsStart, bool extended)
        : cursor_(data, itemsStart), extended_(extended) {}

    Result<void> ReadLevel(int depth, int scope);

    std::vector<MenuItem>& Items() { return items_; }
    std::vector<ResourceText>& Texts() { return texts_; }

private:
    Result<MenuItem> ReadItem();
    Result<void> ReadFields(MenuItem& item);
    void AddText(MenuItem& item, int scope);

    TemplateCursor cursor_;
    bool extended_;
    std::vector<MenuItem> items_;
    std::vector<ResourceText> texts_;
    std::vector<std::string> path_;
    int scopes_ = 0;
};

// NOLINTNEXTLINE(misc-no-recursion): the depth is bounded
Result<void> MenuReader::ReadLevel(int depth, int scope) {
    if (depth > kMaxDepth) {
        return MakeError("menus nest deeper than " + std::to_string(kMaxDepth) + " levels");
    }
    for (;;) {
        if (cursor_.Left() == 0) {
            return MakeError("a menu level ends without its last item" + Offset(cursor_.Offset()));
        }
        KORVA_ASSIGN_OR_RETURN(MenuItem item, ReadItem());
        AddText(item, scope);
        const bool popup = item.popup;
        const bool last = item.last;
        items_.push_back(std::move(item));
        if (popup) {
            path_.push_back(PathLabel(items_.back().text));
            KORVA_RETURN_IF_ERROR(ReadLevel(depth + 1, ++scopes_));
            path_.pop_back();
        }
        if (last) {
            return {};
        }
    }
}

Result<MenuItem> MenuReader::ReadItem() {
    MenuItem item;
    KORVA_RETURN_IF_ERROR(ReadFields(item));
    const std::size_t textAt = cursor_.Offset();
    std::optional<std::u16string> text = cursor_.String();
    if (!text) {
        return MakeError("a menu text has no terminating zero" + Offset(textAt));
    }
    item.text = std::move(*text);
    item.textEnd = cursor_.Offset();
    if (extended_) {
        cursor_.Align(4);
        if (item.popup) {
            const std::optional<std::uint32_t> helpId = cursor_.U32();
            if (!helpId) {
                return MakeError("a menu popup's help id is cut off" + Offset(cursor_.Offset()));
            }
            item.helpId = *helpId;
        }
    }
    return item;
}

Result<void> MenuReader::ReadFields(MenuItem& item) {
    const std::size_t at = cursor_.Offset();
    const auto truncated = [at] { return MakeError("a menu item is cut off" + Offset(at)); };
    if (extended_) {
        const std::optional<std::uint32_t> type = cursor_.U32();
        const std::optional<std::uint32_t> state = cursor_.U32();
        const std::optional<std::uint32_t> id = cursor_.U32();
        const std::optional<std::uint16_t> resInfo = cursor_.U16();
        if (!type || !state || !id || !resInfo) {
            return truncated();
        }
        item.type = *type;
        item.state = *state;
        item.id = *id;
        item.resInfo = *resInfo;
        item.popup = (*resInfo & kExPopup) != 0;
        item.last = (*resInfo & kExEnd) != 0;
        return {};
    }
    const std::optional<std::uint16_t> flags = cursor_.U16();
    if (!flags) {
        return truncated();
    }
    item.type = *flags;
    item.popup = (*flags & kMfPopup) != 0;
    item.last = (*flags & kMfEnd) != 0;
    if (!item.popup) {
        const std::optional<std::uint16_t> id = cursor_.U16();
        if (!id) {
            return truncated();
        }
        item.id = *id;
    }
    return {};
}

void MenuReader::AddText(MenuItem& item, int scope) {
    if (IsSeparator(item)) {
        return;
    }
    std::string where;
    for (const std::string& part : path_) {
        where += part + " > ";
    }
    where += PathLabel(item.text);
    item.slot = static_cast<int>(texts_.size());
    ResourceText text;
    text.text = item.text;
    text.where = std::move(where);
    text.hotkeyScope = scope;
    texts_.push_back(std::move(text));
}

class MenuTemplate final : public TextTemplate {
public:
    static Result<std::unique_ptr<TextTemplate>> Read(pe::Bytes data);

    Result<std::vector<std::uint8_t>> Build(std::span<const std::u16string_view> texts,
                                            std::uint16_t language) const override;

private:
    bool extended_ = false;
    std::vector<std::uint8_t> header_; // up to the first item, kept as it is
    std::vector<MenuItem> items_;
    TemplateTail tail_;
};

Result<std::unique_ptr<TextTemplate>> MenuTemplate::Read(pe::Bytes data) {
    TemplateCursor cursor(data);
    const std::optional<std::uint16_t> version = cursor.U16();
    const std::optional<std::uint16_t> offset = cursor.U16();
    if (!version || !offset) {
        return MakeError("the menu header is cut off");
    }
    if (*version > 1) {
        return MakeError("unknown menu template version " + std::to_string(*version));
    }
    // The offset counts from the end of the header's two words.
    const std::size_t itemsStart = 4 + std::size_t{*offset};
    if (itemsStart > data.size()) {
        return MakeError("the menu's items start past its end");
    }
    auto menu = std::make_unique<MenuTemplate>();
    menu->extended_ = *version == 1;
    menu->header_.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(itemsStart));
    // A compiler writes a menu without items as the header alone.
    if (itemsStart < data.size()) {
        MenuReader reader(data, itemsStart, menu->extended_);
        KORVA_RETURN_IF_ERROR(reader.ReadLevel(1, 0));
        menu->texts_ = std::move(reader.Texts());
        menu->items_ = std::move(reader.Items());
    }
    const std::size_t end = menu->items_.empty() ? itemsStart : menu->items_.back().textEnd;
    // Compilers round a MENUEX up to its DWORD boundary.
    menu->tail_ = TemplateTail::After(data, end, menu->extended_ ? 4 : 1, menu->extended_);
    return std::unique_ptr<TextTemplate>(std::move(menu));
}

Result<std::vector<std::uint8_t>> MenuTemplate::Build(std::span<const std::u16string_view> texts,
                                                      std::uint16_t /*language*/) const {
    KORVA_RETURN_IF_ERROR(CheckNewTexts(texts, texts_.size()));
    TemplateWriter out;
    out.Raw(header_);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const MenuItem& item = items_[i];
        const std::u16string_view text =
            item.slot >= 0 ? texts[static_cast<std::size_t>(item.slot)] : item.text;
        // The loader would show a separator where the item was.
        if (item.slot >= 0 && !item.popup && item.id == 0 && text.empty()) {
            return MakeError("item " + texts_[static_cast<std::size_t>(item.slot)].where +
                             " has the id 0, and with an empty text it would read as a "
                             "separator");
        }
        if (!extended_) {
            out.U16(static_cast<std::uint16_t>(item.type));
            if (!item.popup) {
                out.U16(static_cast<std::uint16_t>(item.id));
            }
            out.String(text);
            continue;
        }
        out.U32(item.type);
        out.U32(item.state);
        out.U32(item.id);
        out.U16(item.resInfo);
        out.String(text);
        // The last item is never a popup; its padding is the tail's.
        if (i + 1 < items_.size()) {
            out.Align(4);
            if (item.popup) {
                out.U32(item.helpId);
            }
        }
    }
    tail_.WriteTo(out);
    return std::move(out).Take();
}

} // namespace

Result<std::unique_ptr<TextTemplate>> ParseMenu(std::span<const std::uint8_t> data) {
    return MenuTemplate::Read(data);
}

} // namespace korva::res
