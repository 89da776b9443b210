// Feeds arbitrary bytes to the data file loader, in reads of varying size,
// as a 1252 or a UTF-8 file, and checks what it reports against a plain
// count of the input's lines.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>

#include "common/console.h"
#include "datafile/data_loader.h"
#include "datafile/text_filter.h"
#include "langkeys/lang_const.h"
#include "text/codepage.h"
#include "text/compare.h"
#include "text/utf8.h"

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

struct LoadOutcome {
    bool ok = false;
    std::string output;
    TransDictionary dict;
};

// Reads of at most `chunk` bytes; pieces of at least `piece` bytes, parsed
// on two threads once there are two.
void Load(std::string_view data, std::size_t chunk, std::size_t piece, LoadOutcome& outcome,
          const FoldedTextFilter* wanted = nullptr) {
    std::ostringstream out;
    SetConsole(out);
    std::size_t pos = 0;
    const ReadBlock read = [&](char* buffer, std::size_t size) -> long long {
        const std::size_t n = std::min(size, data.size() - pos);
        std::memcpy(buffer, data.data() + pos, n);
        pos += n;
        return static_cast<long long>(n);
    };
    outcome.ok = LoadDataFrom(read, "F", outcome.dict, chunk, wanted, piece);
    outcome.output = out.str();
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

    LoadOutcome small;
    Load(data, chunk, chunk, small);
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
    LoadOutcome whole;
    Load(data, data.size() + 1, SIZE_MAX, whole);
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
    FoldedTextFilter wanted(dict.Count());
    for (std::size_t i = 0; i < dict.Count(); i += 2) {
        wanted.Add(dict.Text(i));
    }
    LoadOutcome filtered;
    Load(data, chunk, chunk, filtered, &wanted);
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
