#include "dat/carry_over.h"

#include <algorithm>
#include <cstdint>

#include "dat/format_checks.h"

namespace korva::dat {
namespace {

// Character pairs that the search compares at most, so that an update of a
// program whose every text changed stays a matter of seconds.
constexpr std::uint64_t kWorkLimit = 300'000'000;

std::size_t LongestCommonSubsequence(std::string_view a, std::string_view b) {
    if (a.size() < b.size()) {
        std::swap(a, b);
    }
    std::vector<std::size_t> row(b.size() + 1, 0);
    for (const char x : a) {
        std::size_t diagonal = 0; // row[j - 1] of the row before
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = x == b[j - 1] ? diagonal + 1 : std::max(row[j], row[j - 1]);
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The most Similarity can be for texts of these lengths.
double Bound(std::size_t a, std::size_t b) {
    return a + b == 0 ? 1.0
                      : 2.0 * static_cast<double>(std::min(a, b)) / static_cast<double>(a + b);
}

bool HasTranslation(const DataEntry& entry, const std::vector<int>& dests, int neutral) {
    return std::any_of(dests.begin(), dests.end(), [&](int d) {
        const EntryText* t = d == neutral ? nullptr : entry.TextOf(d);
        return t != nullptr && !t->text.empty();
    });
}

} // namespace

double Similarity(std::string_view a, std::string_view b) {
    if (a.empty() && b.empty()) {
        return 1.0;
    }
    return 2.0 * static_cast<double>(LongestCommonSubsequence(a, b)) /
           static_cast<double>(a.size() + b.size());
}

std::vector<std::size_t> FindCarryOvers(const DataDocument& doc, int neutral,
                                        const std::vector<int>& dests,
                                        const std::vector<const DistinctText*>& texts,
                                        const std::vector<std::size_t>& unused) {
    std::vector<std::size_t> candidates;
    for (const std::size_t e : unused) {
        const EntryText* t = doc.entries[e].TextOf(neutral);
        if (t != nullptr && !t->text.empty() && HasTranslation(doc.entries[e], dests, neutral)) {
            candidates.push_back(e);
        }
    }
    std::vector<std::size_t> out(texts.size(), SIZE_MAX);
    std::uint64_t work = 0;
    for (std::size_t i = 0; i < texts.size() && work <= kWorkLimit; ++i) {
        const std::string_view text = texts[i]->text;
        double best = kCarryThreshold;
        for (const std::size_t e : candidates) {
            const std::string_view old = doc.entries[e].TextOf(neutral)->text;
            if (Bound(text.size(), old.size()) < best) {
                continue;
            }
            work += std::uint64_t{text.size()} * old.size();
            const double similarity = Similarity(text, old);
            // Strictly better: the first of equals stays.
            if ((similarity > best || (similarity == best && out[i] == SIZE_MAX)) &&
                SamePlaceholders(old, text)) {
                best = similarity;
                out[i] = e;
            }
        }
    }
    return out;
}

} // namespace korva::dat
