#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korva {

// Language tags name Windows language ids with their region or script
// (zh-TW is 0x0404, sr-Latn-RS 0x241A), where a key names only the primary
// language. The table holds the names Windows gives its ids, as Wine
// reproduces them (src/langkeys/language_tags.tsv): one tag per id, one id
// per tag.
struct LanguageTagRow {
    std::uint16_t LangId;
    std::string_view Tag; // as Windows spells it: region upper-case, script capitalised
};

// Every row, ascending by language id.
std::span<const LanguageTagRow> LanguageTags();

// The id a tag names, or nothing. Tags compare without regard to case, as
// BCP-47 has it, and "_" stands for "-": gettext and the locale names of
// POSIX systems (pt_BR, as in LANG and a PO file's Language field) write
// the separator so, and that spelling names the same language. Nothing else
// is forgiven: no blanks, no prefix, no subtag left out or added.
std::optional<std::uint16_t> FindLanguageTag(std::string_view tag);
// The same, giving the tag's row in LanguageTags().
std::optional<std::size_t> FindLanguageTagRow(std::string_view tag);

// The tag of an id as the table spells it, or empty when it has none.
std::string_view LanguageTagOf(std::uint16_t langId);

// True when the id's tag names a language of BCP 47's private-use range,
// qaa to qtz, as Windows' pseudo-locales do (qps-ploc 0x0501): a made-up
// language, whose primary id (0x0101) is no language anyone has.
bool IsPrivateUseLanguage(std::uint16_t langId);

// An id named for people: "0x0009 (en, key ENGLISH)", "0x0409 (en-US, a
// sublanguage of ENGLISH)", "0x041A (hr-HR, a sublanguage of CROATIAN or
// SERBIAN)", "0x0045 (bn)", "0x0400". A key is named when it is the id's
// primary language; only an id with sublanguage 0 is the key's own, and
// only that id is what the key name stands for on a command line.
std::string DescribeLangId(std::uint16_t langId);

} // namespace korva
