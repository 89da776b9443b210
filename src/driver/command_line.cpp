#include "driver/command_line.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "common/settings.h"
#include "langkeys/lang_const.h"
#include "text/text.h"

namespace korva {
namespace {

// Reads a whole text as a non-negative 32-bit number; anything else (empty,
// stray characters, a negative number, one above the signed 32-bit range)
// gives nothing.
std::optional<std::int64_t> ParseNumber(std::string_view s) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    int base = 10;
    bool negative = false;
    if (s.starts_with("0x") || s.starts_with("0X")) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.starts_with('$') || s.starts_with('x') || s.starts_with('X')) {
        base = 16;
        s.remove_prefix(1);
    } else if (s.starts_with('+') || s.starts_with('-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : s) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > kMax + 1) { // stop before overflow; too large either way
            return std::nullopt;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value < 0 || value > kMax) {
        return std::nullopt;
    }
    return value;
}

// -O: a key name gives its language id, a number its low 16 bits; anything
// else is accepted and leaves the id as it was.
void ApplyOrigNeutralLang(std::string_view value) {
    const int key = FindLangKey(value);
    if (key >= 0) {
        OrigNeutralLangId = LangIdOf(key);
        return;
    }
    if (const auto number = ParseNumber(value)) {
        OrigNeutralLangId = static_cast<std::uint16_t>(*number & 0xFFFF);
    }
}

bool ApplyOption(std::string_view arg) {
    if (arg.size() < 2) {
        return false;
    }
    char letter = arg[1];
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    if (arg.size() != 2 && letter != 'D' && letter != 'O') {
        return false;
    }
    const std::string_view rest = arg.substr(2);
    switch (letter) {
    case 'Q':
        QuietMode = true;
        return true;
    case 'A':
        AbortOnMissing = true;
        return true;
    case 'P':
        WritePlaceholders = true;
        return true;
    case 'D':
        if (rest.empty()) {
            return false;
        }
        DataFileName = rest;
        return true;
    case 'O':
        ApplyOrigNeutralLang(rest);
        return true;
    default:
        return false;
    }
}

// "(KEY,KEY,...)": every item a key name, none twice; DestLangs then lists
// the selected keys in table order.
bool ReadDestList(std::string_view arg) {
    if (arg.size() < 2 || arg.front() != '(' || arg.back() != ')') {
        return false;
    }
    std::string_view inner = arg.substr(1, arg.size() - 2);
    for (bool last = false; !last;) {
        const std::size_t comma = inner.find(',');
        last = comma == std::string_view::npos;
        const std::string_view item = last ? inner : inner.substr(0, comma);
        const int key = FindLangKey(item);
        if (key < 0) {
            return false;
        }
        TLangKey& row = LangKeys[static_cast<std::size_t>(key)];
        if (row.Selected) {
            return false;
        }
        row.Selected = true;
        ++DestLangCount;
        if (!last) {
            inner.remove_prefix(comma + 1);
        }
    }
    std::size_t next = 0;
    for (int i = 0; i < LangKeyCount; ++i) {
        if (LangKeys[static_cast<std::size_t>(i)].Selected) {
            DestLangs[next++] = i;
        }
    }
    for (; next < DestLangs.size(); ++next) {
        DestLangs[next] = -1;
    }
    return true;
}

} // namespace

bool ParseCommandLine(const std::vector<std::string>& args) {
    ParseState state = ParseState::ExpectNeutralLang;
    if (args.empty()) {
        return false;
    }
    for (const std::string& arg : args) {
        switch (state) {
        case ParseState::Complete:
            return false;
        case ParseState::ExpectProgFile:
            ProgFileName = arg;
            state = ParseState::Complete;
            break;
        case ParseState::ExpectDestList:
            state = ParseState::ExpectProgFile;
            if (!ReadDestList(arg)) {
                return false;
            }
            break;
        case ParseState::ExpectNeutralLang:
            if (arg.starts_with('-')) {
                if (!ApplyOption(arg)) {
                    return false;
                }
            } else {
                state = ParseState::ExpectDestList;
                NeutralLangIndex = FindLangKey(arg);
                if (NeutralLangIndex == -1) {
                    return false;
                }
            }
            break;
        }
    }
    return state == ParseState::Complete;
}

} // namespace korva
