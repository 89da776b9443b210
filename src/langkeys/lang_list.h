#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace korva {

// The language arguments of a command line, read the same way by korva and
// korva-dat. The reasons name the argument; `keysListedBy`, when given, says
// where the key names are listed: "'X' is not a language key or tag (<it>
// lists them)".

// A key name or a language tag, in any case, taken as it stands
// (FindLanguage).
Result<int> ParseLangKey(std::string_view name, std::string_view keysListedBy = {});

// "(KEY,KEY,...)": one or more key names or tags between parentheses,
// separated by commas, without blanks, none twice (in whatever case or
// spelling). The keys in the table's order, whatever the order of the list,
// then the tags in the list's order.
Result<std::vector<int>> ParseDestList(std::string_view list, std::string_view keysListedBy = {});

// How the number of -O is read.
enum class LangIdNumber : std::uint8_t {
    // As korva's command line reads an integer: spaces before it, a sign
    // before a decimal number, anything up to the largest signed 32-bit
    // value, of which the low 16 bits count; a negative value names nothing.
    AnyInt32,
    // A language id as written: no sign, at most 0xFFFF.
    Exact16Bit,
};

// The language id the value of -O names: a key name (its language id), a
// number, decimal or hexadecimal after "$", "x", "X", "0x" or "0X", or a
// language tag (its full id: en-US is 0x0409), tried in that order.
Result<std::uint16_t> ParseOrigLangId(std::string_view value, LangIdNumber number);

} // namespace korva
