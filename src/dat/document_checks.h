#pragma once

#include <string>

#include "dat/data_document.h"

namespace korva::dat {

// Every syntax error of the document, one "file:line: error: ..." line
// each, in line order.
std::string SyntaxErrorLines(const DataDocument& doc);

} // namespace korva::dat
