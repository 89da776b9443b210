#include "datafile/data_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "langkeys/lang_const.h"

namespace korva {
namespace {

using namespace std::string_literals;
using Kind = DataLineKind;
using Fault = TextLineFault;

struct LineRow {
    std::string raw;
    Kind kind;
    Fault fault = Fault::None; // text lines: the first check that fails
    std::string key = {};      // text lines: the trimmed key part
    std::string text = {};     // text lines without a fault: the text
    bool utf8 = false;
};

// A text line read as a reader that takes every language in reads it: the
// checks in their order, each stopping the line.
Fault ReadWholeTextLine(std::string_view line, bool utf8, std::string& key, std::string& text) {
    const TextLineParts parts = SplitTextLine(line);
    key = parts.key;
    if (parts.fault != Fault::None) {
        return parts.fault;
    }
    if (FindLangKey(parts.key) < 0) {
        return Fault::UnknownKey;
    }
    std::string scratch;
    std::string_view read;
    const Fault fault = ReadTextPart(parts.textPart, utf8, scratch, read);
    text = read;
    return fault;
}

TEST(DataLine, EveryKindOfLineAndEveryFaultOfATextLine) {
    const std::vector<LineRow> rows = {
        {"", Kind::Blank},
        {" \t\x01\x1F\0 "s, Kind::Blank},
        {"  ; a comment, \"quoted\"", Kind::Comment},
        {"\t;", Kind::Comment},
        {" ( ", Kind::EntryStart},
        {"\x7)\x20", Kind::EntryEnd},
        // "(" or ")" with anything more is a text line.
        {"((", Kind::TextLine, Fault::NoComma},
        {"( ENGLISH,\"a\"", Kind::TextLine, Fault::UnknownKey, "( ENGLISH"},
        {"ENGLISH \"a\"", Kind::TextLine, Fault::NoComma},
        {"ENGLISH,  ", Kind::TextLine, Fault::NothingAfterComma},
        {",\"a\"", Kind::TextLine, Fault::UnknownKey, ""},
        {"KLINGON,\"a\"", Kind::TextLine, Fault::UnknownKey, "KLINGON"},
        {"ENG LISH,\"a\"", Kind::TextLine, Fault::UnknownKey, "ENG LISH"},
        {"GERMAN,a", Kind::TextLine, Fault::NotQuoted, "GERMAN"},
        {"GERMAN,\"", Kind::TextLine, Fault::NotQuoted, "GERMAN"},
        {"GERMAN,\"a", Kind::TextLine, Fault::NotQuoted, "GERMAN"},
        {"GERMAN,a\"", Kind::TextLine, Fault::NotQuoted, "GERMAN"},
        {"GERMAN,\"\\x4G\"", Kind::TextLine, Fault::BadEscape, "GERMAN"},
        {" english\x01, \t\"Open\" ", Kind::TextLine, Fault::None, "english", "Open"},
        {"GERMAN,\"a,b\"", Kind::TextLine, Fault::None, "GERMAN", "a,b"},
        {"GERMAN,\"say \"hi\"\"", Kind::TextLine, Fault::None, "GERMAN", "say \"hi\""},
        {"GERMAN,\"\"", Kind::TextLine, Fault::None, "GERMAN", EmptyTextMarker},
        {"GERMAN,\"\\x00\"", Kind::TextLine, Fault::None, "GERMAN", "\0"s},
        {"GERMAN,\"\\\"", Kind::TextLine, Fault::None, "GERMAN", ""},
        {"GERMAN,\"\\x41\\tB\"", Kind::TextLine, Fault::None, "GERMAN", "A\tB"},
        {"GERMAN,\"\\xC4\"", Kind::TextLine, Fault::None, "GERMAN", "\xC4"},
        {"GERMAN,\"\\xC4\"", Kind::TextLine, Fault::None, "GERMAN", "\xC3\x84", true},
    };
    for (const LineRow& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.raw));
        const DataLine line = ClassifyDataLine(row.raw);
        EXPECT_EQ(line.kind, row.kind);
        if (line.kind != Kind::TextLine) {
            continue;
        }
        std::string key;
        std::string text;
        EXPECT_EQ(ReadWholeTextLine(line.trimmed, row.utf8, key, text), row.fault);
        if (row.fault == Fault::None || row.fault >= Fault::UnknownKey) {
            EXPECT_EQ(key, row.key);
        }
        if (row.fault == Fault::None) {
            EXPECT_EQ(text, row.text);
        }
    }
}

// A reader that does not take a language in stops after the key, so the
// text part after the first comma is left as it stands; a comment reaches
// its reader trimmed.
TEST(DataLine, TheTextPartIsCutButNotReadBeforeTheKeyIsChecked) {
    EXPECT_EQ(ClassifyDataLine("\t ;@ unused \r").trimmed, ";@ unused");
    const TextLineParts parts = SplitTextLine("SPANISH , not quoted, \\x4G");
    EXPECT_EQ(parts.fault, Fault::None);
    EXPECT_EQ(parts.key, "SPANISH");
    EXPECT_EQ(parts.textPart, " not quoted, \\x4G");
}

} // namespace
} // namespace korva
