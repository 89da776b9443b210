// Feeds arbitrary bytes to the PO reader. It must not crash; a refusal
// names the file and a line within it; what it reads, written back with
// PoField, reads back as the same messages.
//
// An input whose first byte is 0x01 is a data file instead: what export-po
// makes of it, import-po must take back into exactly the same bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "dat/po_file.h"
#include "dat/run_korva_dat.h"
#include "text/utf8.h"

namespace {

using korva::Result;
using korva::dat::PoField;
using korva::dat::PoMessage;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Lines as the reader counts them: after a byte-order mark, ended by LF.
std::size_t CountLines(std::string_view data) {
    if (data.starts_with(korva::kUtf8Mark)) {
        data.remove_prefix(korva::kUtf8Mark.size());
    }
    std::size_t lines = 0;
    for (const char c : data) {
        lines += c == '\n' ? 1 : 0;
    }
    return data.empty() || data.back() == '\n' ? lines : lines + 1;
}

// "f.po:<line>: <why>", the line one of the file's.
void CheckRefusal(const std::string& message, std::string_view data) {
    const std::string prefix = "f.po:";
    Check(message.starts_with(prefix));
    const std::size_t colon = message.find(": ", prefix.size());
    Check(colon != std::string::npos && colon > prefix.size() && colon + 2 < message.size());
    const std::string number = message.substr(prefix.size(), colon - prefix.size());
    Check(number.find_first_not_of("0123456789") == std::string::npos && number[0] != '0');
    const std::size_t line = std::stoull(number);
    Check(line >= 1 && line <= CountLines(data));
}

std::string Joined(const std::vector<std::string>& items, std::string_view between) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : std::string(between)) + item;
    }
    return out;
}

// The messages as a PO file again. Comment lines end in CR LF, so that a
// comment that ends in a CR of its own keeps it.
std::string Written(const std::vector<PoMessage>& messages) {
    std::string out;
    for (const PoMessage& m : messages) {
        for (const std::string& comment : m.extractedComments) {
            out += "#. " + comment + "\r\n";
        }
        if (!m.references.empty()) {
            out += "#: " + Joined(m.references, " ") + "\r\n";
        }
        if (!m.flags.empty()) {
            out += "#, " + Joined(m.flags, ", ") + "\r\n";
        }
        if (m.context) {
            out += PoField("msgctxt", *m.context);
        }
        out += PoField("msgid", m.msgid);
        if (m.msgidPlural) {
            out += PoField("msgid_plural", *m.msgidPlural);
            for (std::size_t i = 0; i < m.msgstr.size(); ++i) {
                out += PoField("msgstr[" + std::to_string(i) + "]", m.msgstr[i]);
            }
        } else {
            Check(m.msgstr.size() == 1);
            out += PoField("msgstr", m.msgstr.front());
        }
        out += "\n";
    }
    return out;
}

bool SameMessage(const PoMessage& a, const PoMessage& b) {
    return a.extractedComments == b.extractedComments && a.references == b.references &&
           a.flags == b.flags && a.context == b.context && a.msgid == b.msgid &&
           a.msgidPlural == b.msgidPlural && a.msgstr == b.msgstr;
}

void CheckPoReader(std::string_view data) {
    const Result<std::vector<PoMessage>> read = korva::dat::ParsePo(data, "f.po");
    if (!read) {
        CheckRefusal(read.error().message, data);
        return;
    }
    std::size_t line = 0;
    for (const PoMessage& m : *read) {
        Check(m.line > line && m.line <= CountLines(data));
        line = m.line;
        Check(!m.msgstr.empty());
        std::vector<std::string> texts = m.msgstr;
        texts.push_back(m.msgid);
        texts.push_back(m.context.value_or(""));
        texts.push_back(m.msgidPlural.value_or(""));
        for (const std::string& s : texts) {
            Check(korva::IsValidUtf8(s) && s.find('\0') == std::string::npos);
        }
    }
    const std::string again = Written(*read);
    const Result<std::vector<PoMessage>> reread = korva::dat::ParsePo(again, "f.po");
    Check(reread.ok());
    Check(reread->size() == read->size());
    for (std::size_t i = 0; i < read->size(); ++i) {
        Check(SameMessage((*read)[i], (*reread)[i]));
    }
}

// A directory of this process for the two files, removed at its end.
const std::filesystem::path& WorkDir() {
    struct Dir {
        std::filesystem::path path;
        Dir() {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "korva-po-fuzz-XXXXXX").string();
            Check(::mkdtemp(pattern.data()) != nullptr);
            path = pattern;
        }
        Dir(const Dir&) = delete;
        Dir& operator=(const Dir&) = delete;
        ~Dir() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Dir dir;
    return dir.path;
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Check(static_cast<bool>(out.flush()));
}

// Data file -> PO -> data file, through the program as a user runs it.
void CheckDataRoundTrip(std::uint8_t choice, std::string_view data) {
    const char* const pairs[][2] = {
        {"ENGLISH", "GERMAN"}, {"ENGLISH", "FRENCH"}, {"GERMAN", "ENGLISH"}, {"FRENCH", "GERMAN"}};
    const char* const* pair = pairs[choice % 4];
    const std::string dataPath = (WorkDir() / "k.dat").string();
    const std::string poPath = (WorkDir() / "k.po").string();
    WriteFile(dataPath, data);
    std::ostringstream po;
    std::ostringstream ignored;
    if (korva::dat::RunKorvaDat({"export-po", dataPath, pair[0], pair[1], "-o", "-"}, po,
                                ignored) != 0) {
        return; // a data file with syntax errors
    }
    WriteFile(poPath, po.str());
    std::ostringstream back;
    std::ostringstream err;
    const int code = korva::dat::RunKorvaDat({"import-po", dataPath, poPath, "-o", "-"}, back, err);
    // A languages line naming another neutral language is refused by design.
    if (code == 2 && err.str().find(" is for the neutral language ") != std::string::npos) {
        return;
    }
    Check(code == 0);
    Check(back.str() == data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    if (size >= 2 && bytes[0] == 0x01) {
        CheckDataRoundTrip(bytes[1], data.substr(2));
        return 0;
    }
    CheckPoReader(data);
    return 0;
}
