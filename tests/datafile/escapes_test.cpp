#include "datafile/escapes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korva {
namespace {

using namespace std::string_literals;

struct EscapeCase {
    std::string quoted; // the characters between the quotes
    std::string text;
};

TEST(Escapes, ResolveAsTheScannerStatesSay) {
    const std::vector<EscapeCase> cases = {
        {"plain text", "plain text"},
        {R"(\x41\x42)", "AB"},
        {R"(abc\x4)", "abc"},   // cut short after one digit
        {R"(abc\x)", "abc"},    // cut short after the x
        {R"(abc\)", "abc"},     // a backslash as last character
        {R"(\)", ""},           // ... and as the only one
        {R"(\qn)", "qn"},       // unknown letter stands for itself
        {R"(\\n)", "\\n"},      // the pair gives one backslash
        {R"(\x\n)", "\\n"},     // unfinished escape dropped, backslash kept
        {R"(\x4\n)", "\\n"},    // the same after one digit
        {R"(\x5cn)", "\\n"},    // an escape's backslash starts nothing
        {R"(\x\x41)", "\\x41"}, // nor does the kept one
        {R"(\a\b\t\n\v\f\r)", "\a\b\t\n\v\f\r"},
        {R"(\N\X41\T)", "NX41T"}, // escape letters are lower case only
        {R"(\x00)", "\0"s},       // NUL stays in the text
        {R"(a\x00b)", "a\0b"s},
        {R"(\xfF\xA0)", "\xFF\xA0"}, // digits in either case
        {R"(\x414)", "A4"},          // exactly two characters after x
        {R"(\")", "\""},
        {R"(say \"hi\")", "say \"hi\""},
    };
    std::string out = "left over";
    for (const EscapeCase& c : cases) {
        ASSERT_TRUE(ResolveEscapes(c.quoted, out)) << c.quoted;
        EXPECT_EQ(out, c.text) << c.quoted;
    }
}

TEST(Escapes, HexEscapesNeedTwoHexDigits) {
    for (const std::string quoted :
         {R"(\x4G)", R"(\xG4)", R"(\xg1)", R"(ok\x 1)", R"(\x"")", R"(\x-1)"}) {
        std::string out;
        EXPECT_FALSE(ResolveEscapes(quoted, out)) << quoted;
    }
}

} // namespace
} // namespace korva
