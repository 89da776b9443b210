#include "datafile/data_line.h"

#include "datafile/escapes.h"

namespace korva {

TextLineFault ReadTextPart(std::string_view textPart, bool utf8, std::string& scratch,
                           std::string_view& text) {
    const std::string_view part = TrimLine(textPart);
    if (part.size() < 2 || part.front() != '"' || part.back() != '"') {
        return TextLineFault::NotQuoted;
    }
    const std::string_view inner = part.substr(1, part.size() - 2);
    if (inner.empty()) {
        text = EmptyTextMarker;
    } else if (inner.find('\\') == std::string_view::npos) {
        text = inner;
    } else {
        if (!ResolveEscapes(inner, scratch, utf8)) {
            return TextLineFault::BadEscape;
        }
        text = scratch;
    }
    return TextLineFault::None;
}

} // namespace korva
