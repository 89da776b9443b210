#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "dat/data_document.h"
#include "dat/program_texts.h"

namespace korva::dat {

// How alike two texts are, as gettext's msgmerge measures it when it looks
// for a fuzzy match: the share of both texts' characters that their longest
// common subsequence keeps, 2 * LCS / (|a| + |b|), from 0 to 1 (1 for two
// empty texts). Characters are bytes of the document's code page.
double Similarity(std::string_view a, std::string_view b);

// The least Similarity for a translation to be carried over: msgmerge's.
inline constexpr double kCarryThreshold = 0.6;

// For each new program text of `texts`, the entry whose translations it
// may inherit as suggestions, or SIZE_MAX: of the entries no program holds
// any more (`unused`) that have a translation into a destination, the most
// similar one at kCarryThreshold or above whose neutral text has the same
// printf placeholders and FormatMessage inserts; the first in file order
// among equals. A text is looked at only while the work stays bounded (a
// few hundred million character pairs): past that, the rest get none.
std::vector<std::size_t> FindCarryOvers(const DataDocument& doc, int neutral,
                                        const std::vector<int>& dests,
                                        const std::vector<const DistinctText*>& texts,
                                        const std::vector<std::size_t>& unused);

} // namespace korva::dat
