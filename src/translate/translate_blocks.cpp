#include "translate/translate_blocks.h"

#include <exception>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "common/settings.h"
#include "common/worker_thread.h"
#include "datafile/data_file.h"
#include "langkeys/lang_const.h"
#include "strtables/string_tables.h"

namespace korva {

std::int32_t TranslationsFound = 0;
std::int32_t SourceStringsMissing = 0;
std::int32_t TranslationStringsMissing = 0;

namespace {

constexpr std::int32_t kNoEntry = -1;

// What one thread's share of the blocks counts and says. The second share's
// lines wait in `kept` until the first share's are written, so that the
// console reads as a single thread's would.
struct Share {
    std::int32_t found = 0;
    std::int32_t sourceMissing = 0;
    std::int32_t translationMissing = 0;
    std::string* kept = nullptr; // null: lines go to the console at once
    // Room reused from block to block: both threads share one heap, and
    // fewer allocations mean fewer waits for it.
    std::vector<std::string_view> texts;
    std::vector<std::size_t> foundAt;
    std::vector<std::string_view> chosen;

    void Log(std::string_view text) const {
        if (kept == nullptr) {
            LogLine(text);
        } else if (!QuietMode) {
            kept->append(text);
            kept->append("\r\n");
        }
    }
};
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
int LookUpTexts(TResInfo& block, std::size_t n, Share& share) {
    const std::string_view neutralName = LangKeys[static_cast<std::size_t>(NeutralLangIndex)].Name;
    std::vector<std::string_view>& texts = share.texts;
    texts.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        texts[i] = block.Strings.Text(i);
    }
    std::vector<std::size_t>& found = share.foundAt;
    found.resize(n);
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
                ++share.sourceMissing;
                share.Log("Not Found: " + std::string(neutralName) + "," + Echoed(text));
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
std::string_view ChooseText(const TResInfo& block, std::size_t i, int dest, Share& share) {
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
            ++share.translationMissing;
        }
    }
    if (!chosen.empty()) {
        if (chosen == EmptyTextMarker) {
            chosen = {};
        }
        if (!isNeutral) {
            ++share.found;
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
void ExpandBlock(TResInfo& block, std::size_t n, Share& share) {
    const auto destCount = static_cast<std::size_t>(DestLangCount);
    std::vector<std::string_view>& chosen = share.chosen;
    chosen.resize(n * destCount);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t d = 0; d < destCount; ++d) {
            chosen[d * n + i] = ChooseText(block, i, DestLang(static_cast<int>(d)), share);
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

void TranslateBlock(TResInfo& block, Share& share) {
    if (!IsTranslatable(block)) {
        share.Log("Block " + block.DisplayName + " is already language dependent. Skipped");
        block.Skipped = true;
        return;
    }
    share.Log("Translating block " + block.DisplayName);
    const std::size_t n = block.Strings.Count();
    if (LookUpTexts(block, n, share) == 0) {
        share.Log("No strings found for block " + block.DisplayName + ". Skipped");
        block.Skipped = true;
        return;
    }
    ExpandBlock(block, n, share);
}

void TranslateRange(std::size_t first, std::size_t last, Share& share) {
    for (std::size_t i = first; i < last; ++i) {
        TranslateBlock(ResBlocks[i], share);
    }
}

std::size_t TextCount() {
    std::size_t total = 0;
    for (const TResInfo& block : ResBlocks) {
        total += block.Strings.Count();
    }
    return total;
}

// Where the second share starts: about half of all texts on each side, as
// the work goes with the texts. No block is shared, so the shares touch
// nothing in common but the dictionary, which they only read.
std::size_t SecondShareStart() {
    const std::size_t total = TextCount();
    std::size_t first = 0;
    for (std::size_t i = 0; i < ResBlocks.size(); ++i) {
        if (2 * first >= total) {
            return i;
        }
        first += ResBlocks[i].Strings.Count();
    }
    return ResBlocks.size();
}

// Both shares at once; the second's lines follow the first's, and a failure
// surfaces where a single thread would have met it.
void TranslateInTwoShares(Share& first, Share& second) {
    const std::size_t split = SecondShareStart();
    std::string kept;
    second.kept = &kept;
    std::exception_ptr failed;
    {
        WorkerThread worker([&] { TranslateRange(split, ResBlocks.size(), second); });
        TranslateRange(0, split, first);
        failed = worker.Wait();
    }
    Console().write(kept.data(), static_cast<std::streamsize>(kept.size()));
    if (failed) {
        std::rethrow_exception(failed);
    }
}

} // namespace

bool TranslateBlocks(std::size_t textsForTwoThreads) {
    Share first;
    Share second;
    if (ResBlocks.size() > 1 && TextCount() >= textsForTwoThreads) {
        TranslateInTwoShares(first, second);
    } else {
        TranslateRange(0, ResBlocks.size(), first);
    }
    for (const Share* share : {&first, &second}) {
        TranslationsFound += share->found;
        SourceStringsMissing += share->sourceMissing;
        TranslationStringsMissing += share->translationMissing;
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
