#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "datafile/escapes.h"
#include "text/text.h"

namespace korva {

// The grammar of one data file line, shared by korva's loader and
// korva-dat's document reader. Each reader keeps its own state (whether an
// entry is open, which languages it has) and decides what a fault means to
// it; what a line is and how its parts are cut is decided here only.

enum class DataLineKind : std::uint8_t {
    Blank,      // nothing but the characters 0 to 32
    Comment,    // ";" first
    EntryStart, // exactly "("
    EntryEnd,   // exactly ")"
    TextLine,   // anything else: KEY,"text"
};

struct DataLine {
    DataLineKind kind = DataLineKind::Blank;
    std::string_view trimmed; // the line without the characters 0 to 32 at its ends
};

// Trims a line and tells its kind.
inline DataLine ClassifyDataLine(std::string_view raw) {
    const std::string_view line = TrimLine(raw);
    if (line.empty()) {
        return {DataLineKind::Blank, line};
    }
    if (line.front() == ';') {
        return {DataLineKind::Comment, line};
    }
    if (line.size() == 1 && (line.front() == '(' || line.front() == ')')) {
        return {line.front() == '(' ? DataLineKind::EntryStart : DataLineKind::EntryEnd, line};
    }
    return {DataLineKind::TextLine, line};
}

// Why a text line is refused. Both readers check in this order: the comma,
// the key, then (their own rule) a language given twice in one entry, then
// the text part, which a reader that does not take the language in passes
// over unread, so that it may have any form.
enum class TextLineFault : std::uint8_t {
    None,
    NoComma,           // the line has no comma
    NothingAfterComma, // the first comma is the line's last character
    UnknownKey,        // the part before the comma names no language key
    NotQuoted,         // the text part is not between double quotes
    BadEscape,         // a \x escape whose two characters are not hexadecimal digits
};

// A text line cut at its first comma; any later comma belongs to the text.
struct TextLineParts {
    TextLineFault fault = TextLineFault::None; // NoComma or NothingAfterComma
    std::string_view key;                      // before the comma, trimmed
    std::string_view textPart;                 // after the comma, as it stands
};

// Cuts a trimmed text line.
inline TextLineParts SplitTextLine(std::string_view line) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) {
        return {TextLineFault::NoComma, {}, {}};
    }
    if (comma + 1 == line.size()) {
        return {TextLineFault::NothingAfterComma, {}, {}};
    }
    // Within the line, as found above: no bounds to check again.
    return {TextLineFault::None,
            TrimLine({line.data(), comma}),
            {line.data() + comma + 1, line.size() - comma - 1}};
}

// The text a text part gives: trimmed, between double quotes, its escapes
// resolved (under `utf8` a \x escape gives the character U+00HH in UTF-8).
// Sets `text` to EmptyTextMarker for "", to a view of the part when it holds
// no escape, or else to a view of `scratch`. NotQuoted or BadEscape, or None.
inline TextLineFault ReadTextPart(std::string_view textPart, bool utf8, std::string& scratch,
                                  std::string_view& text) {
    const std::string_view part = TrimLine(textPart);
    if (part.size() < 2 || part.front() != '"' || part.back() != '"') {
        return TextLineFault::NotQuoted;
    }
    const std::string_view inner = part.substr(1, part.size() - 2);
    if (inner.empty()) {
        text = EmptyTextMarker;
        return TextLineFault::None;
    }
    if (inner.find('\\') == std::string_view::npos) {
        text = inner;
        return TextLineFault::None;
    }
    if (!ResolveEscapes(inner, scratch, utf8)) {
        return TextLineFault::BadEscape;
    }
    text = scratch;
    return TextLineFault::None;
}

} // namespace korva
