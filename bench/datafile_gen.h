#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "datafile/data_loader.h"
#include "langkeys/lang_const.h"

namespace korva::bench {

// The languages of the generated files, the first being the neutral one.
inline constexpr std::array<std::string_view, 11> kBenchLangs = {
    "ENGLISH", "GERMAN", "FRENCH",  "SPANISH", "ITALIAN", "DUTCH",
    "SWEDISH", "DANISH", "FINNISH", "POLISH",  "CZECH"};

// User-interface words the generated texts are made of.
inline constexpr std::array<std::string_view, 32> kWords = {
    "Open",    "file",    "Save",   "changes", "the",     "Close", "window", "Print",
    "preview", "Cannot",  "find",   "folder",  "Replace", "all",   "Undo",   "last",
    "action",  "Options", "Export", "as",      "Delete",  "item",  "New",    "project",
    "Search",  "results", "Insert", "row",     "Copy",    "to",    "Error",  "reading"};

// A text of two to seven words chosen by `seed`, ending in a number that
// makes it unique.
inline std::string SampleText(std::string_view tag, std::uint32_t seed, int number) {
    std::string text(tag);
    const int words = 2 + static_cast<int>(seed % 6);
    for (int w = 0; w < words; ++w) {
        seed = seed * 1103515245U + 12345U;
        text += kWords[(seed >> 16) % kWords.size()];
        text += ' ';
    }
    text += std::to_string(number);
    if (number % 10 == 0) {
        text += "\\tCtrl+N";
    }
    return text;
}

// Writes a data file of `entries` entries with the first `langs` languages
// and a comment now and then.
inline void WriteDataFile(const std::string& path, int entries, int langs) {
    std::ofstream file(path, std::ios::binary);
    file << "; generated for the benchmark\r\n";
    for (int i = 0; i < entries; ++i) {
        const auto seed = static_cast<std::uint32_t>(i) * 2654435761U;
        file << "(\r\n";
        for (int l = 0; l < langs; ++l) {
            const std::string_view lang = kBenchLangs[static_cast<std::size_t>(l)];
            // The translations differ from the neutral text by a tag.
            const std::string tag = l == 0 ? std::string() : std::string(lang.substr(0, 2)) + ": ";
            file << lang << ",\"" << SampleText(tag, seed, i) << "\"\r\n";
        }
        file << ")\r\n";
        if (i % 100 == 0) {
            file << "\r\n; section " << i / 100 << "\r\n";
        }
    }
}

// Neutral: the first language; destinations: the others of the file.
// The first `langs` bench languages: the neutral one and its destinations.
inline DataLoadOptions BenchLoadOptions(int langs) {
    DataLoadOptions options;
    options.languages.neutral = FindLangKey(kBenchLangs[0]);
    for (int i = 0; i < LangKeyCount; ++i) {
        for (int l = 1; l < langs; ++l) {
            if (FindLangKey(kBenchLangs[static_cast<std::size_t>(l)]) == i) {
                options.languages.dests.push_back(i);
            }
        }
    }
    return options;
}

} // namespace korva::bench
