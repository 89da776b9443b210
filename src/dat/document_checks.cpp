#include "dat/document_checks.h"

namespace korva::dat {

std::string SyntaxErrorLines(const DataDocument& doc) {
    std::string out;
    for (const DataError& error : doc.errors) {
        out += doc.name + ":" + std::to_string(error.line) + ": error: " + error.message + "\n";
    }
    return out;
}

} // namespace korva::dat
