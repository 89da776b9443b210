#pragma once

// What the data file's fuzz targets share: the check that stops the run,
// and korva's loader fed from memory with its console line caught.

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>

#include "common/console.h"
#include "datafile/data_loader.h"
#include "datafile/text_filter.h"

namespace korva::fuzz {

inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct KorvaLoad {
    bool ok = false;
    std::string console; // the syntax error line, if any
    TransDictionary dict;
};

// Loads `data` with the run's languages and code page: reads of at most
// `chunk` bytes; pieces of at least `piece` bytes, parsed on two threads
// once there are two.
inline void LoadWithKorva(std::string_view data, std::size_t chunk, std::size_t piece,
                          KorvaLoad& out, const FoldedTextFilter* wanted = nullptr) {
    std::ostringstream console;
    SetConsole(console);
    std::size_t pos = 0;
    const ReadBlock read = [&](char* buffer, std::size_t size) -> long long {
        const std::size_t n = std::min(size, data.size() - pos);
        std::memcpy(buffer, data.data() + pos, n);
        pos += n;
        return static_cast<long long>(n);
    };
    out.ok = LoadDataFrom(read, "F", out.dict, chunk, wanted, piece);
    out.console = console.str();
}

} // namespace korva::fuzz
