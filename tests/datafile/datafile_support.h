#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/data_loader.h"
#include "datafile/line_reader.h"
#include "langkeys/lang_const.h"
#include "langkeys/lang_selection.h"

namespace korva::test {

// A language selection by key names, the destinations in table order, as
// the command line makes it.
inline LangSelection Selection(std::string_view neutral, const std::vector<std::string_view>& dests,
                               std::uint16_t origNeutralLangId = 0) {
    LangSelection selection;
    selection.neutral = FindLangKey(neutral);
    for (const std::string_view name : dests) {
        selection.dests.push_back(FindLangKey(name));
    }
    std::sort(selection.dests.begin(), selection.dests.end());
    selection.dests.erase(std::unique(selection.dests.begin(), selection.dests.end()),
                          selection.dests.end());
    selection.origNeutralLangId = origNeutralLangId;
    return selection;
}

// Sets korva's language selection as the command line would.
inline void SelectLanguages(std::string_view neutral, const std::vector<std::string_view>& dests) {
    ResetLangSelection();
    const LangSelection selection = Selection(neutral, dests);
    NeutralLangIndex = selection.neutral;
    DestLangs = selection.dests;
    DestLangCount = static_cast<int>(selection.dests.size());
}

// Serves `data` in reads of at most `chunk` bytes; once `failAt` bytes have
// been served, the next read fails.
inline ReadBlock ReadFrom(std::string data, std::size_t chunk = 1 << 20,
                          std::size_t failAt = std::string::npos) {
    return [data = std::move(data), chunk, failAt,
            pos = std::size_t{0}](char* buffer, std::size_t size) mutable -> long long {
        if (pos >= failAt) {
            return -1;
        }
        std::size_t n = std::min({size, chunk, data.size() - pos});
        if (failAt != std::string::npos) {
            n = std::min(n, failAt - pos);
        }
        std::memcpy(buffer, data.data() + pos, n);
        pos += n;
        return static_cast<long long>(n);
    };
}

// Loads `data`, served in reads of at most `chunk` bytes, with `selection`
// in `codePage`; the file is named K.DAT.
inline Result<DataLoadOutcome> LoadText(const std::string& data, const LangSelection& selection,
                                        CodePage codePage = CodePage::Windows1252,
                                        std::size_t chunk = 1 << 20) {
    DataLoadOptions options;
    options.codePage = codePage;
    options.languages = selection;
    return LoadDataFrom(ReadFrom(data, chunk), "K.DAT", options);
}

// Lines joined with CR LF, the last one ended too.
inline std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

} // namespace korva::test
