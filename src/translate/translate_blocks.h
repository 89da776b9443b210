#pragma once

#include <cstdint>

namespace korva {

extern std::int32_t TranslationsFound;
extern std::int32_t SourceStringsMissing;
extern std::int32_t TranslationStringsMissing;

// Replaces each translatable block's neutral texts by one run per
// destination language, counting and reporting as it goes. The blocks are
// shared between two threads unless `useSecondThread` is false; the
// outcome and the lines are the same either way.
bool TranslateBlocks(bool useSecondThread = true);

void ResetCounters();

} // namespace korva
