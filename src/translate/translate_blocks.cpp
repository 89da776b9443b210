#include "translate/translate_blocks.h"

#include <string>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "common/settings.h"
#include "datafile/data_file.h"
#include "langkeys/lang_const.h"
#include "strtables/string_tables.h"

namespace korva {

std::int32_t TranslationsFound = 0;
std::int32_t SourceStringsMissing = 0;
std::int32_t TranslationStringsMissing = 0;

namespace {

constexpr std::int32_t kNoEntry = -1;
constexpr std::string_view kPlaceholder = "###";

int DestLang(int i) {
    return DestLangs[static_cast<std::size_t>(i)];
}

// A block is translated only when its one and only copy is the original
// neutral one; any other language copy means someone localised it already.
bool IsTranslatable(const TResInfo& block) {
    return block.HasOrigNeutral && block.LangCount < 2;
}

// A text as a console line shows it: CR and LF as the data file writes
// them, so that a text cannot end the line and forge one of its own (a
// "Finished" that a build log would trust).
std::string Echoed(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

// Replaces each of the first n objects by the text's dictionary index (or -1)
// and returns how many texts have a translation into some other destination.
int LookUpTexts(TResInfo& block, std::size_t n) {
    const std::string_view neutralName = LangKeys[static_cast<std::size_t>(NeutralLangIndex)].Name;
    std::vector<std::string_view> texts(n);
    for (std::size_t i = 0; i < n; ++i) {
        texts[i] = block.Strings.Text(i);
    }
    std::vector<std::size_t> found(n);
    TransDict.FindAll(texts, found);
    // A text that lost characters could find an entry meant for another
    // text: a check mark and a cross before "OK" both read "? OK".
    for (const LostText& lost : block.LostTexts) {
        if (lost.Entry < n) {
            found[lost.Entry] = TransDictionary::kNotFound;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view text = texts[i];
        const std::size_t index = found[i];
        if (!text.empty() && index != TransDictionary::kNotFound) {
            block.Strings.SetObject(i, static_cast<std::int32_t>(index));
        } else {
            block.Strings.SetObject(i, kNoEntry);
            if (!text.empty()) {
                ++SourceStringsMissing;
                LogLine("Not Found: " + std::string(neutralName) + "," + Echoed(text));
            }
        }
    }
    // The entries found lie anywhere in a large dictionary; fetching all of
    // them, then all their texts' records, waits for memory twice per block
    // instead of several times per text.
    for (std::size_t i = 0; i < n; ++i) {
        if (const std::int32_t index = block.Strings.GetObject(i); index != kNoEntry) {
            __builtin_prefetch(&TransDict.Entry(static_cast<std::size_t>(index)));
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (const std::int32_t index = block.Strings.GetObject(i); index != kNoEntry) {
            TransDict.Entry(static_cast<std::size_t>(index)).Prefetch();
        }
    }
    int usable = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t index = block.Strings.GetObject(i);
        if (index == kNoEntry) {
            continue;
        }
        const TTransStrs& entry = TransDict.Entry(static_cast<std::size_t>(index));
        for (int d = 0; d < DestLangCount; ++d) {
            if (DestLang(d) != NeutralLangIndex && !entry.Text(DestLang(d)).empty()) {
                ++usable;
                break;
            }
        }
    }
    return usable;
}

// The text that slot i gets in destination `dest`, counting as it goes. The
// view is of the block's own copy, the dictionary's or a constant.
std::string_view ChooseText(const TResInfo& block, std::size_t i, int dest) {
    const std::int32_t index = block.Strings.GetObject(i);
    const std::string_view source = block.Strings.Text(i);
    const bool isNeutral = dest == NeutralLangIndex;
    std::string_view chosen;
    if (index == kNoEntry) {
        if (source.empty()) {
            chosen = EmptyTextMarker; // a gap stays a gap in every language
        }
    } else {
        chosen = TransDict.Entry(static_cast<std::size_t>(index)).Text(dest);
        if (chosen.empty()) {
            ++TranslationStringsMissing;
        }
    }
    if (!chosen.empty()) {
        if (chosen == EmptyTextMarker) {
            chosen = {};
        }
        if (!isNeutral) {
            ++TranslationsFound;
        }
        return chosen;
    }
    if (WritePlaceholders && !isNeutral) {
        return kPlaceholder;
    }
    return source;
}

// Appends one run of n texts per destination, then drops the n it started
// from. The texts are chosen slot by slot, so that one dictionary entry is
// read for all destinations at once. Every text chosen is the block's own,
// the dictionary's or a constant, so the block shares it rather than copy
// it, and keeps the dictionary's texts alive for as long as it needs them.
void ExpandBlock(TResInfo& block, std::size_t n) {
    const auto destCount = static_cast<std::size_t>(DestLangCount);
    std::vector<std::string_view> chosen(n * destCount);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t d = 0; d < destCount; ++d) {
            chosen[d * n + i] = ChooseText(block, i, DestLang(static_cast<int>(d)));
        }
    }
    block.Strings.KeepAlive(TransDict.TextOwner());
    block.Strings.Reserve(n * (destCount + 1));
    for (std::size_t d = 0; d < destCount; ++d) {
        const std::int32_t language = LangIdOf(DestLang(static_cast<int>(d)));
        for (std::size_t i = 0; i < n; ++i) {
            block.Strings.AppendShared(chosen[d * n + i], language);
        }
    }
    block.Strings.Delete(0, n);
}

void TranslateBlock(TResInfo& block) {
    if (!IsTranslatable(block)) {
        LogLine("Block " + block.DisplayName + " is already language dependent. Skipped");
        block.Skipped = true;
        return;
    }
    LogLine("Translating block " + block.DisplayName);
    const std::size_t n = block.Strings.Count();
    if (LookUpTexts(block, n) == 0) {
        LogLine("No strings found for block " + block.DisplayName + ". Skipped");
        block.Skipped = true;
        return;
    }
    ExpandBlock(block, n);
}

} // namespace

bool TranslateBlocks() {
    for (TResInfo& block : ResBlocks) {
        TranslateBlock(block);
    }
    WriteLine("Translations found          : " + std::to_string(TranslationsFound));
    WriteLine("Source strings missing      : " + std::to_string(SourceStringsMissing));
    WriteLine("Translation strings missing : " + std::to_string(TranslationStringsMissing));
    if (TranslationsFound <= 0) {
        return false;
    }
    return !(AbortOnMissing && (SourceStringsMissing != 0 || TranslationStringsMissing != 0));
}

void ResetCounters() {
    TranslationsFound = 0;
    SourceStringsMissing = 0;
    TranslationStringsMissing = 0;
}

} // namespace korva
