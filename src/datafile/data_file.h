#pragma once

namespace korva {

// Loads the translation data file beside the program into TransDict.
bool LoadDataFile();

void ResetTransDict();

} // namespace korva
