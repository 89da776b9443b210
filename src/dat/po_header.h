#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "dat/data_document.h"
#include "dat/po_file.h"

namespace korva::dat {

// The languages a PO file carries translations between.
struct PoLanguages {
    int neutral = -1;
    int dest = -1;
};

// The languages from a PO file's header: its X-Korva-Language (else the
// Language field any tool writes) and X-Korva-Neutral (else the data
// file's languages line). Refused with the reason when the header is
// missing, its charset is not UTF-8, it names no language korva has, its
// Language field and X-Korva-Language name different languages, or the
// neutral language is not the data file's.
Result<PoLanguages> PoFileLanguages(const std::vector<PoMessage>& messages, const DataDocument& doc,
                                    const std::string& poPath);

// Whether a Language field's code (de, pt_BR, sr@latin, de_DE.UTF-8) can
// name `language`, a key or a tag. An empty code names nothing, so nothing
// else either.
bool PoCodeCanName(std::string_view code, int language);

// The destinations that decide which of the entries with one neutral text
// korva uses, for a PO file of `neutral` texts translated to `dest`: the
// languages line's, with which korva runs and check judges; `dest` alone
// without a languages line or with one for another neutral language.
std::vector<int> WinnerDests(const DataDocument& doc, int neutral, int dest);

} // namespace korva::dat
