#pragma once

// The texts the benchmark's targets and data files are made of, shared by
// the generators so that every scenario draws its words the same way.

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <numeric>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "text/codepage.h"
#include "text/utf8.h"

namespace korva::bench::gen {

// A small deterministic generator (SplitMix64), so the inputs never depend
// on the standard library's distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

private:
    std::uint64_t state_;
};

// Interface words in code page 1252, accented letters written as escapes so
// that this source stays ASCII.
// clang-format off
inline constexpr std::array<std::string_view, 40> kWords = {
    "Open",      "file",         "Save",       "changes",       "the",
    "Close",     "window",       "Print",      "preview",       "Cannot",
    "find",      "folder",       "Replace",    "all",           "Undo",
    "Options",   "Export",       "as",         "Delete",        "item",
    "Gr\xF6\337e",            "\xC4nderung", "\xE9l\xE9ment", "Donn\351es",
    "caf\xE9",   "A\xF1o",       "Configuraci\xF3n", "\334bersicht", "na\xEFve",
    "\xD8re",    "\xC6r\xF8",    "Sm\xF6rg\xE5sbord", "fa\347ade", "Ma\xDF",
    "d\xE9j\xE0", "\xE0 la",     "Z\xFCrich",  "\x80 price",    "\x84quoted\x93",
    "Stra\337e"};
// clang-format on

// Words of the UTF-8 inputs that 1252 cannot hold: Cyrillic in both cases
// (with the letters outside the alphabet's main block, like Yo and Lje, whose
// case pairs lie apart from the others), and Chinese, Japanese and Korean,
// one of them with a character beyond the BMP that UTF-16 stores as a pair.
// clang-format off
inline constexpr std::array<std::u32string_view, 48> kWideWords = {
    U"\u041E\u0442\u043A\u0440\u044B\u0442\u044C", U"\u0444\u0430\u0439\u043B",
    U"\u0421\u043E\u0445\u0440\u0430\u043D\u0438\u0442\u044C",
    U"\u0438\u0437\u043C\u0435\u043D\u0435\u043D\u0438\u044F",
    U"\u0417\u0430\u043A\u0440\u044B\u0442\u044C", U"\u041E\u041A\u041D\u041E",
    U"\u041F\u0435\u0447\u0430\u0442\u044C", U"\u043F\u0440\u043E\u0441\u043C\u043E\u0442\u0440",
    U"\u041D\u0435 \u0443\u0434\u0430\u0451\u0442\u0441\u044F", U"\u043D\u0430\u0439\u0442\u0438",
    U"\u041F\u0410\u041F\u041A\u0423", U"\u0417\u0430\u043C\u0435\u043D\u0438\u0442\u044C",
    U"\u0432\u0441\u0451", U"\u041E\u0442\u043C\u0435\u043D\u0438\u0442\u044C",
    U"\u041F\u0430\u0440\u0430\u043C\u0435\u0442\u0440\u044B", U"\u042D\u043A\u0441\u043F\u043E\u0440\u0442",
    U"\u0423\u0434\u0430\u043B\u0438\u0442\u044C", U"\u042D\u041B\u0415\u041C\u0415\u041D\u0422",
    U"\u0401\u043B\u043A\u0430", U"\u0417\u0431\u0435\u0440\u0435\u0433\u0442\u0438",
    U"\u0407\u0436\u0430\u043A", U"\u0456\u043D\u0448\u0435",
    U"\u0409\u0443\u0431\u0459\u0430\u043D\u0430", U"\u0402\u043E\u0440\u0452\u0435",
    U"\u6253\u5F00", U"\u6587\u4EF6", U"\u4FDD\u5B58", U"\u66F4\u6539", U"\u5173\u95ED",
    U"\u7A97\u53E3", U"\u6253\u5370", U"\u9884\u89C8", U"\u65E0\u6CD5", U"\u67E5\u627E",
    U"\u6587\u4EF6\u5939", U"\u66FF\u6362", U"\u5168\u90E8", U"\u64A4\u9500", U"\u9009\u9879",
    U"\u5BFC\u51FA", U"\u5220\u9664", U"\u9879\u76EE", U"\u30D5\u30A1\u30A4\u30EB",
    U"\u958B\u304F", U"\u4FDD\u5B58\u3057\u307E\u3059\u304B", U"\uD30C\uC77C", U"\uC800\uC7A5",
    U"\U00020BB7\u91CE\u5BB6"};
// clang-format on

// Texts are kept as code points and encoded only when written, so that both
// variants share one way of making them.
using Text = std::u32string;

inline Text FromCp1252(std::string_view bytes) {
    Text text;
    for (const char c : bytes) {
        text += korva::AnsiToUtf16Unit(static_cast<unsigned char>(c));
    }
    return text;
}

// kWords as texts.
inline std::vector<Text> Words() {
    std::vector<Text> words;
    words.reserve(kWords.size());
    for (const std::string_view word : kWords) {
        words.push_back(FromCp1252(word));
    }
    return words;
}

// Throws for a character 1252 lacks: the 1252 inputs must hold none.
inline std::string ToCp1252(const Text& text) {
    std::vector<std::uint8_t> units;
    for (const char32_t c : text) {
        units.push_back(static_cast<std::uint8_t>(c));
        units.push_back(static_cast<std::uint8_t>(c >> 8));
        if (c > 0xFFFF) {
            throw std::runtime_error("a character outside code page 1252 in a 1252 text");
        }
    }
    std::string out;
    bool lost = false;
    korva::Utf16LeToAnsi(units, out, lost, korva::CodePage::Windows1252);
    if (lost) {
        throw std::runtime_error("a character outside code page 1252 in a 1252 text");
    }
    return out;
}

inline std::string ToUtf8(const Text& text) {
    std::string out;
    for (const char32_t c : text) {
        korva::AppendUtf8(c, out);
    }
    return out;
}

inline std::string Encode(const Text& text, bool utf8) {
    return utf8 ? ToUtf8(text) : ToCp1252(text);
}

// The other case of a Latin, Latin-1 or Cyrillic letter; anything else as it is.
inline char32_t SwapCase(char32_t c) {
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x430 && c <= 0x44F)) {
        return c - 0x20;
    }
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x410 && c <= 0x42F)) {
        return c + 0x20;
    }
    if (c >= 0x450 && c <= 0x45F) {
        return c - 0x50;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    return c;
}

// A text of 10 to 60 characters that `number` makes unique. With `wide`,
// about a quarter of the words are replaced by ones from kWideWords; the
// length still counts the word drawn from `random`, so that `random` gives
// the same words and texts as without `wide`.
inline Text MakeText(const std::vector<Text>& words, Random& random, std::uint32_t number,
                     Random* wide) {
    const Text suffix = FromCp1252(" " + std::to_string(number));
    const std::size_t target = 10 + random.Below(51);
    Text text;
    std::size_t length = 0;
    while (length + suffix.size() < target) {
        if (!text.empty()) {
            text += U' ';
            ++length;
        }
        const Text& word = words[random.Below(words.size())];
        length += word.size();
        if (wide != nullptr && wide->Below(4) == 0) {
            text += kWideWords[wide->Below(kWideWords.size())];
        } else {
            text += word;
        }
    }
    text += suffix;
    if (text.size() > 60) {
        text.erase(0, text.size() - 60);
    }
    if (text.front() == U' ') {
        text.front() = U'x';
    }
    return text;
}

// The translation of a text into the d-th destination: a short tag in front
// and the text with its case changed here and there, at most 64 characters.
// The UTF-8 tag holds an arrow 1252 lacks, so every translation has one.
inline Text Translate(const Text& text, std::string_view dest, std::size_t d, bool utf8) {
    Text out = FromCp1252(dest.substr(0, 2));
    out += utf8 ? U"\u2192 " : U": ";
    out += text;
    for (std::size_t i = d % 3; i < out.size(); i += 3) {
        const char32_t c = out[i];
        if ((c >= U'a' && c <= U'z') || (utf8 && c >= 0x430 && c <= 0x44F)) {
            out[i] = SwapCase(c);
        }
    }
    return out;
}

// The keys of a comma-separated list (FRENCH,GERMAN,...).
inline std::vector<std::string> SplitList(std::string_view list) {
    std::vector<std::string> keys;
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        keys.emplace_back(list.substr(0, comma));
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return keys;
}

inline bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary);
    file << content;
    return static_cast<bool>(file);
}

// The data file in code page 1252 or UTF-8 (with a byte-order mark), CR LF:
// ENGLISH and each of `dests`, at least `entries` entries.
inline bool WriteDataFile(const std::string& path, const std::vector<Text>& words,
                          const std::vector<Text>& texts, const std::vector<std::string>& dests,
                          std::size_t entries, bool utf8) {
    // Every text of the program gets an entry; further entries hold texts of
    // their own. The entries come in a shuffled order, as a file maintained
    // by hand would not follow the program's ids.
    std::vector<std::uint32_t> order(std::max(entries, texts.size()));
    std::iota(order.begin(), order.end(), 0U);
    Random random(7);
    for (std::size_t i = order.size(); i > 1; --i) {
        std::swap(order[i - 1], order[random.Below(i)]);
    }
    std::ofstream file(path, std::ios::binary);
    if (utf8) {
        file << "\xEF\xBB\xBF";
    }
    file << "; translations for the benchmark target\r\n\r\n";
    Random other(99);
    Random otherWide(5);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint32_t n = order[k];
        const Text text = n < texts.size()
                              ? texts[n]
                              : MakeText(words, other, 1000000 + n, utf8 ? &otherWide : nullptr);
        // The program's text in another case, so that a match has to fold
        // letters outside 1252 too.
        Text source = text;
        if (utf8 && n % 4 == 3) {
            std::transform(source.begin(), source.end(), source.begin(), SwapCase);
        }
        file << "(\r\nENGLISH,\"" << Encode(source, utf8) << "\"\r\n";
        for (std::size_t d = 0; d < dests.size(); ++d) {
            file << dests[d] << ",\"" << Encode(Translate(text, dests[d], d, utf8), utf8)
                 << "\"\r\n";
        }
        file << ")\r\n";
        if (k % 500 == 499) {
            file << "\r\n; part " << k / 500 + 1 << "\r\n";
        }
    }
    return static_cast<bool>(file);
}

} // namespace korva::bench::gen
