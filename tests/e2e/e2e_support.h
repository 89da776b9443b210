#pragma once

// What the end-to-end tests share: texts in the tool's code page and their
// UTF-16 form, data files and resource scripts made from them, the expected
// bytes of a string-table resource, and a korva installed beside its data
// file.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "support/fixtures.h"
#include "support/process.h"
#include "support/readobj.h"
#include "support/workspace.h"

namespace korva::e2e {

using Bytes = std::vector<std::uint8_t>;

// The tool's console output and data file use Windows-1252. The tests only
// need the code points below, which they spell out; anything else is a
// mistake in a test.
inline std::u16string Utf16(const std::string& cp1252) {
    std::u16string out;
    for (const char c : cp1252) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0x80) {
            out += u'\u20AC';
        } else if (byte == 0x8A) {
            out += u'\u0160';
        } else if (byte < 0x80 || byte >= 0xA0) {
            out += static_cast<char16_t>(byte);
        } else {
            throw std::invalid_argument("no test text uses byte " + std::to_string(byte));
        }
    }
    return out;
}

// UTF-16 as UTF-8, as the tools write it: a pair as the four bytes of its
// code point, a lone surrogate (which a data file's texts and a script's
// narrow strings never hold) in the three bytes of its code unit.
inline std::string Utf8(std::u16string_view text) {
    const auto high = [](char32_t u) { return u >= 0xD800 && u <= 0xDBFF; };
    const auto low = [](char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (high(c) && i + 1 < text.size() && low(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        const auto put = [&out](char32_t bits) { out += static_cast<char>(bits); };
        if (c < 0x80) {
            put(c);
        } else if (c < 0x800) {
            put(0xC0 | (c >> 6));
            put(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            put(0xE0 | (c >> 12));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        } else {
            put(0xF0 | (c >> 18));
            put(0x80 | ((c >> 12) & 0x3F));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        }
    }
    return out;
}

inline std::vector<std::u16string> Utf16(const std::vector<std::string>& cp1252) {
    std::vector<std::u16string> out;
    for (const std::string& text : cp1252) {
        out.push_back(Utf16(text));
    }
    return out;
}

// A string-table resource as the tool writes it: per text a length word and
// its UTF-16 code units, empty slots up to the block's sixteen, then the
// closing zero word.
inline Bytes StringTableData(const std::vector<std::u16string>& texts) {
    Bytes out;
    auto word = [&out](std::uint32_t w) {
        out.push_back(static_cast<std::uint8_t>(w & 0xFF));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    };
    for (const std::u16string& units : texts) {
        word(static_cast<std::uint32_t>(units.size()));
        for (const char16_t unit : units) {
            word(unit);
        }
    }
    for (std::size_t slot = texts.size(); slot < 16; ++slot) {
        word(0);
    }
    word(0);
    return out;
}

inline Bytes StringTableData(const std::vector<std::string>& texts) {
    return StringTableData(Utf16(texts));
}

inline std::string Hex(std::uint32_t value, int digits) {
    std::string out(static_cast<std::size_t>(digits), '0');
    for (auto it = out.rbegin(); it != out.rend(); ++it, value >>= 4) {
        *it = "0123456789abcdef"[value & 15];
    }
    return out;
}

// What show_strings prints for a block whose texts are `texts` and whose
// resource is `size` bytes long.
inline std::string Shown(std::uint32_t block, std::uint32_t language, std::size_t size,
                         const std::vector<std::u16string>& texts) {
    std::string out = "block " + std::to_string(block) + " lang " + Hex(language, 4) + " size " +
                      std::to_string(size) + "\n";
    for (std::size_t slot = 0; slot < texts.size(); ++slot) {
        if (texts[slot].empty()) {
            continue;
        }
        out += std::to_string((std::size_t{block} - 1) * 16 + slot) + "=";
        for (const char16_t unit : texts[slot]) {
            if (unit >= 0x20 && unit < 0x7F && unit != '\\') {
                out += static_cast<char>(unit);
            } else {
                out += "\\u" + Hex(unit, 4);
            }
        }
        out += "\n";
    }
    return out;
}

// A wide string literal for llvm-rc and windres alike.
inline std::string RcString(const std::string& cp1252) {
    static const char* const digits = "0123456789ABCDEF";
    std::string out = "L\"";
    for (const char16_t unit : Utf16(cp1252)) {
        if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\') {
            out += static_cast<char>(unit);
        } else {
            out += "\\x";
            for (int shift = 12; shift >= 0; shift -= 4) {
                out += digits[(unit >> shift) & 0xF];
            }
        }
    }
    return out + "\"";
}

// A quoted text of the data file.
inline std::string DataFileText(const std::string& cp1252) {
    std::string out = "\"";
    for (const char c : cp1252) {
        if (c == '\t') {
            out += "\\t";
        } else if (c == '\\' || c == '"') {
            throw std::invalid_argument("the test texts need no such escape");
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Lines joined with CR LF, as the data file is written on Windows.
inline std::string CrLfLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

inline const std::string kBanner = "KORVA 1.0 - string table translator\r\n\r\n";

// The console output as one text per line, the CR LF ends added.
inline std::string Output(const std::vector<std::string>& lines) {
    return kBanner + CrLfLines(lines);
}

// A copy of the built korva in a workspace, with its data file beside it,
// where it looks for it.
class Installed {
public:
    explicit Installed(const test::Workspace& ws) : ws_(ws) {
        korva_ = ws.Copy(test::KorvaBinary(), "korva");
    }

    void WriteDataFile(const std::string& content) const {
        std::ofstream out(ws_.path() / "KORVA.DAT", std::ios::binary);
        out << content;
        if (!out.flush()) {
            throw std::runtime_error("cannot write the data file");
        }
    }

    test::ProcessResult Run(const std::vector<std::string>& args,
                            const std::string& shellPrefix = "") const {
        return test::RunProgram(korva_, args, shellPrefix);
    }

private:
    const test::Workspace& ws_;
    std::string korva_;
};

// A file's resources as llvm-readobj lists them, by type, name and language.
using LeafKey = std::tuple<std::string, std::string, std::uint32_t>;

inline std::map<LeafKey, test::ReadobjLeaf> Leaves(const std::string& path) {
    std::map<LeafKey, test::ReadobjLeaf> out;
    for (test::ReadobjLeaf& leaf : test::ReadobjResources(path)) {
        LeafKey key{leaf.type, leaf.name, leaf.language};
        if (!out.emplace(key, std::move(leaf)).second) {
            throw std::runtime_error("llvm-readobj lists a leaf twice in " + path);
        }
    }
    return out;
}

// The string-table blocks of a file: (block id, language) -> data.
using StringTables = std::map<std::pair<std::uint32_t, std::uint32_t>, Bytes>;

inline StringTables StringTablesOf(const std::map<LeafKey, test::ReadobjLeaf>& leaves) {
    StringTables out;
    for (const auto& [key, leaf] : leaves) {
        const auto& [type, name, language] = key;
        if (type == "#6") {
            out[{static_cast<std::uint32_t>(std::stoul(name.substr(1))), language}] = leaf.data;
        }
    }
    return out;
}

// Every leaf but the string tables, with all that readobj shows of it.
inline std::map<LeafKey, test::ReadobjLeaf>
OtherResources(const std::map<LeafKey, test::ReadobjLeaf>& leaves) {
    std::map<LeafKey, test::ReadobjLeaf> out;
    for (const auto& [key, leaf] : leaves) {
        if (std::get<0>(key) != "#6") {
            out.emplace(key, leaf);
        }
    }
    return out;
}

// Leaves equal in everything but where their data lies.
inline bool SameResource(const test::ReadobjLeaf& a, const test::ReadobjLeaf& b) {
    return a.data == b.data && a.dataSize == b.dataSize && a.codePage == b.codePage &&
           a.reserved == b.reserved && a.timeDateStamp == b.timeDateStamp &&
           a.majorVersion == b.majorVersion && a.minorVersion == b.minorVersion &&
           a.characteristics == b.characteristics;
}

} // namespace korva::e2e
