#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "dat/check_findings.h"

namespace korva::dat {

// The letter a text's first '&' marks for the keyboard, case-folded, or
// nothing ("&&" is a literal '&'). The text is UTF-8.
std::optional<char32_t> AcceleratorLetter(std::string_view utf8);

// A dialog control's room for text and what its text likely takes, in
// horizontal dialog units.
struct ControlFit {
    double needed = 0;    // the estimate for the text
    double available = 0; // width times lines, less a check box's box
    int lines = 1;
};

// Estimates whether a UTF-8 text fits a control. Dialog units are a quarter
// of the dialog font's average character width, so the estimate holds for
// any font size: about 4 units for an average Latin letter, 2 for a narrow
// one, 8 for a full-width (CJK) character.
ControlFit EstimateFit(std::string_view utf8, const res::ResourceText& control);

// The text of a control that can show one (a button or a static control
// given by ordinal), as opposed to an edit's initial content, a list's or
// a class of its own.
bool ShowsLabel(const res::ResourceText& control);

// With programs read: translations of one menu level or dialog that take one
// accelerator letter where their sources take distinct ones (errors), and
// translated dialog texts that likely do not fit their controls (warnings).
void FindInterfaceProblems(const DataDocument& doc, const EntryGroups& groups,
                           const LanguageChoice& choice, const std::vector<ProgramTables>& programs,
                           CheckFindings& out);

} // namespace korva::dat
