#pragma once

// What the tests of the built korva-dat share: running it, programs made
// from texts in UTF-16, data files filled in as a translator would, and the
// string tables korva wrote, read back by llvm-readobj.

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "support/fixtures.h"
#include "support/process.h"

namespace korva::dat::test {

using korva::test::ProcessResult;

// korva-dat with its standard error after its standard output.
inline ProcessResult RunDat(const std::vector<std::string>& args, const std::string& dir = ".") {
    std::string command =
        "cd " + korva::test::ShellQuote(dir) + " && " + korva::test::ShellQuote(KORVA_DAT_BIN);
    for (const std::string& arg : args) {
        command += ' ';
        command += korva::test::ShellQuote(arg);
    }
    return korva::test::RunProgram("sh", {"-c", command + " 2>&1"});
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

// A wide string of a resource script that both resource compilers read
// alike: anything but plain ASCII as a four-digit \x escape.
inline std::string RcWide(std::u16string_view text) {
    std::string out = "L\"";
    for (const char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\') {
            out += static_cast<char>(unit);
        } else {
            out += "\\x" + e2e::Hex(unit, 4);
        }
    }
    return out + "\"";
}

// A script with one neutral STRINGTABLE of the texts by id.
inline std::string StringTableScript(const std::map<std::uint32_t, std::u16string>& texts,
                                     const std::string& more = "") {
    std::string rc = "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n";
    for (const auto& [id, text] : texts) {
        rc += "  " + std::to_string(id) + " " + RcWide(text) + "\n";
    }
    return rc + "END\n" + more;
}

// A data file as a translator fills it: every placeholder of a language in
// `prefixes` becomes that language's line, its text the prefix followed by
// the entry's neutral text exactly as the file spells it.
inline std::string Fill(const std::string& data, const std::string& neutral,
                        const std::map<std::string, std::string>& prefixes) {
    std::string out;
    std::string spelt; // the neutral line's text between its quotes
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t end = data.find('\n', pos);
        end = end == std::string::npos ? data.size() : end + 1;
        std::string line = data.substr(pos, end - pos);
        pos = end;
        const std::size_t cr = line.find_last_not_of("\r\n");
        const std::string body = line.substr(0, cr + 1);
        const std::string lineEnd = line.substr(cr + 1);
        if (body.starts_with(neutral + ",\"")) {
            spelt = body.substr(neutral.size() + 2, body.size() - neutral.size() - 3);
        }
        for (const auto& [lang, prefix] : prefixes) {
            if (body == ";" + lang + ",\"\"") {
                line = lang + ",\"" + prefix + spelt + "\"" + lineEnd;
            }
        }
        out += line;
    }
    return out;
}

// The texts of the string tables of a file, by language and string id.
using Texts = std::map<std::pair<std::uint32_t, std::uint32_t>, std::u16string>;
inline Texts StringTableTexts(const std::string& path) {
    Texts out;
    for (const auto& [key, data] : e2e::StringTablesOf(e2e::Leaves(path))) {
        const auto& [block, language] = key;
        std::size_t p = 0;
        for (std::uint32_t slot = 0; p + 2 <= data.size(); ++slot) {
            const auto length = static_cast<std::size_t>(data[p] | (data[p + 1] << 8));
            p += 2;
            std::u16string text;
            for (std::size_t i = 0; i < length && p + 2 <= data.size(); ++i, p += 2) {
                text += static_cast<char16_t>(data[p] | (data[p + 1] << 8));
            }
            if (!text.empty()) {
                out[{language, (block - 1) * 16 + slot}] = text;
            }
        }
    }
    return out;
}

// Korva's three counters and exit code, as a run printed them, and as
// korva-dat check says korva would.
struct Counters {
    long found = -1, sourceMissing = -1, translationMissing = -1;
    int exitCode = -1;
    bool operator==(const Counters&) const = default;
};

inline long NumberAfter(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::stol(text.substr(at + label.size()));
}

inline Counters KorvaCounters(const ProcessResult& run) {
    return {NumberAfter(run.output, "Translations found          : "),
            NumberAfter(run.output, "Source strings missing      : "),
            NumberAfter(run.output, "Translation strings missing : "), run.exitCode};
}

inline Counters CheckCounters(const ProcessResult& check) {
    return {NumberAfter(check.output, "korva would count: Translations found "),
            NumberAfter(check.output, ", Source strings missing "),
            NumberAfter(check.output, ", Translation strings missing "),
            static_cast<int>(NumberAfter(check.output, "; exit code "))};
}

} // namespace korva::dat::test
