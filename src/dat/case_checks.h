#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "dat/data_document.h"
#include "dat/program_texts.h"

namespace korva::dat {

// One "file:line: warning: ..." line for each program text whose entry,
// the one korva takes for it, spells the neutral text otherwise in letter
// case alone. Such a text was most likely edited in the program ("Ready"
// became "READY"): korva still takes the old entry, writes its spelling
// where the neutral language is a destination, and so undoes the edit
// without a word. `count` grows by the number of lines.
std::string LetterCaseWarnings(const DataDocument& doc, const EntryGroups& groups, int neutral,
                               const ProgramTexts& texts, std::size_t& count);

} // namespace korva::dat
