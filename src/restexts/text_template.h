#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace korva::res {

// The resource formats whose texts are translated besides string tables.
enum class TextFormat : std::uint8_t {
    Menu,         // RT_MENU: MENU and MENUEX templates
    Dialog,       // RT_DIALOG: DIALOG and DIALOGEX templates
    Version,      // RT_VERSION: VS_VERSIONINFO
    MessageTable, // RT_MESSAGETABLE
};

// One translatable text of a resource, in the order the resource holds them.
struct ResourceText {
    std::u16string text; // the exact UTF-16 code units, without a terminator
    // Where it sits, for people (UTF-8): "File > Open" (the menu path, '&'
    // marks and the part after a tab left out), "caption", "control 1001",
    // "FileDescription", "0x0000000C".
    std::string where;
    // Texts with the same scope (>= 0) share the keyboard's '&' letters: the
    // items of one menu popup level, or the controls of one dialog. -1: none.
    int hotkeyScope = -1;
    // A dialog control's box in dialog units, its class as an ordinal (0x80
    // button, 0x81 edit, 0x82 static, ...; 0 for a class given by name) and
    // style, and the dialog font's point size (0: the system font). All zero
    // for anything but a dialog control.
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t classOrdinal = 0;
    std::uint32_t style = 0;
    std::uint16_t fontPoints = 0;
};

// A resource read into its parts, which writes itself again with other
// texts. Everything but the texts (and, for version info, the language it
// names) comes out as it went in.
class TextTemplate {
public:
    virtual ~TextTemplate() = default;

    const std::vector<ResourceText>& Texts() const { return texts_; }

    // The resource with Texts()[i] replaced by texts[i] (texts.size() ==
    // Texts().size()), as the copy in `language` holds it. Fails when a text
    // does not fit the format (a length field too small for it).
    virtual Result<std::vector<std::uint8_t>> Build(std::span<const std::u16string_view> texts,
                                                    std::uint16_t language) const = 0;

protected:
    std::vector<ResourceText> texts_;
};

// Reads one resource's bytes in the given format. Every read is checked
// against the data: a truncated template, a text without its terminating
// zero, a count larger than the data, nesting deeper than a sane bound or a
// length that contradicts its block give an error saying what was wrong
// (the caller adds which resource), never a read past the data.
Result<std::unique_ptr<TextTemplate>> ParseTextResource(TextFormat format,
                                                        std::span<const std::uint8_t> data);

// Each format's reader, as ParseTextResource dispatches to them.
Result<std::unique_ptr<TextTemplate>> ParseMenu(std::span<const std::uint8_t> data);
Result<std::unique_ptr<TextTemplate>> ParseDialog(std::span<const std::uint8_t> data);
Result<std::unique_ptr<TextTemplate>> ParseVersionInfo(std::span<const std::uint8_t> data);
Result<std::unique_ptr<TextTemplate>> ParseMessageTable(std::span<const std::uint8_t> data);

} // namespace korva::res
