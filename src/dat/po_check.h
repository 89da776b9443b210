#pragma once

#include <map>
#include <string>
#include <string_view>

#include "common/result.h"
#include "dat/data_document.h"
#include "dat/languages.h"

namespace korva::dat {

// Whether check is given a PO file rather than a data file: its name ends
// in .po or .pot, in any case.
bool IsPoFileName(std::string_view path);

// A translator's PO file as the data file its import would make: one entry
// per message, with its translation unless it has none or is fuzzy (what
// import-po leaves out),
// its lines naming the PO file's, so that check finds in it what it finds
// in a data file, where the PO file has it. The languages come from the
// header (X-Korva-Neutral and X-Korva-Language, or Language).
struct PoAsData {
    DataDocument doc;
    std::map<std::size_t, std::string> msgidAt; // PO line -> its msgid, in UTF-8
};
Result<PoAsData> ReadPoAsData(const std::string& path);

// Each line of `lines` that begins with a PO line of a message ("de.po:14:
// ...") with the message's msgid after it, so that a translator finds it.
std::string WithMsgids(const std::string& lines, const PoAsData& po);

} // namespace korva::dat
