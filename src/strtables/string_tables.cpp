#include "strtables/string_tables.h"

namespace korva {

std::vector<TResInfo> ResBlocks;

void ResetResBlocks() {
    ResBlocks.clear();
}

} // namespace korva
