// Feeds arbitrary bytes to the data file loader, in reads of varying size,
// as a 1252 or a UTF-8 file, and checks what it reports against a plain
// count of the input's lines.

#include "datafile/data_loader.h"
#include "datafile/text_filter.h"
#include "langkeys/lang_const.h"
#include "langkeys/lang_selection.h"
#include "load_support.h"
#include "text/codepage.h"
#include "text/compare.h"
#include "text/utf8.h"
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using namespace korva;
using namespace korva::fuzz;

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

    options.blockSize = chunk;
    options.pieceSize = chunk;
    const KorvaLoad small = LoadWithKorva(data, options);
    const std::string prefix = "Syntax error in F/Line=";
    if (!small.console.empty()) {
        Check(!small.ok);
        Check(small.console.rfind(prefix, 0) == 0);
        Check(small.console.size() > prefix.size() + 2);
        Check(small.console.substr(small.console.size() - 2) == "\r\n");
        const std::string number =
            small.console.substr(prefix.size(), small.console.size() - prefix.size() - 2);
        Check(number.find_first_not_of("0123456789") == std::string::npos && number[0] != '0');
        const std::uint64_t line = std::stoull(number);
        Check(line >= 1 && line <= CountLines(data, utf8));
    }
    Check(small.ok == (small.console.empty() && small.dict.Count() > 0));

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
    options.blockSize = data.size() + 1;
    options.pieceSize = SIZE_MAX;
    const KorvaLoad whole = LoadWithKorva(data, options);
    Check(whole.ok == small.ok && whole.console == small.console);
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
    options.blockSize = chunk;
    options.pieceSize = chunk;
    options.wanted = &wanted;
    const KorvaLoad filtered = LoadWithKorva(data, options);
    Check(filtered.ok == small.ok && filtered.console == small.console);
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
