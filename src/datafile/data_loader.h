#pragma once

#include <string_view>

#include "datafile/line_reader.h"
#include "datafile/text_filter.h"
#include "datafile/trans_dict.h"

namespace korva {

// Reads a whole data file through `read` into `dict`, in the run's code
// page: under UTF-8 a leading byte-order mark is passed over, a lone LF ends
// a line too, and a line that is not valid UTF-8 is a syntax error. Keeps
// the texts of
// the languages IsWantedLang selects and filing entries under their
// NeutralLangIndex text. On a syntax error it writes the syntax error line
// naming `fileName` and stops. True when nothing went wrong and at least one
// entry was filed; `dict` holds what was filed in any case. `blockSize` is the
// most that one read asks for. With `wanted`, `dict` leaves out entries no
// lookup of its texts can find (see TransDictBuilder::KeepOnly).
//
// The file is cut into pieces of at least `pieceSize` bytes where an entry
// starts, and a second thread parses some of them while this one reads on;
// the dictionary, the outcome and the line written are those of a parse
// from start to end.
inline constexpr std::size_t kDefaultPieceSize = std::size_t{256} * 1024;
bool LoadDataFrom(const ReadBlock& read, std::string_view fileName, TransDictionary& dict,
                  std::size_t blockSize = LineReader::kDefaultBlockSize,
                  const FoldedTextFilter* wanted = nullptr,
                  std::size_t pieceSize = kDefaultPieceSize);

} // namespace korva
