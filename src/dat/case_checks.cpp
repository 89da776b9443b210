#include "dat/case_checks.h"

#include <optional>

#include "dat/languages.h"
#include "dat/text_codec.h"

namespace korva::dat {

std::string LetterCaseWarnings(const DataDocument& doc, const EntryGroups& groups, int neutral,
                               const ProgramTexts& texts, std::size_t& count) {
    const NeutralTextIndex index(groups);
    std::string out;
    for (const DistinctText& text : texts.texts) {
        const std::optional<std::size_t> entry = index.Find(text.text);
        if (!entry || text.uses.empty()) {
            continue;
        }
        const EntryText& spelt = *doc.entries[*entry].TextOf(neutral);
        if (spelt.text == text.text) {
            continue;
        }
        const TextLocation& use = text.uses.front();
        out += doc.Where(spelt.line) + ": warning: " + LangName(neutral) + ": " + use.program +
               ", " + ItemLabel(use) + " reads \"" + ToUtf8(text.text, doc.codePage) +
               "\", which this entry spells \"" + ToUtf8(spelt.text, doc.codePage) +
               "\" (letter case aside): korva takes this entry for it and writes its "
               "spelling wherever " +
               LangName(neutral) + " is a destination\n";
        ++count;
    }
    return out;
}

} // namespace korva::dat
