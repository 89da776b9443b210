#pragma once

#include <string>
#include <string_view>

#include "dat/data_document.h"
#include "dat/languages.h"
#include "dat/program_texts.h"

namespace korva::dat {

// Appends one line and its end.
void AppendLine(std::string& out, std::string_view line, std::string_view lineEnd);

// A text line of the data file: KEY,"text".
std::string TextLine(int lang, std::string_view text);
// The placeholder of a translation still to be made: ;KEY,"".
std::string PlaceholderLine(int lang);

// Appends a new entry for a program text: the comments that name where it
// is used, the neutral line, a placeholder for each translated destination,
// and an empty line after it. With `carried`, an entry for an earlier text
// like this one: where it has a translation, the new entry offers it as a
// suggestion (;@ fuzzy KEY,"text") instead of the placeholder, after a
// line that names the earlier text.
void AppendNewEntry(std::string& out, const DistinctText& text, const LanguageChoice& choice,
                    std::string_view lineEnd, const DataEntry* carried = nullptr);

} // namespace korva::dat
