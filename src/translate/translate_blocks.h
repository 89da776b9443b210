#pragma once

#include <cstddef>
#include <cstdint>

namespace korva {

extern std::int32_t TranslationsFound;
extern std::int32_t SourceStringsMissing;
extern std::int32_t TranslationStringsMissing;

// Replaces each translatable block's neutral texts by one run per
// destination language, counting and reporting as it goes. Blocks holding
// `textsForTwoThreads` texts or more are shared between two threads (fewer
// take less time than starting one); the outcome and the lines are the same
// either way.
inline constexpr std::size_t kTextsForTwoThreads = 16384;
bool TranslateBlocks(std::size_t textsForTwoThreads = kTextsForTwoThreads);

void ResetCounters();

} // namespace korva
