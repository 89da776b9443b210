#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "langkeys/lang_selection.h"
#include "restexts/resource_kinds.h"

namespace korva::dat {

// The languages of a korva run: what its NeutralLang, (DestLang,...) and -O
// arguments say.
struct LanguageChoice {
    int neutral = -1;                      // language key index
    std::vector<int> dests;                // key indices in the key table's order
    std::optional<std::uint16_t> original; // -O; the neutral language id 0 without it
    // --resources: the kinds of resource korva is to translate.
    res::ResourceKinds kinds = res::ResourceKinds::StringsOnly();

    std::uint16_t OriginalLangId() const { return original.value_or(0); }
    // The destinations whose texts come from translations: all but the
    // neutral language, whose text is the entry's own.
    std::vector<int> TranslatedDests() const;
};

// A language key name, in any case.
Result<int> ParseLangKey(std::string_view name);

// "(KEY,KEY,...)" as korva takes it: no blanks, no key twice, no two keys
// that korva would write under one language id.
Result<std::vector<int>> ParseDestList(std::string_view list);

// The value of -O: a key name or a number (decimal, or hex after $, x or 0x).
Result<std::uint16_t> ParseOriginalLang(std::string_view value);

// The language line a data file made by extract carries, and its reading:
//   ;@ languages: [-O0x0409] [--resources=LIST] ENGLISH (ENGLISH,FRENCH,GERMAN)
// --resources stands there only when it asks for more than string tables.
inline constexpr std::string_view kLanguagesPrefix = ";@ languages:";
inline constexpr std::string_view kResourcesOption = "--resources=";
std::string LanguagesLine(const LanguageChoice& choice);
// The choice a trimmed comment line records, when it is a language line.
std::optional<Result<LanguageChoice>> ReadLanguagesLine(std::string_view line);

// "ENGLISH (ENGLISH,GERMAN)", as korva's command line would give them.
std::string DescribeChoice(const LanguageChoice& choice);
// The same after "--resources=LIST " when the choice asks for more than
// string tables: korva's arguments before the program.
std::string KorvaArguments(const LanguageChoice& choice);
// "all", or the kinds' words: "strings,menus".
std::string ResourcesWords(res::ResourceKinds kinds);

// The kinds a command works on: those of --resources when given, else those
// the languages line records (string tables without one).
res::ResourceKinds ChosenKinds(const std::optional<res::ResourceKinds>& given,
                               const std::optional<LanguageChoice>& recorded);

// The choice as the language selection korva's stages are given.
LangSelection SelectionOf(const LanguageChoice& choice);

std::string KeyName(int key);

// The language's ISO 639 code for a PO file's Language field, and back (a
// region or variant after the code, as in pt_BR or sr@latin, is passed over).
std::string IsoCodeOf(int key);
int KeyOfIsoCode(std::string_view code);

} // namespace korva::dat
