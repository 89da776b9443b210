#pragma once

namespace korva {

// The simple case folding of one code point, as the Unicode Character
// Database gives it (CaseFolding.txt, statuses C and S); a code point
// without one, a surrogate or anything above U+10FFFF folds to itself.
char32_t FoldCase(char32_t c);

} // namespace korva
