#include "dat/po_file.h"

namespace korva::dat {
namespace {

// U+2068 and U+2069, which isolate a file name with blanks in a reference,
// are what they are meant to be here.
constexpr std::string_view kIsolateOpen = "\xE2\x81\xA8";  // NOLINT(misc-misleading-bidirectional)
constexpr std::string_view kIsolateClose = "\xE2\x81\xA9"; // NOLINT(misc-misleading-bidirectional)

void AppendEscaped(std::string_view text, std::string& out) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\v':
            out += "\\v";
            break;
        default:
            out += c;
        }
    }
}

} // namespace

std::string PoField(std::string_view keyword, std::string_view text) {
    std::string out(keyword);
    const std::size_t inner = text.find('\n');
    if (inner == std::string_view::npos || inner + 1 == text.size()) {
        out += " \"";
        AppendEscaped(text, out);
        return out + "\"\n";
    }
    out += " \"\"\n";
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        const std::size_t take = lf == std::string_view::npos ? text.size() : lf + 1;
        out += '"';
        AppendEscaped(text.substr(0, take), out);
        out += "\"\n";
        text.remove_prefix(take);
    }
    return out;
}

std::string OneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte != 0x7F) || c == '\t') {
            out += c;
        } else if (c == '\n' || c == '\r') {
            AppendEscaped(std::string_view(&c, 1), out);
        } else {
            constexpr std::string_view kHex = "0123456789abcdef";
            out += "\\x";
            out += kHex[byte >> 4U];
            out += kHex[byte & 0xFU];
        }
    }
    return out;
}

std::string PoReferenceFile(std::string_view file) {
    std::string name = OneLine(file);
    if (name.find_first_of(" \t") == std::string::npos) {
        return name;
    }
    return std::string(kIsolateOpen) + name + std::string(kIsolateClose);
}

} // namespace korva::dat
