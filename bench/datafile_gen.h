#pragma once

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "langkeys/lang_const.h"

namespace korva::bench {

// The languages of the generated files, the first being the neutral one.
inline constexpr std::array<std::string_view, 11> kBenchLangs = {
    "ENGLISH", "GERMAN",  "FRENCH",  "SPANISH", "ITALIAN", "DUTCH",
    "SWEDISH", "DANISH", "FINNISH", "POLISH",  "CZECH"};

// Writes a data file of `entries` entries with the first `langs` languages,
// texts of some 30 to 40 characters, a comment and a tab escape now and then.
inline void WriteDataFile(const std::string& path, int entries, int langs) {
    std::ofstream file(path, std::ios::binary);
    file << "; generated for the benchmark\r\n";
    char line[128];
    for (int i = 0; i < entries; ++i) {
        file << "(\r\n";
        for (int l = 0; l < langs; ++l) {
            const std::string_view lang = kBenchLangs[static_cast<std::size_t>(l)];
            const int n = std::snprintf(line, sizeof line, "%.*s,\"%.2s text number %d%s of the sample\"\r\n",
                                        static_cast<int>(lang.size()), lang.data(), lang.data(), i,
                                        i % 10 == 0 ? "\\tCtrl+N" : "");
            file.write(line, n);
        }
        file << ")\r\n";
        if (i % 100 == 0) {
            file << "\r\n; section " << i / 100 << "\r\n";
        }
    }
}

// Neutral: the first language; destinations: the others of the file.
inline void SelectBenchLanguages(int langs) {
    ResetLangSelection();
    NeutralLangIndex = FindLangKey(kBenchLangs[0]);
    DestLangCount = 0;
    for (int i = 0; i < LangKeyCount; ++i) {
        for (int l = 1; l < langs; ++l) {
            if (FindLangKey(kBenchLangs[static_cast<std::size_t>(l)]) == i) {
                DestLangs[static_cast<std::size_t>(DestLangCount++)] = i;
            }
        }
    }
}

} // namespace korva::bench
