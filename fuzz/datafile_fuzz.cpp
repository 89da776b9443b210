// Feeds arbitrary bytes to the data file loader, in reads of varying size,
// as a 1252 or a UTF-8 file, and checks what it reports against a plain
// count of the input's lines.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/codepage.h"
#include "common/compare.h"
#include "common/utf8.h"
#include "datafile/data_loader.h"
#include "datafile/text_filter.h"
#include "langkeys/lang_const.h"
#include "langkeys/lang_selection.h"

namespace {

using namespace korva;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Lines as the format defines them, counted over the whole input at once.
// A UTF-8 file's lines may end in a lone LF too.
std::uint64_t CountLines(std::string_view data, bool utf8) {
    const std::size_t stop = data.find('\x1A');
    if (stop != std::string_view::npos) {
        data = data.substr(0, stop);
    }
    std::uint64_t lines = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\r') {
            ++lines;
            if (i + 1 < data.size() && data[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        } else if (utf8 && data[i] == '\n') {
            ++lines;
            start = i + 1;
        }
    }
    return start < data.size() ? lines + 1 : lines;
}

LangSelection Select(std::uint8_t choice) {
    LangSelection selection;
    const char* const neutrals[] = {"ENGLISH", "GERMAN", "AFRIKAANS", "VIETNAMESE"};
    selection.neutral = FindLangKey(neutrals[choice % 4]);
    // Bits of the choice pick some destinations, in table order.
    for (int i = 0; i < LangKeyCount; ++i) {
        if (i == FindLangKey("GERMAN") || (choice & 0x80) != 0 || (i % 8 == (choice >> 2) % 8)) {
            selection.dests.push_back(i);
        }
    }
    return selection;
}

struct LoadOutcome {
    bool ok = false;
    std::string output;
    TransDictionary dict;
};

// Reads of at most `chunk` bytes; pieces of at least `piece` bytes, parsed
// on two threads once there are two.
void Load(std::string_view data, DataLoadOptions options, LoadOutcome& outcome) {
    std::size_t pos = 0;
    const ReadBlock read = [&](char* buffer, std::size_t size) -> long long {
        const std::size_t n = std::min(size, data.size() - pos);
        std::memcpy(buffer, data.data() + pos, n);
        pos += n;
        return static_cast<long long>(n);
    };
    Result<DataLoadOutcome> loaded = LoadDataFrom(read, "F", options);
    Check(loaded.ok()); // no input this size reaches a limit
    outcome.ok = loaded->Loaded();
    // The line korva writes for a syntax error.
    outcome.output = loaded->syntaxError ? loaded->syntaxError->message + "\r\n" : "";
    outcome.dict = std::move(loaded->dict);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool utf8 = (bytes[1] & 0x80) != 0;
    const CodePage page = utf8 ? CodePage::Utf8 : CodePage::Windows1252;
    const std::size_t chunk = 1 + bytes[1] % 16;
    const std::string_view data(reinterpret_cast<const char*>(bytes) + 2, size - 2);
    DataLoadOptions options;
    options.codePage = page;
    options.languages = Select(bytes[0]);
    const int neutral = options.languages.neutral;

    LoadOutcome small;
    options.blockSize = chunk;
    options.pieceSize = chunk;
    Load(data, options, small);
    const std::string prefix = "Syntax error in F/Line=";
    if (!small.output.empty()) {
        Check(!small.ok);
        Check(small.output.rfind(prefix, 0) == 0);
        Check(small.output.size() > prefix.size() + 2);
        Check(small.output.substr(small.output.size() - 2) == "\r\n");
        const std::string number =
            small.output.substr(prefix.size(), small.output.size() - prefix.size() - 2);
        Check(number.find_first_not_of("0123456789") == std::string::npos && number[0] != '0');
        const std::uint64_t line = std::stoull(number);
        Check(line >= 1 && line <= CountLines(data, utf8));
    }
    Check(small.ok == (small.output.empty() && small.dict.Count() > 0));

    const TransDictionary& dict = small.dict;
    for (std::size_t i = 0; i < dict.Count(); ++i) {
        const TTransStrs& entry = dict.Entry(i);
        Check(entry.Count >= 2);
        Check(!entry.Text(neutral).empty());
        Check(CompareText(entry.Text(neutral), dict.Text(i), page) == 0);
        Check(i == 0 || CompareText(dict.Text(i - 1), dict.Text(i), page) < 0);
        std::size_t found = 0;
        Check(dict.Find(dict.Text(i), found) && found == i);
        for (int lang = 0; lang < LangKeyCount; ++lang) {
            const std::string_view text = entry.Text(lang);
            Check(options.languages.Taken(lang) || text.empty());
            // Every text a UTF-8 run may write is valid, and is written in
            // exactly the units counted for it.
            if (utf8) {
                Check(IsValidUtf8(text));
                std::string units(2 * AnsiUtf16Length(text, page), '\0');
                auto* begin = reinterpret_cast<std::uint8_t*>(units.data());
                Check(PutAnsiAsUtf16Le(text, begin, page) == begin + units.size());
                Check(Utf16LeToAnsi({begin, units.size()}, page) == text);
            }
        }
    }

    // How the input arrives and how it is cut into pieces must not change
    // anything.
    LoadOutcome whole;
    options.blockSize = data.size() + 1;
    options.pieceSize = SIZE_MAX;
    Load(data, options, whole);
    Check(whole.ok == small.ok && whole.output == small.output);
    Check(whole.dict.Count() == dict.Count());
    for (std::size_t i = 0; i < dict.Count(); ++i) {
        Check(whole.dict.Text(i) == dict.Text(i));
        for (int lang = 0; lang < LangKeyCount; ++lang) {
            Check(whole.dict.Entry(i).Text(lang) == dict.Entry(i).Text(lang));
        }
    }

    // Filtered by every other item's text, the outcome is the same, those
    // items are there as they were, and nothing is there that was not.
    FoldedTextFilter wanted(dict.Count(), page);
    for (std::size_t i = 0; i < dict.Count(); i += 2) {
        wanted.Add(dict.Text(i));
    }
    LoadOutcome filtered;
    options.blockSize = chunk;
    options.pieceSize = chunk;
    options.wanted = &wanted;
    Load(data, options, filtered);
    Check(filtered.ok == small.ok && filtered.output == small.output);
    for (std::size_t i = 0; i < filtered.dict.Count(); ++i) {
        std::size_t at = 0;
        Check(dict.Find(filtered.dict.Text(i), at) && dict.Text(at) == filtered.dict.Text(i));
    }
    for (std::size_t i = 0; i < dict.Count(); i += 2) {
        std::size_t at = 0;
        Check(filtered.dict.Find(dict.Text(i), at) && filtered.dict.Text(at) == dict.Text(i));
        for (int lang = 0; lang < LangKeyCount; ++lang) {
            Check(filtered.dict.Entry(at).Text(lang) == dict.Entry(i).Text(lang));
        }
    }
    return 0;
}
