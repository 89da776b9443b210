#include "datafile/escapes.h"

#include "common/text.h"
#include "common/utf8.h"

namespace korva {
namespace {

// The escape letters are lower case only; anything else after a backslash
// stands for itself.
char SimpleEscape(char c) {
    switch (c) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 't':
        return '\t';
    case 'n':
        return '\n';
    case 'v':
        return '\v';
    case 'f':
        return '\f';
    case 'r':
        return '\r';
    default:
        return c;
    }
}

enum class TScan { Plain, AfterBackslash, HexNoDigit, HexOneDigit };

} // namespace

bool ResolveEscapes(std::string_view quoted, std::string& out, bool utf8) {
    out.clear();
    out.reserve(quoted.size());
    TScan state = TScan::Plain;
    char firstDigit = 0;
    for (const char c : quoted) {
        switch (state) {
        case TScan::Plain:
            if (c == '\\') {
                state = TScan::AfterBackslash;
            } else {
                out += c;
            }
            break;
        case TScan::AfterBackslash:
            if (c == 'x') {
                state = TScan::HexNoDigit;
            } else {
                out += SimpleEscape(c);
                state = TScan::Plain;
            }
            break;
        case TScan::HexNoDigit:
            // A backslash cuts the escape short and is kept as it is; it
            // starts no escape of its own.
            if (c == '\\') {
                out += c;
                state = TScan::Plain;
            } else {
                firstDigit = c;
                state = TScan::HexOneDigit;
            }
            break;
        case TScan::HexOneDigit:
            if (c == '\\') {
                out += c;
            } else {
                const int high = HexDigitValue(firstDigit);
                const int low = HexDigitValue(c);
                if (high < 0 || low < 0) {
                    return false;
                }
                const auto value = static_cast<char32_t>(high * 16 + low);
                if (utf8) {
                    AppendUtf8(value, out);
                } else {
                    out += static_cast<char>(value);
                }
            }
            state = TScan::Plain;
            break;
        }
    }
    // An escape cut short by the end of the text leaves nothing behind.
    return true;
}

} // namespace korva
