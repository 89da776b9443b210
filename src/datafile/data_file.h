#pragma once

#include "datafile/trans_dict.h"

namespace korva {

// The dictionary from neutral texts to their entries, built by LoadDataFile
// and read-only after it. For the item at `index` (0 to Count() - 1):
//   TransDict.Find(text, index)  finds a text, comparing with CompareText;
//   TransDict.Text(index)        is the item's neutral text as first written;
//   TransDict.Entry(index)       is its TTransStrs, whose Text(langIndex)
//                                gives the translation for a language key
//                                index, empty when there is none.
extern TTransDict TransDict;

// Loads the data file DataFileName from the directory of the program's own
// executable into TransDict, keeping the neutral and destination languages
// only. False when the file cannot be opened or read, on a syntax error
// (after writing its line, quiet mode or not), and when no entry was filed.
// With `wanted`, TransDict leaves out nearly every entry whose neutral text
// is none of its texts; a lookup of those finds what it would without it,
// and the outcome is the same.
bool LoadDataFile(const TFoldedTextFilter* wanted = nullptr);

// Back to the empty dictionary of program start (for tests).
void ResetTransDict();

} // namespace korva
