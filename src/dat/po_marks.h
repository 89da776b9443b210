#pragma once

#include <string_view>

namespace korva::dat {

// The extracted comment (#.) that export-po puts on a message whose
// translation is present but empty ("" in the data file). An empty msgstr
// means "not translated" in every PO tool, so the difference rides in a
// comment, the one kind that msgcat, msgmerge and editors keep: tools drop
// flags they do not know.
inline constexpr std::string_view kEmptyTranslationComment =
    "korva-dat: the translation is empty on purpose (\"\" in the data file)";

// Why export-po marked an existing translation fuzzy.
inline constexpr std::string_view kLineBreakComment =
    "korva-dat: fuzzy, as the translation does not begin and end with a line break where the "
    "source does";

} // namespace korva::dat
