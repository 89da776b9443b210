#pragma once

#include <string>
#include <string_view>

#include "datafile/line_reader.h"
#include "langkeys/lang_selection.h"
#include "text/codepage.h"

namespace korva {

// Why a data file read to its end without a syntax error gave no entry to
// take, as one line that names the file as `fileName`: it holds no entries;
// the neutral language is in none of them; the destinations are only the
// neutral language; none of the other destinations is in it (named); or no
// entry has both. An entry is taken when it has a line of the neutral
// language and one of another language of `languages`, as the loader files
// them. `read` serves the file from its beginning, in `codePage`.
std::string WhyNoEntryWasTaken(const ReadBlock& read, std::string_view fileName,
                               const LangSelection& languages, CodePage codePage);

} // namespace korva
