#include "datafile/data_pieces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/console.h"
#include "datafile/data_loader.h"
#include "datafile/text_filter.h"
#include "datafile_support.h"
#include "text/codepage.h"

namespace korva {
namespace {

using namespace std::string_literals;
using test::Lines;
using test::ReadFrom;

// Data files whose pieces meet at every kind of place: entries, comments
// and blanks between them, errors on either side of a cut and on the line
// of one, line ends of every kind, Ctrl-Z, the UTF-8 mark.
const std::vector<std::string> kFiles = {
    Lines({"; texts",
           "(",
           "ENGLISH,\"Open\"",
           "GERMAN,\"\326ffnen\"",
           ")",
           "",
           "(",
           "ENGLISH,\"Save\\tS\"",
           "GERMAN,\"Speichern\"",
           ")",
           "(",
           "english,\"OPEN\"",
           "GERMAN,\"Auf\"",
           ")",
           "(",
           "ENGLISH,\"Exit\"",
           ")",
           "(",
           "ENGLISH,\"open\"",
           "GERMAN,\"\"",
           "FRENCH,x",
           ")"}),
    Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")", "(", "ENGLISH,\"c\"", "(", "ENGLISH,\"d\"",
           "GERMAN,\"e\"", ")"}),
    Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")", "(", "ENGLISH,\"c\"", "GERMAN,\"d\"", ")",
           "(", "ENGLISH \"e\"", ")", "(", "ENGLISH,\"f\"", "GERMAN,\"g\"", ")"}),
    Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")", ")", "(", "ENGLISH,\"c\"", "GERMAN,\"d\"",
           ")"}),
    Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")", "(", "ENGLISH,\"c\"", "GERMAN,\"d\""}),
    "(\rENGLISH,\"a\"\rGERMAN,\"b\"\r)\r(\rENGLISH,\"c\"\rGERMAN,\"d\"\r)\r(\r(\r",
    "(\nENGLISH,\"a\"\nGERMAN,\"b\"\n)\n(\nENGLISH,\"c\"\nGERMAN,\"d\"\n)\n(\n",
    "(\r\nENGLISH,\"a\"\r\nGERMAN,\"b\"\r\n)\n(\r\nENGLISH,\"c\"\r\nGERMAN,\"d\"\r\n)\r\r\n(\r\n",
    Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")", "(", "ENGLISH,\"c\"", "GERMAN,\"d\"", ")\x1A",
           "(", "(", ")"}),
    "\xEF\xBB\xBF" + Lines({"(", "ENGLISH,\"\xC3\xA9t\xC3\xA9\"", "GERMAN,\"b\"", ")", "(",
                            "ENGLISH,\"\xC3\x89T\xC3\x89\"", "GERMAN,\"c\"", ")", "(",
                            "ENGLISH,\"\xC3(\"", ")"}),
    Lines({"(", "ENGLISH,\"a\"", "GERMAN,\"b\"", ")", " (", "ENGLISH,\"c\"", "GERMAN,\"d\"", ")",
           "(", "ENGLISH,\"e\"", "GERMAN,\"f\"", ")"}) +
        "(\r\nENGLISH,\"cut short",
};

struct Outcome {
    bool ok = false;
    std::string output;
    std::vector<std::string> texts; // each item's text, then its entry's texts
};

Outcome LoadWith(const std::string& data, CodePage page, std::size_t blockSize,
                 std::size_t pieceSize, std::size_t failAt, const FoldedTextFilter* wanted) {
    DataLoadOptions options;
    options.codePage = page;
    options.languages = test::Selection("ENGLISH", {"GERMAN", "FRENCH"});
    options.wanted = wanted;
    options.blockSize = blockSize;
    options.pieceSize = pieceSize;
    Result<DataLoadOutcome> loaded =
        LoadDataFrom(ReadFrom(data, blockSize, failAt), "K.DAT", options);
    EXPECT_TRUE(loaded.ok());
    Outcome outcome;
    if (!loaded) {
        return outcome;
    }
    outcome.ok = loaded->Loaded();
    outcome.output = loaded->syntaxError ? loaded->syntaxError->message : "";
    const TransDictionary& dict = loaded->dict;
    for (std::size_t i = 0; i < dict.Count(); ++i) {
        outcome.texts.emplace_back(dict.Text(i));
        outcome.texts.push_back(std::to_string(dict.Entry(i).Count));
        for (int lang = 0; lang < LangKeyCount; ++lang) {
            outcome.texts.emplace_back(dict.Entry(i).Text(lang));
        }
    }
    return outcome;
}

// A file parsed in pieces on two threads gives what one parse from start to
// end gives: the dictionary, the outcome, the syntax error's line. Pieces of
// one byte cut at every entry; failed reads end the file anywhere.
TEST(DataPiecesTest, PiecesOnTwoThreadsLoadWhatOneParseLoads) {
    for (const CodePage page : {CodePage::Windows1252, CodePage::Utf8}) {
        FoldedTextFilter wanted(2, page);
        wanted.Add("a");
        wanted.Add("OPEN");
        for (const std::string& data : kFiles) {
            for (std::size_t failAt = 0; failAt <= data.size() + 1; ++failAt) {
                const std::size_t fail = failAt > data.size() ? std::string::npos : failAt;
                for (const FoldedTextFilter* filter :
                     std::vector<const FoldedTextFilter*>{&wanted, nullptr}) {
                    const Outcome whole = LoadWith(data, page, 1 << 20, SIZE_MAX, fail, filter);
                    for (const std::size_t blockSize :
                         {std::size_t{1}, std::size_t{5}, std::size_t{1} << 20}) {
                        const Outcome cut = LoadWith(data, page, blockSize, 1, fail, filter);
                        const std::string where = data + " failing at " + std::to_string(fail) +
                                                  " in blocks of " + std::to_string(blockSize);
                        EXPECT_EQ(cut.ok, whole.ok) << where;
                        EXPECT_EQ(cut.output, whole.output) << where;
                        EXPECT_EQ(cut.texts, whole.texts) << where;
                    }
                }
            }
        }
    }
}

// Pieces put back together are the input up to Ctrl-Z, and each after the
// first starts with a line "(" right after a line end.
TEST(DataPiecesTest, PiecesAreCutOnlyBeforeALineThatOpensAnEntry) {
    for (const bool lfEndsLine : {false, true}) {
        for (const std::string& data : kFiles) {
            const ReadBlock read = ReadFrom(data, 3);
            PieceCutter cutter(read, 4, 1, lfEndsLine);
            std::string joined;
            DataPiece piece;
            while (cutter.Next(piece) == PieceCutter::Status::Piece) {
                if (!joined.empty()) {
                    EXPECT_TRUE(piece.bytes.starts_with("(\r") ||
                                (lfEndsLine && piece.bytes.starts_with("(\n")))
                        << piece.bytes;
                    const char before = joined.back();
                    EXPECT_TRUE(before == '\r' ||
                                (before == '\n' && (lfEndsLine || joined.ends_with("\r\n"))))
                        << joined;
                }
                joined.append(piece.bytes);
            }
            EXPECT_EQ(joined, data.substr(0, data.find('\x1A'))) << data;
        }
    }
}

} // namespace
} // namespace korva
