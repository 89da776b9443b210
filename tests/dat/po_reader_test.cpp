// The PO reader against gettext's grammar: one row per shape, the messages
// it reads or the file, line and reason it refuses with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dat/po_file.h"

namespace korva::dat {
namespace {

// A message in one line: "[context] msgid / plural = str0 | str1 {flags}".
std::string Summary(const PoMessage& m) {
    std::string out = m.context ? "[" + *m.context + "] " : "";
    out += m.msgid;
    if (m.msgidPlural) {
        out += " / " + *m.msgidPlural;
    }
    out += " =";
    for (std::size_t i = 0; i < m.msgstr.size(); ++i) {
        out += (i == 0 ? " " : " | ") + m.msgstr[i];
    }
    for (const std::string& flag : m.flags) {
        out += " {" + flag + "}";
    }
    return out;
}

const std::string kLong(40, 'x');

struct Row {
    const char* what;
    std::string po;
    // The messages read, each as Summary gives it, or the refusal.
    std::vector<std::string> messages;
    std::string refusal;
};

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        // What was a double free: the string the lone line continued had
        // gone with the message an obsolete line threw away. The strings are
        // too long to live inside a std::string object.
        {"msgctxt, #~ msgid, a string",
         "msgctxt \"" + kLong + "\"\n#~ msgid \"b\"\n\"" + kLong + "\"\n",
         {},
         "dir/de.po:2: inconsistent use of #~ in the message at line 1"},
        {"msgid_plural, #~ msgid, a string",
         "msgid \"a\"\nmsgid_plural \"" + kLong + "\"\n#~ msgid \"b\"\n\"" + kLong + "\"\n",
         {},
         "dir/de.po:3: the message at line 1 has no msgstr[0]"},
        {"msgctxt, #~|, a string",
         "msgctxt \"a\"\n#~| msgid \"b\"\n\"c\"\n",
         {},
         "dir/de.po:2: the msgctxt at line 1 has no msgid"},
        {"a string after a whole obsolete message",
         "#~ msgid \"b\"\n#~ msgstr \"x\"\n\"c\"\n",
         {},
         "dir/de.po:3: inconsistent use of #~ in the message at line 1"},
        {"an obsolete line inside a message",
         "msgid \"a\"\n#~ msgstr \"b\"\n",
         {},
         "dir/de.po:2: inconsistent use of #~ in the message at line 1"},
        {"obsolete messages between messages, their comments with them",
         "msgid \"a\"\nmsgstr \"A\"\n\n# old\n#, fuzzy\n#~| msgid \"prev\"\n#~ msgctxt \"c\"\n"
         "#~ msgid \"b\"\n#~ \"more\"\n#~ msgid_plural \"bs\"\n#~ msgstr[0] \"B\"\n"
         "#~ msgstr[1] \"Bs\"\n\n#~ msgid \"d\"\n#~ msgstr \"D\"\nmsgid \"e\"\nmsgstr \"E\"\n",
         {"a = A", "e = E"},
         {}},
        {"an obsolete message by the same rules",
         "#~ msgid \"a\"\n#~ msgstr \"b\"\n#~ msgstr \"c\"\n",
         {},
         "dir/de.po:3: a second msgstr for the message at line 1"},
        {"msgctxt kept, the same msgid without it apart",
         "msgctxt \"menu\"\nmsgid \"File\"\nmsgstr \"Datei\"\n\nmsgid \"File\"\nmsgstr \"Akte\"\n"
         "msgctxt \"\"\nmsgid \"\"\nmsgstr \"empty context\"\n",
         {"[menu] File = Datei", "File = Akte", "[]  = empty context"},
         {}},
        {"two msgctxt",
         "msgctxt \"a\"\nmsgctxt \"b\"\nmsgid \"x\"\nmsgstr \"y\"\n",
         {},
         "dir/de.po:2: the msgctxt at line 1 has no msgid"},
        {"msgctxt at the end",
         "msgctxt \"a\"\n\n",
         {},
         "dir/de.po:2: the msgctxt at line 1 has no msgid"},
        {"msgctxt, then msgstr",
         "msgctxt \"a\"\nmsgstr \"b\"\n",
         {},
         "dir/de.po:2: msgstr before msgid"},
        {"two msgstr",
         "msgid \"a\"\nmsgstr \"b\"\nmsgstr \"c\"\n",
         {},
         "dir/de.po:3: a second msgstr for the message at line 1"},
        {"plural forms in order, continued, 00 as 0",
         "msgid \"a\"\nmsgid_plural \"as\"\nmsgstr[00] \"x\"\n\"y\"\nmsgstr[1] \"z\"\n",
         {"a / as = xy | z"},
         {}},
        {"msgstr[1] before msgstr[0]",
         "msgid \"a\"\nmsgid_plural \"as\"\nmsgstr[1] \"x\"\nmsgstr[0] \"y\"\n",
         {},
         "dir/de.po:3: msgstr[1] where msgstr[0] belongs"},
        {"a plural form left out",
         "msgid \"a\"\nmsgid_plural \"as\"\nmsgstr[0] \"x\"\nmsgstr[2] \"y\"\n",
         {},
         "dir/de.po:4: msgstr[2] where msgstr[1] belongs"},
        {"a plural form twice",
         "msgid \"a\"\nmsgid_plural \"as\"\nmsgstr[0] \"x\"\nmsgstr[0] \"y\"\n",
         {},
         "dir/de.po:4: msgstr[0] where msgstr[1] belongs"},
        {"msgstr in a plural message",
         "msgid \"a\"\nmsgid_plural \"as\"\nmsgstr \"x\"\n",
         {},
         "dir/de.po:3: msgstr in the plural message at line 1, where msgstr[0] belongs"},
        {"msgstr after the plural forms",
         "msgid \"a\"\nmsgid_plural \"as\"\nmsgstr[0] \"x\"\nmsgstr \"y\"\n",
         {},
         "dir/de.po:4: msgstr in the plural message at line 1, where msgstr[1] belongs"},
        {"msgstr[0] without msgid_plural",
         "msgid \"a\"\nmsgstr[0] \"x\"\n",
         {},
         "dir/de.po:2: msgstr[0] in the message at line 1, which has no msgid_plural"},
        {"msgid_plural without forms",
         "msgid \"a\"\nmsgid_plural \"as\"\n",
         {},
         "dir/de.po:2: the message at line 1 has no msgstr[0]"},
        {"two msgid_plural",
         "msgid \"a\"\nmsgid_plural \"b\"\nmsgid_plural \"c\"\n",
         {},
         "dir/de.po:3: a second msgid_plural for the message at line 1"},
        {"msgid_plural after msgstr",
         "msgid \"a\"\nmsgstr \"b\"\nmsgid_plural \"c\"\n",
         {},
         "dir/de.po:3: msgid_plural after the msgstr of the message at line 1"},
        {"msgstr[x]",
         "msgid \"a\"\nmsgid_plural \"b\"\nmsgstr[x] \"c\"\n",
         {},
         "dir/de.po:3: unknown keyword 'msgstr[x]'"},
        {"a comment inside a message",
         "msgid \"a\"\n#. note\nmsgstr \"b\"\n",
         {},
         "dir/de.po:2: the message at line 1 has no msgstr"},
        {"\\x takes every hex digit",
         "msgid \"\\x41\\x0042g\\x4a\"\nmsgstr \"\\xC3\\xa4\"\n",
         {"ABgJ = \xC3\xA4"},
         {}},
        {"\\x4142",
         "msgid \"a\"\nmsgstr \"\\x4142\"\n",
         {},
         "dir/de.po:2: a hexadecimal escape above \\xFF"},
        {"a long \\x",
         "msgid \"a\"\nmsgstr \"\\x" + std::string(40, 'f') + "\"\n",
         {},
         "dir/de.po:2: a hexadecimal escape above \\xFF"},
        {"\\x without digits",
         "msgid \"a\"\nmsgstr \"\\xg\"\n",
         {},
         "dir/de.po:2: \\x without hexadecimal digits"},
        {"octal, three digits at most",
         "msgid \"\\101\\0101\\7\"\nmsgstr \"x\"\n",
         {"A\b1\a = x"},
         {}},
        {"octal above \\377",
         "msgid \"a\"\nmsgstr \"\\400\"\n",
         {},
         "dir/de.po:2: an octal escape above \\377"},
        {"the C escapes gettext knows",
         "msgid \"\\n\\t\\r\\a\\b\\f\\v\\\\\\\"\"\nmsgstr \"x\"\n",
         {"\n\t\r\a\b\f\v\\\" = x"},
         {}},
        {"\\? is no escape to gettext",
         "msgid \"a\"\nmsgstr \"\\?\"\n",
         {},
         "dir/de.po:2: unknown escape \\?"},
        {"\\' is no escape to gettext",
         "msgid \"a\"\nmsgstr \"\\'\"\n",
         {},
         "dir/de.po:2: unknown escape \\'"},
        {"a NUL",
         "msgid \"a\"\nmsgstr \"x\\0y\"\n",
         {},
         "dir/de.po:2: the message at line 1 is not valid UTF-8 text"},
        {"a context that is not UTF-8",
         "msgctxt \"\\xFF\"\nmsgid \"a\"\nmsgstr \"b\"\n\n",
         {},
         "dir/de.po:4: the message at line 2 is not valid UTF-8 text"},
        {"a string cut by the line end",
         "msgid \"a\nmsgstr \"b\"\n",
         {},
         "dir/de.po:1: the string has no closing quote"},
        {"a backslash at the line end",
         "msgid \"a\"\nmsgstr \"b\\\n",
         {},
         "dir/de.po:2: the string has no closing quote"},
        {"an escape gettext does not know",
         "\n\nmsgid \"a\"\nmsgstr \"\\q\"\n",
         {},
         "dir/de.po:4: unknown escape \\q"},
        {"comments attached to what follows, CR LF ends, blanks around",
         "# translator\r\n  #. note  \r\n#: a.exe:1\tb.exe:2\r\n#, fuzzy, c-format\r\n"
         "\tmsgid \"a\"  \r\nmsgstr \"b\"\r\n",
         {"a = b {fuzzy} {c-format}"},
         {}},
        {"an empty file", "", {}, {}},
        {"comments only", "# just\n#. this\n", {}, {}},
    };
    return rows;
}

TEST(PoReader, ReadsOrRefusesEachShapeAsGettextDoes) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.what);
        const Result<std::vector<PoMessage>> read = ParsePo(row.po, "dir/de.po");
        if (!row.refusal.empty()) {
            ASSERT_FALSE(read) << (read ? std::to_string(read->size()) + " messages" : "");
            EXPECT_EQ(read.error().message, row.refusal);
            continue;
        }
        ASSERT_TRUE(read) << read.error().message;
        std::vector<std::string> summaries;
        for (const PoMessage& m : *read) {
            summaries.push_back(Summary(m));
        }
        EXPECT_EQ(summaries, row.messages);
    }
}

TEST(PoReader, KeepsCommentsWithTheirMessageAndLines) {
    const Result<std::vector<PoMessage>> read =
        ParsePo("#. one\n#: a.exe:1\tb.exe:MENU/2 \n#, fuzzy,,c-format\nmsgid \"a\"\nmsgstr \"b\"\n"
                "\n#. obsolete\n#~ msgid \"o\"\n#~ msgstr \"p\"\n\nmsgctxt \"c\"\nmsgid \"x\"\n"
                "msgstr \"y\"\n",
                "t.po");
    ASSERT_TRUE(read) << read.error().message;
    ASSERT_EQ(read->size(), 2U);
    const PoMessage& first = (*read)[0];
    EXPECT_EQ(first.line, 4U);
    EXPECT_EQ(first.extractedComments, std::vector<std::string>{"one"});
    EXPECT_EQ(first.references, (std::vector<std::string>{"a.exe:1", "b.exe:MENU/2"}));
    EXPECT_EQ(first.flags, (std::vector<std::string>{"fuzzy", "c-format"}));
    const PoMessage& second = (*read)[1];
    EXPECT_EQ(second.line, 12U);                   // of its msgid, not its msgctxt
    EXPECT_TRUE(second.extractedComments.empty()); // the obsolete message's went with it
}

// Each message written back with PoField reads back the same, whatever
// layout and escapes the file gave it.
TEST(PoReader, WhatItReadsWritesBackTheSame) {
    const std::string po = "msgid \"\"\n\"a\\x0a\" \n\"b\"\nmsgstr \"\\101\\tc\"\n\n"
                           "msgctxt \"m\"\nmsgid \"one\"\nmsgid_plural \"\\\"many\\\"\"\n"
                           "msgstr[0] \"eins\\n\"\nmsgstr[1] \"\"\n\"viele\\r\\n\"\n";
    const Result<std::vector<PoMessage>> read = ParsePo(po, "t.po");
    ASSERT_TRUE(read) << read.error().message;
    std::string written;
    for (const PoMessage& m : *read) {
        if (m.context) {
            written += PoField("msgctxt", *m.context);
        }
        written += PoField("msgid", m.msgid);
        if (m.msgidPlural) {
            written += PoField("msgid_plural", *m.msgidPlural);
            for (std::size_t i = 0; i < m.msgstr.size(); ++i) {
                written += PoField("msgstr[" + std::to_string(i) + "]", m.msgstr[i]);
            }
        } else {
            written += PoField("msgstr", m.msgstr.front());
        }
    }
    const Result<std::vector<PoMessage>> again = ParsePo(written, "t.po");
    ASSERT_TRUE(again) << again.error().message << "\n" << written;
    ASSERT_EQ(again->size(), read->size());
    for (std::size_t i = 0; i < read->size(); ++i) {
        EXPECT_EQ(Summary((*again)[i]), Summary((*read)[i]));
    }
    EXPECT_EQ(Summary((*read)[0]), "a\nb = A\tc");
}

} // namespace
} // namespace korva::dat
