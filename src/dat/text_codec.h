#pragma once

#include <string>
#include <string_view>

#include "text/codepage.h"

namespace korva::dat {

// A text as a data file line carries it, quotes included: resolving the
// escapes of what lies between the quotes gives the text back byte for byte,
// in a Windows-1252 file and in a UTF-8 one alike. The one exception is the
// empty text, which is written "" and so reads back as a translation that is
// present but empty.
std::string QuoteDataText(std::string_view text);

// Windows-1252 bytes as UTF-8; every byte has a character.
std::string Cp1252ToUtf8(std::string_view text);

// UTF-8 as Windows-1252; false when a character has no byte there, or the
// text is not valid UTF-8.
bool Utf8ToCp1252(std::string_view text, std::string& out);

// A text of the given code page in UTF-8, for the console and PO files.
std::string ToUtf8(std::string_view text, CodePage codePage);

// A text as a message shows it: in UTF-8 and quoted as the data file writes
// it, so that no character of it can end the message's line.
std::string Shown(std::string_view text, CodePage codePage);

} // namespace korva::dat
