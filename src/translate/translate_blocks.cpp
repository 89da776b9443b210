#include "translate/translate_blocks.h"

namespace korva {

std::int32_t TranslationsFound = 0;
std::int32_t SourceStringsMissing = 0;
std::int32_t TranslationStringsMissing = 0;

bool TranslateBlocks() { return false; }

void ResetCounters() {
    TranslationsFound = 0;
    SourceStringsMissing = 0;
    TranslationStringsMissing = 0;
}

} // namespace korva
