#pragma once

#include <vector>

#include "dat/check_findings.h"
#include "dat/languages.h"
#include "dat/program_texts.h"
#include "datafile/trans_dict.h"
#include "text/codepage.h"

namespace korva::dat {

// Runs korva's last two stages on each program whose run would get that
// far: its records translated with `dict` as korva translates them, then
// written as korva writes them up to the replacement of the file (the new
// file built in memory and checked, the program left alone). A program
// korva would fail to write gets its writeFailure and an error line.
// `programs` and `out.programs` go in step; `dict` is the one korva would
// load, in `codePage`.
void FindWriteFailures(const std::vector<ProgramTables>& programs, const TransDictionary& dict,
                       const LanguageChoice& choice, CodePage codePage, CheckFindings& out);

} // namespace korva::dat
