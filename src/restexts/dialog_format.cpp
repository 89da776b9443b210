// DIALOG and DIALOGEX templates: a header (styles, control count, box), the
// menu and class (each none, an ordinal or a name), the caption, the font
// when the style asks for one, then the controls, each on a DWORD boundary:
// fixed fields, class, text (a string or an ordinal) and creation data.

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

namespace korva::res {
namespace {

constexpr std::uint32_t kDsSetFont = 0x40; // DS_SHELLFONT includes it
// A font size that names the message box font, with no face after it.
constexpr std::uint16_t kMessageBoxFont = 0x7FFF;
constexpr std::uint16_t kOrdinalMark = 0xFFFF;
// The fewest bytes a control takes (no padding, an empty class and text and
// no creation data): a count above data / this cannot be true.
constexpr std::size_t kMinControl = 18 + 6;
constexpr std::size_t kMinControlEx = 24 + 6;

struct DialogControl {
    std::vector<std::uint8_t> head;  // fixed fields and class, kept as they are
    std::vector<std::uint8_t> title; // an ordinal text as it is; empty for a string
    std::vector<std::uint8_t> rest;  // the creation data with its count
    int slot = -1;                   // its index in the texts, -1 for an ordinal
};

std::string At(std::size_t offset) {
    return " at offset " + std::to_string(offset);
}

std::vector<std::uint8_t> Copy(pe::Bytes data, std::size_t from, std::size_t to) {
    return {data.begin() + static_cast<std::ptrdiff_t>(from),
            data.begin() + static_cast<std::ptrdiff_t>(to)};
}

// Steps over a menu or class field: 0 for none, 0xFFFF and an ordinal, or a
// name. Gives the ordinal, 0 for a name or none.
Result<std::uint16_t> SkipNameOrOrdinal(TemplateCursor& cursor, const char* what) {
    const std::size_t at = cursor.Offset();
    const std::optional<std::uint16_t> first = cursor.U16();
    if (first && *first == kOrdinalMark) {
        const std::optional<std::uint16_t> ordinal = cursor.U16();
        if (ordinal) {
            return *ordinal;
        }
    } else if (first) {
        cursor.Seek(at);
        if (cursor.String()) {
            return std::uint16_t{0};
        }
    }
    return MakeError(std::string("the dialog's ") + what + " is cut off" + At(at));
}

// The header fields a reader needs; everything else is copied.
struct DialogHeader {
    bool extended = false;
    std::uint32_t style = 0;
    std::uint16_t count = 0;
};

Result<DialogHeader> ReadHeader(TemplateCursor& cursor) {
    DialogHeader header;
    const std::optional<std::uint16_t> version = cursor.U16();
    const std::optional<std::uint16_t> signature = cursor.U16();
    header.extended = version == 1 && signature == kOrdinalMark;
    // DLGTEMPLATEEX: version, signature, help id, extended style, style;
    // DLGTEMPLATE: style, extended style. Then the count and the box.
    std::optional<std::uint32_t> style;
    if (header.extended) {
        cursor.U32();
        cursor.U32();
        style = cursor.U32();
    } else {
        cursor.Seek(0);
        style = cursor.U32();
        cursor.U32();
    }
    const std::optional<std::uint16_t> count = cursor.U16();
    const std::optional<pe::Bytes> box = cursor.Raw(8);
    if (!style || !count || !box) {
        return MakeError("the dialog header is cut off");
    }
    header.style = *style;
    header.count = *count;
    return header;
}

struct ControlFields {
    std::uint32_t style = 0;
    std::uint16_t cx = 0;
    std::uint16_t cy = 0;
    std::uint32_t id = 0;
};

std::optional<ControlFields> ReadControlFields(TemplateCursor& cursor, bool extended) {
    if (extended) {
        cursor.U32(); // help id
        cursor.U32(); // extended style
    }
    const std::optional<std::uint32_t> style = cursor.U32();
    if (!extended) {
        cursor.U32();
    }
    cursor.U16(); // x
    cursor.U16(); // y
    const std::optional<std::uint16_t> cx = cursor.U16();
    const std::optional<std::uint16_t> cy = cursor.U16();
    std::optional<std::uint32_t> id;
    if (extended) {
        id = cursor.U32();
    } else if (const std::optional<std::uint16_t> shortId = cursor.U16()) {
        // IDC_STATIC is all ones in either width.
        id = *shortId == 0xFFFF ? 0xFFFFFFFF : std::uint32_t{*shortId};
    }
    if (!style || !cx || !cy || !id) {
        return std::nullopt;
    }
    return ControlFields{*style, *cx, *cy, *id};
}

// Control ids are printed as compilers take them, IDC_STATIC (all ones) as -1.
std::string ControlName(std::uint32_t id) {
    return "control " + (id == 0xFFFFFFFF ? std::string("-1") : std::to_string(id));
}

class DialogTemplate final : public TextTemplate {
public:
    static Result<std::unique_ptr<TextTemplate>> Read(pe::Bytes data);

    Result<std::vector<std::uint8_t>> Build(std::span<const std::u16string_view> texts,
                                            std::uint16_t language) const override;

private:
    Result<void> ReadFont(TemplateCursor& cursor, const DialogHeader& header);
    Result<void> ReadControl(TemplateCursor& cursor, bool extended, std::size_t index);

    std::vector<std::uint8_t> head_; // the header, menu and class
    std::vector<std::uint8_t> font_; // what follows the caption up to the controls
    std::vector<DialogControl> controls_;
    TemplateTail tail_;
    std::uint16_t fontPoints_ = 0;
};

Result<std::unique_ptr<TextTemplate>> DialogTemplate::Read(pe::Bytes data) {
    TemplateCursor cursor(data);
    KORVA_ASSIGN_OR_RETURN(const DialogHeader header, ReadHeader(cursor));
    KORVA_RETURN_IF_ERROR(SkipNameOrOrdinal(cursor, "menu name"));
    KORVA_RETURN_IF_ERROR(SkipNameOrOrdinal(cursor, "class name"));
    auto dialog = std::make_unique<DialogTemplate>();
    dialog->head_ = Copy(data, 0, cursor.Offset());
    const std::size_t captionAt = cursor.Offset();
    std::optional<std::u16string> caption = cursor.String();
    if (!caption) {
        return MakeError("the dialog's caption has no terminating zero" + At(captionAt));
    }
    ResourceText text;
    text.text = std::move(*caption);
    text.where = "caption";
    dialog->texts_.push_back(std::move(text));
    const std::size_t fontAt = cursor.Offset();
    KORVA_RETURN_IF_ERROR(dialog->ReadFont(cursor, header));
    dialog->font_ = Copy(data, fontAt, cursor.Offset());
    std::size_t end = cursor.Offset();
    const std::size_t minControl = header.extended ? kMinControlEx : kMinControl;
    if (header.count > cursor.Left() / minControl) {
        return MakeError("the dialog counts " + std::to_string(header.count) +
                         " controls, more than its data can hold");
    }
    for (std::size_t i = 0; i < header.count; ++i) {
        cursor.Align(4);
        KORVA_RETURN_IF_ERROR(dialog->ReadControl(cursor, header.extended, i));
        end = cursor.Offset();
    }
    dialog->tail_ = TemplateTail::After(data, end, 4, false);
    return std::unique_ptr<TextTemplate>(std::move(dialog));
}

Result<void> DialogTemplate::ReadFont(TemplateCursor& cursor, const DialogHeader& header) {
    if ((header.style & kDsSetFont) == 0) {
        return {};
    }
    const std::size_t at = cursor.Offset();
    const std::optional<std::uint16_t> points = cursor.U16();
    if (!points) {
        return MakeError("the dialog's font is cut off" + At(at));
    }
    if (*points == kMessageBoxFont) {
        return {};
    }
    fontPoints_ = *points;
    // DIALOGEX adds the weight, then the italic flag and the character set.
    if (header.extended && !cursor.Raw(4)) {
        return MakeError("the dialog's font is cut off" + At(at));
    }
    if (!cursor.String()) {
        return MakeError("the dialog's font name has no terminating zero" + At(at));
    }
    return {};
}

Result<void> DialogTemplate::ReadControl(TemplateCursor& cursor, bool extended, std::size_t index) {
    const std::size_t start = cursor.Offset();
    const std::string which = "dialog control " + std::to_string(index + 1) + At(start);
    const std::optional<ControlFields> fields = ReadControlFields(cursor, extended);
    if (!fields) {
        return MakeError(which + " is cut off");
    }
    const Result<std::uint16_t> classOrdinal = SkipNameOrOrdinal(cursor, "control class");
    if (!classOrdinal) {
        return MakeError(which + ": its class name has no terminating zero");
    }
    DialogControl control;
    control.head = Copy(cursor.Data(), start, cursor.Offset());
    const std::size_t titleAt = cursor.Offset();
    if (cursor.U16() == kOrdinalMark) {
        if (!cursor.U16()) {
            return MakeError(which + " is cut off");
        }
        control.title = Copy(cursor.Data(), titleAt, cursor.Offset());
    } else {
        cursor.Seek(titleAt);
        std::optional<std::u16string> text = cursor.String();
        if (!text) {
            return MakeError(which + ": its text has no terminating zero");
        }
        control.slot = static_cast<int>(texts_.size());
        texts_.push_back(ResourceText{std::move(*text), ControlName(fields->id), 0, fields->cx,
                                      fields->cy, *classOrdinal, fields->style, fontPoints_});
    }
    const std::size_t restAt = cursor.Offset();
    const std::optional<std::uint16_t> extra = cursor.U16();
    if (!extra) {
        return MakeError(which + " is cut off");
    }
    if (!cursor.Raw(*extra)) {
        return MakeError(which + ": its " + std::to_string(*extra) +
                         " bytes of creation data run past the end");
    }
    control.rest = Copy(cursor.Data(), restAt, cursor.Offset());
    controls_.push_back(std::move(control));
    return {};
}

Result<std::vector<std::uint8_t>> DialogTemplate::Build(std::span<const std::u16string_view> texts,
                                                        std::uint16_t /*language*/) const {
    KORVA_RETURN_IF_ERROR(CheckNewTexts(texts, texts_.size()));
    TemplateWriter out;
    out.Raw(head_);
    out.String(texts[0]);
    out.Raw(font_);
    for (const DialogControl& control : controls_) {
        out.Align(4);
        out.Raw(control.head);
        if (control.slot < 0) {
            out.Raw(control.title);
        } else {
            const std::u16string_view text = texts[static_cast<std::size_t>(control.slot)];
            // A text that begins so would be read as an ordinal.
            if (!text.empty() && text.front() == char16_t{kOrdinalMark}) {
                return MakeError("text " + std::to_string(control.slot + 1) +
                                 " begins with U+FFFF, which marks an ordinal");
            }
            out.String(text);
        }
        out.Raw(control.rest);
    }
    tail_.WriteTo(out);
    return std::move(out).Take();
}

} // namespace

Result<std::unique_ptr<TextTemplate>> ParseDialog(std::span<const std::uint8_t> data) {
    return DialogTemplate::Read(data);
}

} // namespace korva::res
