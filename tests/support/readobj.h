#pragma once

// What llvm-readobj, a reader independent of ours, sees in a file's
// resource tree.

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/fixtures.h"

namespace korva::test {

// One leaf of the usual type -> name -> language tree. A key is "#<id>" for
// an id, else the name as UTF-8.
struct ReadobjLeaf {
    std::string type;
    std::string name;
    std::uint32_t language = 0;
    // The language table's header fields, which readobj prints with the leaf.
    std::uint32_t timeDateStamp = 0;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t characteristics = 0;
    std::uint32_t dataRva = 0;
    std::uint32_t dataSize = 0;
    std::uint32_t codePage = 0;
    std::uint32_t reserved = 0;
    std::vector<std::uint8_t> data;
};

namespace readobj_detail {

inline std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b);
}

// "(ID 6)", "STRINGTABLE (ID 6)" or "MYDATA" -> "#6" or "MYDATA".
inline std::string Key(std::string label) {
    if (label.size() >= 2 && label.substr(label.size() - 2) == " [") {
        label.resize(label.size() - 2);
    }
    const auto id = label.rfind("(ID ");
    if (id != std::string::npos && label.back() == ')') {
        std::string key = "#"; // appended: GCC 12 warns falsely on "#" + std::string
        key += label.substr(id + 4, label.size() - id - 5);
        return key;
    }
    return label;
}

inline std::uint32_t Number(const std::string& text) {
    return static_cast<std::uint32_t>(std::stoul(text, nullptr, 0));
}

// "0010: 53006100 76006500 ...  |S.a.v.e...|": the bytes in file order.
inline void HexLine(const std::string& line, std::vector<std::uint8_t>& out) {
    const auto colon = line.find(": ");
    const std::string hex = line.substr(colon + 2, 35); // four groups of four bytes
    std::string digits;
    for (const char c : hex) {
        if (c != ' ') {
            digits += c;
        }
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
}

} // namespace readobj_detail

inline std::vector<ReadobjLeaf> ReadobjResources(const std::string& path) {
    using namespace readobj_detail;
    std::istringstream lines(RunOrThrow("llvm-readobj --coff-resources " + ShellQuote(path)));
    std::vector<ReadobjLeaf> leaves;
    std::string type;
    std::string name;
    bool inData = false;
    std::string raw;
    while (std::getline(lines, raw)) {
        const std::string line = Trim(raw);
        auto value = [&](const char* field) { return line.substr(std::string(field).size()); };
        if (inData) {
            if (line == ")") {
                inData = false;
            } else {
                HexLine(line, leaves.back().data);
            }
        } else if (line.starts_with("Type: ")) {
            type = Key(value("Type: "));
        } else if (line.starts_with("Name: ")) {
            name = Key(value("Name: "));
        } else if (line.starts_with("Language: ")) {
            ReadobjLeaf leaf;
            leaf.type = type;
            leaf.name = name;
            leaf.language = Number(Key(value("Language: ")).substr(1));
            leaves.push_back(leaf);
        } else if (leaves.empty()) {
            continue;
        } else if (line.starts_with("Time/Date Stamp: ")) {
            const auto open = line.rfind("(0x");
            leaves.back().timeDateStamp = Number(line.substr(open + 1, line.size() - open - 2));
        } else if (line.starts_with("Major Version: ")) {
            leaves.back().majorVersion = Number(value("Major Version: "));
        } else if (line.starts_with("Minor Version: ")) {
            leaves.back().minorVersion = Number(value("Minor Version: "));
        } else if (line.starts_with("Characteristics: ")) {
            leaves.back().characteristics = Number(value("Characteristics: "));
        } else if (line.starts_with("DataRVA: ")) {
            leaves.back().dataRva = Number(value("DataRVA: "));
        } else if (line.starts_with("DataSize: ")) {
            leaves.back().dataSize = Number(value("DataSize: "));
        } else if (line.starts_with("Codepage: ")) {
            leaves.back().codePage = Number(value("Codepage: "));
        } else if (line.starts_with("Reserved: ")) {
            leaves.back().reserved = Number(value("Reserved: "));
        } else if (line == "Data (") {
            inData = true;
        }
    }
    return leaves;
}

} // namespace korva::test
