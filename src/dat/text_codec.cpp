#include "dat/text_codec.h"

#include <array>

#include "text/text.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

// The escape letter of a control character that has one, else 0.
char EscapeLetter(char c) {
    switch (c) {
    case '\a':
        return 'a';
    case '\b':
        return 'b';
    case '\t':
        return 't';
    case '\n':
        return 'n';
    case '\v':
        return 'v';
    case '\f':
        return 'f';
    case '\r':
        return 'r';
    default:
        return 0;
    }
}

// The byte of each character that 1252 holds, by code point up to U+20FF;
// 0 where it holds none (NUL itself is handled apart).
const std::array<unsigned char, 0x2200>& Cp1252Bytes() {
    static const std::array<unsigned char, 0x2200> table = [] {
        std::array<unsigned char, 0x2200> t{};
        for (unsigned byte = 1; byte < 256; ++byte) {
            t[AnsiToUtf16Unit(static_cast<unsigned char>(byte))] = static_cast<unsigned char>(byte);
        }
        return t;
    }();
    return table;
}

} // namespace

std::string QuoteDataText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            // Doubled, so that a text ending in a backslash does not swallow
            // the closing quote's meaning, and "\n" in a text stays two
            // characters.
            out += "\\\\";
        } else if (const char letter = EscapeLetter(c); letter != 0) {
            out += '\\';
            out += letter;
        } else if (byte < 0x20 || byte == 0x7F) {
            // CR, LF and Ctrl-Z would end the line or the file; the other
            // controls are written so for the reader's sake. In a UTF-8 file
            // \xHH is U+00HH, the same single byte below 0x80.
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c; // a quote needs no escape: only the last one closes
        }
    }
    out += '"';
    return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        AppendUtf8(AnsiToUtf16Unit(static_cast<unsigned char>(c)), out);
    }
    return out;
}

bool Utf8ToCp1252(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    const auto& bytes = Cp1252Bytes();
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t at = pos;
        const char32_t c = DecodeUtf8(text, pos);
        if (c == 0) {
            out += '\0';
            continue;
        }
        const bool replaced = c == kReplacementChar && text.substr(at, pos - at) != "\xEF\xBF\xBD";
        if (replaced || c >= bytes.size() || bytes[c] == 0) {
            return false;
        }
        out += static_cast<char>(bytes[c]);
    }
    return true;
}

std::string ToUtf8(std::string_view text, CodePage codePage) {
    return codePage == CodePage::Utf8 ? std::string(text) : Cp1252ToUtf8(text);
}

std::string Shown(std::string_view text, CodePage codePage) {
    if (text == EmptyTextMarker) {
        return "\"\"";
    }
    return QuoteDataText(ToUtf8(text, codePage));
}

} // namespace korva::dat
