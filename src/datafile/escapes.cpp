#include "datafile/escapes.h"

#include "text/text.h"
#include "text/utf8.h"

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

enum class ScanState { Plain, AfterBackslash, HexNoDigit, HexOneDigit };

} // namespace

bool ResolveEscapes(std::string_view quoted, std::string& out, bool utf8) {
    out.clear();
    out.reserve(quoted.size());
    ScanState state = ScanState::Plain;
    char firstDigit = 0;
    for (const char c : quoted) {
        switch (state) {
        case ScanState::Plain:
            if (c == '\\') {
                state = ScanState::AfterBackslash;
            } else {
                out += c;
            }
            break;
        case ScanState::AfterBackslash:
            if (c == 'x') {
                state = ScanState::HexNoDigit;
            } else {
                out += SimpleEscape(c);
                state = ScanState::Plain;
            }
            break;
        case ScanState::HexNoDigit:
            // A backslash cuts the escape short and is kept as it is; it
            // starts no escape of its own.
            if (c == '\\') {
                out += c;
                state = ScanState::Plain;
            } else {
                firstDigit = c;
                state = ScanState::HexOneDigit;
            }
            break;
        case ScanState::HexOneDigit:
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
            state = ScanState::Plain;
            break;
        }
    }
    // An escape cut short by the end of the text leaves nothing behind.
    return true;
}

} // namespace korva
