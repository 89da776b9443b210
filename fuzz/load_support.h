#pragma once

// What the data file's fuzz targets share: the check that stops the run,
// and korva's loader fed from memory, with the line korva would write.

#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

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
    std::string console; // the syntax error line korva writes, if any
    TransDictionary dict;
};

// Loads `data` as `options` say: reads of at most `options.blockSize`
// bytes; pieces of at least `options.pieceSize` bytes, parsed on two
// threads once there are two.
inline KorvaLoad LoadWithKorva(std::string_view data, const DataLoadOptions& options) {
    Result<DataLoadOutcome> loaded = LoadDataFrom(ReadFromMemory(data), "F", options);
    Check(loaded.ok()); // no input this size reaches a limit
    KorvaLoad out;
    out.ok = loaded->Loaded();
    out.console = loaded->syntaxError ? loaded->syntaxError->message + "\r\n" : "";
    out.dict = std::move(loaded->dict);
    return out;
}

} // namespace korva::fuzz
