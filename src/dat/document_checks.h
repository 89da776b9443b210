#pragma once

#include <ostream>
#include <string_view>

#include "dat/data_document.h"

namespace korva::dat {

// Writes every syntax error of the document, one "file:line: error: ..."
// line each; returns how many.
std::size_t ReportSyntaxErrors(const DataDocument& doc, std::ostream& out);

} // namespace korva::dat
