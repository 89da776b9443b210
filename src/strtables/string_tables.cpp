#include "strtables/string_tables.h"

namespace korva {

std::vector<TResInfo> ResBlocks;

bool ReadStringTables() { return false; }

bool WriteStringTables() { return false; }

void ResetResBlocks() { ResBlocks.clear(); }

} // namespace korva
