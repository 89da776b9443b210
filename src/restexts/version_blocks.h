#pragma once

// The blocks of a VS_VERSIONINFO as the version format reads them. A
// VS_VERSIONINFO is a tree of blocks, each wLength, wValueLength, wType, a
// zero-ended UTF-16 key, padding to four bytes, the value, padding, and its
// children up to wLength. Its shape is fixed: the root holds the fixed file
// info and the StringFileInfo and VarFileInfo blocks; StringFileInfo holds
// string tables, which hold the strings; VarFileInfo holds the vars. The
// reader follows those four levels and keeps anything else as bytes, so no
// nesting in the data can make it go deeper.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "strtables/pe/checked_reader.h"

namespace korva::res::version {

inline constexpr std::uint16_t kTextType = 1;

// Upper-case hex digits, at least `width` of them.
std::string Hex(std::uint64_t value, int width = 0);
// Keys are compared as the system's lookup compares them, without regard to
// the case of ASCII letters.
bool SameKey(std::u16string_view a, std::u16string_view b);
// A key for a message; keys that matter are ASCII.
std::string Narrow(std::u16string_view ascii);

// One block's header, its place in the data and where its value starts.
struct Block {
    std::size_t start = 0;
    std::size_t end = 0; // start + wLength
    std::uint16_t valueLength = 0;
    std::uint16_t type = 0;
    std::u16string key;
    std::size_t valueStart = 0;
};

struct VersionString {
    Block block;
    std::u16string value;
};

struct StringTable {
    Block block;
    pe::Bytes value;
    std::vector<VersionString> strings;
};

enum class ChildKind : std::uint8_t { StringFileInfo, VarFileInfo, Other };

// A var, or an unknown child of the root, written back as it was; the
// Translation var is written anew.
struct Var {
    Block block;
    bool isTranslation = false;
};

struct TopChild {
    ChildKind kind = ChildKind::Other;
    Block block;
    pe::Bytes value;
    std::vector<StringTable> tables; // StringFileInfo
    std::vector<Var> vars;           // VarFileInfo
};

// The whole resource. Every Block and span points into the bytes read.
struct Tree {
    Block root;
    pe::Bytes fixedInfo;
    std::vector<TopChild> children;
    std::optional<std::size_t> stringInfo; // the first StringFileInfo in children
};

Result<Tree> ReadTree(pe::Bytes data);

} // namespace korva::res::version
