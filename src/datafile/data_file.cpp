#include "datafile/data_file.h"

namespace korva {

bool LoadDataFile() { return false; }

void ResetTransDict() {}

} // namespace korva
