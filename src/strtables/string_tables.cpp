#include "strtables/string_tables.h"

namespace korva {

std::vector<TResInfo> ResBlocks;

bool WriteStringTables() { return false; }

void ResetResBlocks() { ResBlocks.clear(); }

} // namespace korva
