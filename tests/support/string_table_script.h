#pragma once

// A resource script whose string tables cover what the reader must get
// right on real compiler output; see the comments in the script.

namespace korva::test {

inline constexpr const char* kStringTableScript = R"RC(
// Blocks are compiled out of order (3, then 1, then 2); the image lists them
// by id.
STRINGTABLE
LANGUAGE 0, 0
BEGIN
  33 "Three"
END

// Block 1: an empty slot before a non-empty one, trailing empty slots.
STRINGTABLE
LANGUAGE 0, 0
BEGIN
  1 "Open"
  3 "Save"
END

// Block 2: all 16 slots in use.
STRINGTABLE
LANGUAGE 0, 0
BEGIN
  16 "s0"
  17 "s1"
  18 "s2"
  19 "s3"
  20 "s4"
  21 "s5"
  22 "s6"
  23 "s7"
  24 "s8"
  25 "s9"
  26 "s10"
  27 "s11"
  28 "s12"
  29 "s13"
  30 "s14"
  31 "s15"
END

// Block 4 in two languages (0x0407 compiled first), with characters that
// Windows-1252 cannot hold and a NUL inside a string.
STRINGTABLE
LANGUAGE 0x07, 0x01
BEGIN
  49 L"\x00D6ffnen"
END
STRINGTABLE
LANGUAGE 0, 0
BEGIN
  48 "Open"
  50 L"Omega \x03A9 Euro \x20AC"
  51 "ab\0cd"
END

// Block 5 only in 0x0409.
STRINGTABLE
LANGUAGE 0x09, 0x01
BEGIN
  64 "US only"
END

// A resource of another type, with a string name.
MYDATA RCDATA { "abc" }
)RC";

// A script without string tables.
inline constexpr const char* kNoStringTableScript = R"RC(
MYDATA RCDATA { "abc" }
)RC";

} // namespace korva::test
