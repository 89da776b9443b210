#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "datafile/line_reader.h"
#include "datafile/text_filter.h"
#include "datafile/trans_dict.h"
#include "langkeys/lang_selection.h"
#include "text/codepage.h"

namespace korva {

inline constexpr std::size_t kDefaultPieceSize = std::size_t{256} * 1024;

// What loading a data file depends on.
struct DataLoadOptions {
    CodePage codePage = CodePage::Windows1252;
    // Entries are filed under the neutral language's text; the texts of the
    // languages not taken are passed over.
    LangSelection languages;
    // With it, the dictionary leaves out entries no lookup of its texts can
    // find (see TransDictBuilder::KeepOnly); it must outlive the load.
    const FoldedTextFilter* wanted = nullptr;
    std::size_t blockSize = LineReader::kDefaultBlockSize; // the most one read asks for
    std::size_t pieceSize = kDefaultPieceSize;
};

// The line on which a syntax error stopped the reading.
struct DataSyntaxError {
    std::uint64_t line = 0; // counting from 1
    std::string message;    // "Syntax error in KORVA.DAT/Line=14", korva's line for it
};

// What a load found. The dictionary holds what was filed before the reading
// stopped, whatever stopped it.
struct DataLoadOutcome {
    TransDictionary dict;
    bool filedAny = false;   // at least one entry was filed
    bool readFailed = false; // a read failed before the end of the file
    std::optional<DataSyntaxError> syntaxError;

    // korva takes the dictionary: nothing went wrong, and it is not empty.
    bool Loaded() const { return filedAny && !readFailed && !syntaxError; }
};

// Reads a whole data file through `read`, in `options.codePage`: under
// UTF-8 a leading byte-order mark is passed over, a lone LF ends a line
// too, and a line that is not valid UTF-8 is a syntax error. A syntax error
// stops the reading; its message names `fileName`. Fails only where the
// file holds more than the program can (ErrorKind::LimitExceeded).
//
// The file is cut into pieces of at least `options.pieceSize` bytes where an
// entry starts, and a second thread parses some of them while this one
// reads on; the outcome is that of a parse from start to end.
Result<DataLoadOutcome> LoadDataFrom(const ReadBlock& read, std::string_view fileName,
                                     const DataLoadOptions& options);

} // namespace korva
