#include "dat/document_checks.h"

namespace korva::dat {

std::size_t ReportSyntaxErrors(const DataDocument& doc, std::ostream& out) {
    for (const DataError& error : doc.errors) {
        out << doc.name << ":" << error.line << ": error: " << error.message << "\n";
    }
    return doc.errors.size();
}

} // namespace korva::dat
