#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/line_reader.h"
#include "langkeys/lang_const.h"

namespace korva::test {

// Sets the language selection as the command line would.
inline void SelectLanguages(std::string_view neutral, const std::vector<std::string_view>& dests) {
    ResetLangSelection();
    NeutralLangIndex = FindLangKey(neutral);
    std::vector<int> indices;
    for (const std::string_view name : dests) {
        indices.push_back(FindLangKey(name));
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    DestLangs.fill(-1);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        DestLangs[i] = indices[i];
    }
    DestLangCount = static_cast<int>(indices.size());
}

// Serves `data` in reads of at most `chunk` bytes; once `failAt` bytes have
// been served, the next read fails.
inline ReadBlock ReadFrom(std::string data, std::size_t chunk = 1 << 20,
                          std::size_t failAt = std::string::npos) {
    return [data = std::move(data), chunk, failAt,
            pos = std::size_t{0}](char* buffer, std::size_t size) mutable -> long long {
        if (pos >= failAt) {
            return -1;
        }
        std::size_t n = std::min({size, chunk, data.size() - pos});
        if (failAt != std::string::npos) {
            n = std::min(n, failAt - pos);
        }
        std::memcpy(buffer, data.data() + pos, n);
        pos += n;
        return static_cast<long long>(n);
    };
}

// Lines joined with CR LF, the last one ended too.
inline std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

} // namespace korva::test
