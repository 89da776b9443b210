#pragma once

// UTF-8 runs for tests: the code page switched for one test, and texts made
// of characters that fold in every way Unicode simple case folding has.

#include <random>
#include <string>
#include <vector>

#include "text/codepage.h"

namespace korva::test {

// The run is UTF-8 while this lives, as a data file with the mark makes it.
class Utf8Run {
public:
    Utf8Run() { RunCodePage = CodePage::Utf8; }
    ~Utf8Run() { RunCodePage = CodePage::Windows1252; }
    Utf8Run(const Utf8Run&) = delete;
    Utf8Run& operator=(const Utf8Run&) = delete;
};

// One character each, in UTF-8: ASCII letters and their cases, letters whose
// folding changes their length (the Kelvin sign folds to k, the long s to
// s), the three Greek sigmas, Cyrillic, a letter beyond the BMP and its
// folding (Deseret), a lone surrogate, NUL, and characters that do not fold.
// clang-format off
inline const std::vector<std::string> kFoldingPieces = {
    "a", "A", "k", "K", "\xE2\x84\xAA", "s", "S", "\xC5\xBF",
    "\xCE\xA3", "\xCF\x83", "\xCF\x82",
    "\xD0\x81", "\xD1\x91", "\xD0\xB5",
    "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", "\xED\xA0\x80",
    std::string(1, '\0'), "_", "\xE6\x97\xA5", "\xC3\x9F"};
// clang-format on

// `count` texts of up to `maxPieces` pieces each, a third of them after a
// common beginning `prefix`, so that equal and nearly equal texts abound.
inline std::vector<std::string> RandomPieceTexts(std::mt19937& random, std::size_t count,
                                                 std::size_t maxPieces,
                                                 const std::string& prefix = {}) {
    std::uniform_int_distribution<std::size_t> length(0, maxPieces);
    std::uniform_int_distribution<std::size_t> piece(0, kFoldingPieces.size() - 1);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text = i % 3 == 0 ? prefix : std::string();
        for (std::size_t n = length(random); n > 0; --n) {
            text += kFoldingPieces[piece(random)];
        }
        texts.push_back(text);
    }
    return texts;
}

} // namespace korva::test
