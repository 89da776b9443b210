#include "dat/entry_writer.h"

#include "dat/text_codec.h"

namespace korva::dat {

void AppendLine(std::string& out, std::string_view line, std::string_view lineEnd) {
    out += line;
    out += lineEnd;
}

std::string TextLine(int lang, std::string_view text) {
    return LangName(lang) + "," + QuoteDataText(text);
}

std::string PlaceholderLine(int lang) {
    return ";" + LangName(lang) + ",\"\"";
}

void AppendNewEntry(std::string& out, const DistinctText& text, const LanguageChoice& choice,
                    std::string_view lineEnd, const DataEntry* carried) {
    for (const TextLocation& use : text.uses) {
        AppendLine(out, LocationLine(use), lineEnd);
    }
    AppendLine(out, "(", lineEnd);
    AppendLine(out, TextLine(choice.neutral, text.text), lineEnd);
    if (carried != nullptr) {
        AppendLine(
            out, std::string(kMadeForPrefix) + QuoteDataText(carried->TextOf(choice.neutral)->text),
            lineEnd);
    }
    for (const int dest : choice.TranslatedDests()) {
        const EntryText* old = carried != nullptr ? carried->TextOf(dest) : nullptr;
        if (old != nullptr && !old->text.empty()) {
            AppendLine(out, std::string(kFuzzyPrefix) + TextLine(dest, old->text), lineEnd);
        } else {
            AppendLine(out, PlaceholderLine(dest), lineEnd);
        }
    }
    AppendLine(out, ")", lineEnd);
    AppendLine(out, "", lineEnd);
}

} // namespace korva::dat
