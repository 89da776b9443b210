#include "dat/coverage.h"

#include <string_view>

#include "text/text.h"

namespace korva::dat {
namespace {

struct BlockLookup {
    std::vector<std::size_t> found; // dictionary index, or kNotFound
    bool usable = false;            // some text has a translation into another destination
};

BlockLookup LookUp(const TResInfo& block, const TransDictionary& dict, const LanguageChoice& choice,
                   Coverage& c) {
    const std::size_t n = block.Strings.Count();
    std::vector<std::string_view> texts(n);
    for (std::size_t i = 0; i < n; ++i) {
        texts[i] = block.Strings.Text(i);
    }
    BlockLookup out;
    out.found.resize(n);
    dict.FindAll(texts, out.found);
    // A text that lost characters is never looked up.
    std::vector<bool> lost(n, false);
    for (const LostText& l : block.LostTexts) {
        if (l.Entry < n) {
            out.found[l.Entry] = TransDictionary::kNotFound;
            lost[l.Entry] = true;
        }
    }
    const std::vector<int> translated = choice.TranslatedDests();
    for (std::size_t i = 0; i < n; ++i) {
        if (texts[i].empty()) {
            out.found[i] = TransDictionary::kNotFound; // a gap, never looked up
            continue;
        }
        ++c.texts;
        if (out.found[i] == TransDictionary::kNotFound) {
            ++c.sourceStringsMissing;
            if (!lost[i]) {
                c.notFound.push_back(texts[i]);
            }
            continue;
        }
        ++c.found;
        for (const int d : translated) {
            if (!dict.Entry(out.found[i]).Text(d).empty()) {
                out.usable = true;
            }
        }
    }
    return out;
}

} // namespace

int Coverage::KorvaExitCode() const {
    if (translationsFound <= 0) {
        return 2;
    }
    return sourceStringsMissing > 0 || translationStringsMissing > 0 ? 1 : 0;
}

Coverage CountCoverage(const ProgramTables& program, const TransDictionary& dict,
                       const LanguageChoice& choice) {
    Coverage c;
    for (const int d : choice.TranslatedDests()) {
        c.languages.push_back({d, 0, 0});
    }
    for (const TResInfo& block : program.blocks) {
        if (!IsTranslatable(block)) {
            ++c.skippedBlocks;
            continue;
        }
        ++(block.Kind == res::ResourceKind::Strings ? c.blocks : c.resources);
        const BlockLookup lookup = LookUp(block, dict, choice, c);
        if (!lookup.usable) {
            // Korva leaves such a block as it is and counts no translation.
            ++c.skippedBlocks;
            continue;
        }
        for (std::size_t i = 0; i < lookup.found.size(); ++i) {
            const bool gap = block.Strings.Text(i).empty();
            for (Coverage::Language& lang : c.languages) {
                if (gap) {
                    ++c.translationsFound; // a gap stays a gap in every language
                } else if (lookup.found[i] != TransDictionary::kNotFound) {
                    if (dict.Entry(lookup.found[i]).Text(lang.lang).empty()) {
                        ++lang.missing;
                        ++c.translationStringsMissing;
                    } else {
                        ++lang.present;
                        ++c.translationsFound;
                    }
                }
            }
        }
    }
    return c;
}

} // namespace korva::dat
