// Feeds arbitrary bytes to korva-dat's data file reader and to korva's
// loader, and checks that they read the same file: korva's syntax error
// line is the first error of the document that korva finds with the
// languages it takes in, and without one korva files exactly the entries
// that win their groups in the document, with the same texts.
//
// Input: one byte that picks the languages, one that sizes the loader's
// reads, then the file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dat/data_document.h"
#include "dat/languages.h"
#include "langkeys/lang_const.h"
#include "load_support.h"
#include "text/codepage.h"
#include "text/compare.h"
#include "text/utf8.h"

namespace {

using namespace korva;
using namespace korva::fuzz;
using korva::dat::DataDocument;
using korva::dat::DataEntry;
using korva::dat::DataError;
using korva::dat::EntryGroup;
using korva::dat::EntryText;
using korva::dat::LanguageChoice;

// A neutral language and some destinations, in table order; with the top
// bit every language is taken in.
LanguageChoice Choose(std::uint8_t choice) {
    const char* const neutrals[] = {"ENGLISH", "GERMAN", "AFRIKAANS", "VIETNAMESE"};
    LanguageChoice c;
    c.neutral = FindLangKey(neutrals[choice % 4]);
    for (int i = 0; i < LangKeyCount; ++i) {
        if (i == FindLangKey("GERMAN") || (choice & 0x80) != 0 || i % 8 == (choice >> 2) % 8) {
            c.dests.push_back(i);
        }
    }
    return c;
}

bool Takes(const LanguageChoice& c, int lang) {
    return lang == c.neutral || std::find(c.dests.begin(), c.dests.end(), lang) != c.dests.end();
}

// As korva reads the file: the run's code page from its first bytes, reads
// of at most `chunk` bytes, pieces of that size parsed on two threads.
KorvaLoad LoadChosen(std::string_view data, std::size_t chunk, const LanguageChoice& c) {
    DataLoadOptions options;
    options.codePage = data.starts_with(kUtf8Mark) ? CodePage::Utf8 : CodePage::Windows1252;
    options.languages = dat::SelectionOf(c);
    options.blockSize = chunk;
    options.pieceSize = chunk;
    return LoadWithKorva(data, options);
}

// The line korva writes for the document: that of the first error it finds
// with the languages of `c`.
std::string KorvaLine(const DataDocument& doc, const LanguageChoice& c) {
    for (const DataError& e : doc.errors) {
        if (e.stopsKorva && (e.lang < 0 || Takes(c, e.lang))) {
            return "Syntax error in F/Line=" + std::to_string(e.line) + "\r\n";
        }
    }
    return "";
}

// The document keeps every byte: its parts put together are the file.
void CheckBytesKept(const DataDocument& doc, std::string_view data) {
    std::string again = doc.bytes.substr(0, doc.headSize);
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        again += doc.LineWithEnd(i);
    }
    again += doc.bytes.substr(doc.tailBegin);
    Check(again == data);
}

// Without a syntax error, korva's dictionary holds one item per group that
// has a filed entry: the text of the group's first filed entry, the texts
// of its winner.
void CheckFiledEntries(const DataDocument& doc, const LanguageChoice& c, const KorvaLoad& korva) {
    std::size_t filedGroups = 0;
    for (const EntryGroup& g : dat::GroupEntries(doc, c.neutral, c.dests)) {
        const DataEntry& winner = doc.entries[g.winner];
        if (!winner.FiledFor(c.neutral, c.dests)) {
            continue;
        }
        ++filedGroups;
        std::size_t index = 0;
        Check(korva.dict.Find(winner.TextOf(c.neutral)->text, index));
        for (const std::size_t member : g.members) {
            if (doc.entries[member].FiledFor(c.neutral, c.dests)) {
                Check(korva.dict.Text(index) == doc.entries[member].TextOf(c.neutral)->text);
                break;
            }
        }
        const TTransStrs& entry = korva.dict.Entry(index);
        for (int lang = 0; lang < LangKeyCount; ++lang) {
            const EntryText* t = Takes(c, lang) ? winner.TextOf(lang) : nullptr;
            Check(entry.Text(lang) == (t != nullptr ? std::string_view(t->text) : ""));
        }
    }
    Check(korva.dict.Count() == filedGroups);
    Check(korva.ok == (filedGroups > 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const LanguageChoice chosen = Choose(bytes[0]);
    const std::size_t chunk = 1 + bytes[1] % 64;
    const std::string_view data(reinterpret_cast<const char*>(bytes) + 2, size - 2);

    const DataDocument doc = dat::ParseDataDocument(std::string(data), "F");
    CheckBytesKept(doc, data);
    for (std::size_t i = 1; i < doc.errors.size(); ++i) {
        Check(doc.errors[i - 1].line <= doc.errors[i].line);
    }
    Check(doc.errors.empty() || doc.errors.back().line <= doc.lines.size());

    LanguageChoice all = chosen;
    all.dests.clear();
    for (int i = 0; i < LangKeyCount; ++i) {
        all.dests.push_back(i);
    }
    for (const LanguageChoice& c : {all, chosen}) {
        const KorvaLoad korva = LoadChosen(data, chunk, c);
        Check(korva.console == KorvaLine(doc, c));
        if (korva.console.empty()) {
            CheckFiledEntries(doc, c, korva);
        } else {
            Check(!korva.ok);
        }
    }
    return 0;
}
