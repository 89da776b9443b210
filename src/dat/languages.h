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
    int fallback = -1; // --fallback: the destination other users get (key index), or -1

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
//   ;@ languages: [-O0x0409] [--resources=LIST] [--fallback=KEY] ENGLISH (ENGLISH,FRENCH)
// --resources stands there only when it asks for more than string tables.
inline constexpr std::string_view kLanguagesPrefix = ";@ languages:";
inline constexpr std::string_view kResourcesOption = "--resources=";
inline constexpr std::string_view kFallbackOption = "--fallback=";
std::string LanguagesLine(const LanguageChoice& choice);
// The choice a trimmed comment line records, when it is a language line.
std::optional<Result<LanguageChoice>> ReadLanguagesLine(std::string_view line);

// "ENGLISH (ENGLISH,GERMAN)", as korva's command line would give them.
std::string DescribeChoice(const LanguageChoice& choice);
// The same after the options the choice carries, in korva's syntax and an
// order korva takes: "-O0x0409 --resources=menus --fallback=GERMAN ENGLISH
// (GERMAN)". korva's arguments before the program.
std::string KorvaArguments(const LanguageChoice& choice);

// Why korva would refuse the choice's --fallback, as korva-dat says it, or
// nothing when it has none or korva takes it.
Result<void> CheckFallback(const LanguageChoice& choice);
// "all", or the kinds' words: "strings,menus".
std::string ResourcesWords(res::ResourceKinds kinds);

// What -O, --resources and --fallback say on a command line, when given.
struct ChoiceOptions {
    std::optional<std::uint16_t> original;
    std::optional<res::ResourceKinds> resources;
    std::optional<int> fallback; // key index
};

// The choice a command works with: the languages given after the data file,
// else those the languages line records; -O, --resources and --fallback as
// given, else as recorded, whichever languages are taken. Nothing without
// languages; an error when the fallback is not one korva takes for them.
Result<std::optional<LanguageChoice>> CommandChoice(const std::optional<LanguageChoice>& given,
                                                    const std::optional<LanguageChoice>& recorded,
                                                    const ChoiceOptions& options);

// The choice as the language selection korva's stages are given.
LangSelection SelectionOf(const LanguageChoice& choice);

// The key's name or the tag.
std::string LangName(int language);

// The language's code for a PO file's Language field: a key's ISO 639 code,
// a tag as gettext spells it (pt_BR); and back, where a region or variant
// after the code (pt_BR, sr@latin) is passed over.
std::string IsoCodeOf(int language);
int KeyOfIsoCode(std::string_view code);
// The language a PO file's Language field names for a data file with the
// destinations `dests`: the tagged destination it spells whole (pt_BR),
// else its primary language's key, else the tag it spells; -1 for none.
int LanguageOfPoCode(std::string_view code, const std::vector<int>& dests);

} // namespace korva::dat
