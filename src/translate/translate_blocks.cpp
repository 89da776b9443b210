#include "translate/translate_blocks.h"

#include <exception>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "common/settings.h"
#include "common/worker_thread.h"
#include "datafile/data_file.h"
#include "langkeys/lang_const.h"

namespace korva {

std::int32_t TranslationsFound = 0;
std::int32_t SourceStringsMissing = 0;
std::int32_t TranslationStringsMissing = 0;

namespace {

constexpr std::int32_t kNoEntry = -1;

// What every block of one translation reads.
struct Translation {
    const TransDictionary& dict;
    int neutral = -1;
    std::vector<int> dests;            // language indices, keys in table order first
    std::vector<std::int32_t> destIds; // their language ids
    std::string_view neutralName;
    bool writePlaceholders = false;

    Translation(const TransDictionary& d, const LangSelection& languages,
                const TranslateOptions& options)
        : dict(d), neutral(languages.neutral), dests(languages.dests),
          neutralName(LanguageName(languages.neutral)),
          writePlaceholders(options.writePlaceholders) {
        for (const int dest : dests) {
            destIds.push_back(LangIdOf(dest));
        }
    }
};

// What one thread's share of the blocks counts and says. The second share's
// lines wait in `kept` until the first share's are written, so that the
// console reads as a single thread's would.
struct Share {
    std::int32_t found = 0;
    std::int32_t sourceMissing = 0;
    std::int32_t translationMissing = 0;
    std::ostream* out = nullptr;
    bool quiet = false;
    std::string* kept = nullptr; // null: lines go to `out` at once
    // Room reused from block to block: both threads share one heap, and
    // fewer allocations mean fewer waits for it.
    std::vector<std::string_view> texts;
    std::vector<std::size_t> foundAt;
    std::vector<std::string_view> chosen;

    void Log(std::string_view text) const {
        if (quiet) {
            return;
        }
        if (kept == nullptr) {
            WriteLineTo(*out, text);
        } else {
            kept->append(text);
            kept->append("\r\n");
        }
    }

    static void WriteLineTo(std::ostream& out, std::string_view text) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.write("\r\n", 2);
    }
};
constexpr std::string_view kPlaceholder = "###";

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
int LookUpTexts(const Translation& t, TResInfo& block, std::size_t n, Share& share) {
    const TransDictionary& dict = t.dict;
    std::vector<std::string_view>& texts = share.texts;
    texts.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        texts[i] = block.Strings.Text(i);
    }
    std::vector<std::size_t>& found = share.foundAt;
    found.resize(n);
    dict.FindAll(texts, found);
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
                share.Log("Not Found: " + std::string(t.neutralName) + "," + Echoed(text));
            }
        }
    }
    // The entries found lie anywhere in a large dictionary; fetching all of
    // them, then all their texts' records, waits for memory twice per block
    // instead of several times per text.
    for (std::size_t i = 0; i < n; ++i) {
        if (const std::int32_t index = block.Strings.GetObject(i); index != kNoEntry) {
            __builtin_prefetch(&dict.Entry(static_cast<std::size_t>(index)));
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (const std::int32_t index = block.Strings.GetObject(i); index != kNoEntry) {
            dict.Entry(static_cast<std::size_t>(index)).Prefetch();
        }
    }
    int usable = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t index = block.Strings.GetObject(i);
        if (index == kNoEntry) {
            continue;
        }
        const TTransStrs& entry = dict.Entry(static_cast<std::size_t>(index));
        for (const int dest : t.dests) {
            if (dest != t.neutral && !entry.Text(dest).empty()) {
                ++usable;
                break;
            }
        }
    }
    return usable;
}

// The text that slot i gets in destination `dest`, counting as it goes. The
// view is of the block's own copy, the dictionary's or a constant.
std::string_view ChooseText(const Translation& t, const TResInfo& block, std::size_t i, int dest,
                            Share& share) {
    const std::int32_t index = block.Strings.GetObject(i);
    const std::string_view source = block.Strings.Text(i);
    const bool isNeutral = dest == t.neutral;
    std::string_view chosen;
    if (index == kNoEntry) {
        if (source.empty()) {
            chosen = EmptyTextMarker; // a gap stays a gap in every language
        }
    } else {
        chosen = t.dict.Entry(static_cast<std::size_t>(index)).Text(dest);
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
    if (t.writePlaceholders && !isNeutral) {
        return kPlaceholder;
    }
    return source;
}

// Appends one run of n texts per destination, then drops the n it started
// from. The texts are chosen slot by slot, so that one dictionary entry is
// read for all destinations at once. Every text chosen is the block's own,
// the dictionary's or a constant, so the block shares it rather than copy
// it, and keeps the dictionary's texts alive for as long as it needs them.
void ExpandBlock(const Translation& t, TResInfo& block, std::size_t n, Share& share) {
    const std::size_t destCount = t.dests.size();
    std::vector<std::string_view>& chosen = share.chosen;
    chosen.resize(n * destCount);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t d = 0; d < destCount; ++d) {
            chosen[d * n + i] = ChooseText(t, block, i, t.dests[d], share);
        }
    }
    block.Strings.KeepAlive(t.dict.TextOwner());
    block.Strings.Reserve(n * (destCount + 1));
    for (std::size_t d = 0; d < destCount; ++d) {
        const std::int32_t language = t.destIds[d];
        for (std::size_t i = 0; i < n; ++i) {
            block.Strings.AppendShared(chosen[d * n + i], language);
        }
    }
    block.Strings.Delete(0, n);
}

// "block #12", "menu #101", "dialog ABOUT": a record as the lines name it.
std::string NameOf(const TResInfo& block) {
    return std::string(ResourceNoun(block.Kind)) + " " + block.DisplayName;
}

void TranslateBlock(const Translation& t, TResInfo& block, Share& share) {
    if (!IsTranslatable(block)) {
        std::string name = NameOf(block);
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
        share.Log(name + " is already language dependent. Skipped");
        block.Skipped = true;
        return;
    }
    share.Log("Translating " + NameOf(block));
    const std::size_t n = block.Strings.Count();
    if (LookUpTexts(t, block, n, share) == 0) {
        share.Log("No strings found for " + NameOf(block) + ". Skipped");
        block.Skipped = true;
        return;
    }
    ExpandBlock(t, block, n, share);
}

void TranslateRange(const Translation& t, std::span<TResInfo> blocks, Share& share) {
    for (TResInfo& block : blocks) {
        TranslateBlock(t, block, share);
    }
}

std::size_t TextCount(std::span<const TResInfo> blocks) {
    std::size_t total = 0;
    for (const TResInfo& block : blocks) {
        total += block.Strings.Count();
    }
    return total;
}

// Where the second share starts: about half of all texts on each side, as
// the work goes with the texts. No block is shared, so the shares touch
// nothing in common but the dictionary, which they only read.
std::size_t SecondShareStart(std::span<const TResInfo> blocks) {
    const std::size_t total = TextCount(blocks);
    std::size_t first = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (2 * first >= total) {
            return i;
        }
        first += blocks[i].Strings.Count();
    }
    return blocks.size();
}

// Both shares at once; the second's lines follow the first's, and a failure
// surfaces where a single thread would have met it.
void TranslateInTwoShares(const Translation& t, std::span<TResInfo> blocks, Share& first,
                          Share& second) {
    const std::size_t split = SecondShareStart(blocks);
    std::string kept;
    second.kept = &kept;
    std::exception_ptr failed;
    {
        WorkerThread worker([&] { TranslateRange(t, blocks.subspan(split), second); });
        TranslateRange(t, blocks.first(split), first);
        failed = worker.Wait();
    }
    first.out->write(kept.data(), static_cast<std::streamsize>(kept.size()));
    if (failed) {
        std::rethrow_exception(failed);
    }
}

} // namespace

bool TranslationCounts::Accepted(bool abortOnMissing) const {
    if (translationsFound <= 0) {
        return false;
    }
    return !(abortOnMissing && (sourceStringsMissing != 0 || translationStringsMissing != 0));
}

TranslationCounts TranslateBlocks(std::vector<TResInfo>& blocks, const TransDictionary& dict,
                                  const LangSelection& languages, const TranslateOptions& options,
                                  std::ostream& out) {
    const Translation t(dict, languages, options);
    Share first;
    Share second;
    for (Share* share : {&first, &second}) {
        share->out = &out;
        share->quiet = options.quiet;
    }
    if (blocks.size() > 1 && TextCount(blocks) >= options.textsForTwoThreads) {
        TranslateInTwoShares(t, blocks, first, second);
    } else {
        TranslateRange(t, blocks, first);
    }
    TranslationCounts counts;
    for (const Share* share : {&first, &second}) {
        counts.translationsFound += share->found;
        counts.sourceStringsMissing += share->sourceMissing;
        counts.translationStringsMissing += share->translationMissing;
    }
    Share::WriteLineTo(out,
                       "Translations found          : " + std::to_string(counts.translationsFound));
    Share::WriteLineTo(out, "Source strings missing      : " +
                                std::to_string(counts.sourceStringsMissing));
    Share::WriteLineTo(out, "Translation strings missing : " +
                                std::to_string(counts.translationStringsMissing));
    return counts;
}

bool TranslateBlocks(std::size_t textsForTwoThreads) {
    TranslateOptions options;
    options.quiet = QuietMode;
    options.writePlaceholders = WritePlaceholders;
    options.textsForTwoThreads = textsForTwoThreads;
    const TranslationCounts counts =
        TranslateBlocks(ResBlocks, TransDict, RunLangSelection(), options, Console());
    TranslationsFound += counts.translationsFound;
    SourceStringsMissing += counts.sourceStringsMissing;
    TranslationStringsMissing += counts.translationStringsMissing;
    return counts.Accepted(AbortOnMissing);
}

void ResetCounters() {
    TranslationsFound = 0;
    SourceStringsMissing = 0;
    TranslationStringsMissing = 0;
}

} // namespace korva
