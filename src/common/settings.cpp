#include "common/settings.h"

namespace korva {

bool QuietMode = false;
bool AbortOnMissing = false;
bool WritePlaceholders = false;
std::string DataFileName = DefaultDataFileName;
std::string ProgFileName;

void ResetSettings() {
    QuietMode = false;
    AbortOnMissing = false;
    WritePlaceholders = false;
    DataFileName = DefaultDataFileName;
    ProgFileName.clear();
}

} // namespace korva
