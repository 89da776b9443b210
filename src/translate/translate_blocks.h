#pragma once

#include <cstdint>

namespace korva {

extern std::int32_t TranslationsFound;
extern std::int32_t SourceStringsMissing;
extern std::int32_t TranslationStringsMissing;

// Replaces each translatable block's neutral texts by one run per
// destination language, counting and reporting as it goes.
bool TranslateBlocks();

void ResetCounters();

} // namespace korva
