// Feeds arbitrary bytes to the data file loader, in reads of varying size,
// as a 1252 or a UTF-8 file, and checks what it reports against a plain
// count of the input's lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "datafile/text_filter.h"
#include "langkeys/lang_const.h"
#include "load_support.h"
#include "text/codepage.h"
#include "text/compare.h"
#include "text/utf8.h"

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

void Select(std::uint8_t choice) {
    ResetLangSelection();
    const char* const neutrals[] = {"ENGLISH", "GERMAN", "AFRIKAANS", "VIETNAMESE"};
    NeutralLangIndex = FindLangKey(neutrals[choice % 4]);
    DestLangCount = 0;
    // Bits of the choice pick some destinations, in table order.
    for (int i = 0; i < LangKeyCount; ++i) {
        if (i == FindLangKey("GERMAN") || (choice & 0x80) != 0 || (i % 8 == (choice >> 2) % 8)) {
            DestLangs[static_cast<std::size_t>(DestLangCount++)] = i;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    Select(bytes[0]);
    const bool utf8 = (bytes[1] & 0x80) != 0;
    RunCodePage = utf8 ? CodePage::Utf8 : CodePage::Windows1252;
    const std::size_t chunk = 1 + bytes[1] % 16;
    const std::string_view data(reinterpret_cast<const char*>(bytes) + 2, size - 2);

    KorvaLoad small;
    LoadWithKorva(data, chunk, chunk, small);
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
        Check(!entry.Text(NeutralLangIndex).empty());
        Check(CompareText(entry.Text(NeutralLangIndex), dict.Text(i)) == 0);
        Check(i == 0 || CompareText(dict.Text(i - 1), dict.Text(i)) < 0);
        std::size_t found = 0;
        Check(dict.Find(dict.Text(i), found) && found == i);
        for (int lang = 0; lang < LangKeyCount; ++lang) {
            const std::string_view text = entry.Text(lang);
            Check(IsWantedLang(lang) || text.empty());
            // Every text a UTF-8 run may write is valid, and is written in
            // exactly the units counted for it.
            if (utf8) {
                Check(IsValidUtf8(text));
                std::string units(2 * AnsiUtf16Length(text), '\0');
                auto* begin = reinterpret_cast<std::uint8_t*>(units.data());
                Check(PutAnsiAsUtf16Le(text, begin) == begin + units.size());
                Check(Utf16LeToAnsi({begin, units.size()}) == text);
            }
        }
    }

    // How the input arrives and how it is cut into pieces must not change
    // anything.
    KorvaLoad whole;
    LoadWithKorva(data, data.size() + 1, SIZE_MAX, whole);
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
    FoldedTextFilter wanted(dict.Count());
    for (std::size_t i = 0; i < dict.Count(); i += 2) {
        wanted.Add(dict.Text(i));
    }
    KorvaLoad filtered;
    LoadWithKorva(data, chunk, chunk, filtered, &wanted);
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
