#include "datafile/data_file_reasons.h"

#include <vector>

#include "datafile/data_line.h"
#include "langkeys/lang_const.h"
#include "text/utf8.h"

namespace korva {
namespace {

// Which languages the file's entries have lines of, and whether one entry
// had the neutral language and another of the run's together.
struct LanguagesSeen {
    bool anyEntry = false;
    bool together = false;
    std::vector<bool> inFile = std::vector<bool>(static_cast<std::size_t>(LanguageCount()));
};

LanguagesSeen Survey(const ReadBlock& read, const LangSelection& languages, bool utf8) {
    LanguagesSeen seen;
    std::vector<bool> inEntry(seen.inFile.size());
    bool open = false;
    LineReader lines(read, LineReader::kDefaultBlockSize, utf8);
    std::string_view line;
    while (lines.Next(line) == LineReader::Status::Line) {
        if (utf8 && lines.LineNumber() == 1 && line.starts_with(kUtf8Mark)) {
            line.remove_prefix(kUtf8Mark.size());
        }
        const DataLine classified = ClassifyDataLine(line);
        if (classified.kind == DataLineKind::EntryStart) {
            open = seen.anyEntry = true;
            inEntry.assign(inEntry.size(), false);
        } else if (classified.kind == DataLineKind::EntryEnd && open) {
            open = false;
            int taken = 0;
            for (std::size_t i = 0; i < inEntry.size(); ++i) {
                taken += inEntry[i] && languages.Taken(static_cast<int>(i)) ? 1 : 0;
            }
            seen.together = seen.together ||
                            (inEntry[static_cast<std::size_t>(languages.neutral)] && taken >= 2);
        } else if (classified.kind == DataLineKind::TextLine && open) {
            const TextLineParts parts = SplitTextLine(classified.trimmed);
            const int language = parts.fault == TextLineFault::None ? FindLanguage(parts.key) : -1;
            if (language >= 0) {
                inEntry[static_cast<std::size_t>(language)] = true;
                seen.inFile[static_cast<std::size_t>(language)] = true;
            }
        }
    }
    return seen;
}

std::string Names(const std::vector<int>& languages) {
    std::string out;
    for (const int language : languages) {
        out += (out.empty() ? "" : ", ") + std::string(LanguageName(language));
    }
    return out;
}

// The languages the file has lines of, in the table's order.
std::string FoundIn(const LanguagesSeen& seen) {
    std::vector<int> found;
    for (std::size_t i = 0; i < seen.inFile.size(); ++i) {
        if (seen.inFile[i]) {
            found.push_back(static_cast<int>(i));
        }
    }
    return found.empty() ? std::string(" (it names no language)")
                         : " (its languages: " + Names(found) + ")";
}

} // namespace

std::string WhyNoEntryWasTaken(const ReadBlock& read, std::string_view fileName,
                               const LangSelection& languages, CodePage codePage) {
    const LanguagesSeen seen = Survey(read, languages, codePage == CodePage::Utf8);
    const std::string name(fileName);
    const std::string neutral(LanguageName(languages.neutral));
    if (!seen.anyEntry) {
        return name + " holds no entries";
    }
    if (!seen.inFile[static_cast<std::size_t>(languages.neutral)]) {
        return "the neutral language " + neutral + " appears in no entry of " + name +
               FoundIn(seen);
    }
    std::vector<int> others;
    bool anyOther = false;
    for (const int dest : languages.dests) {
        if (dest != languages.neutral) {
            others.push_back(dest);
            anyOther = anyOther || seen.inFile[static_cast<std::size_t>(dest)];
        }
    }
    if (others.empty()) {
        return "the only destination is the neutral language " + neutral + ": an entry of " + name +
               " is taken only with a text in a second language";
    }
    if (!anyOther) {
        return "none of the destination languages appears in " + name + ": " + Names(others) +
               FoundIn(seen);
    }
    return "no entry of " + name + " has a text in " + neutral + " together with one in " +
           Names(others);
}

} // namespace korva
