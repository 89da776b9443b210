#include "common/settings.h"

namespace korva {

bool QuietMode = false;
bool AbortOnMissing = false;
bool WritePlaceholders = false;
std::string DataFileName = DefaultDataFileName;
bool DataFileIsPath = false;
std::string ProgFileName;
std::string OutputFileName;

void ResetSettings() {
    QuietMode = false;
    AbortOnMissing = false;
    WritePlaceholders = false;
    DataFileName = DefaultDataFileName;
    DataFileIsPath = false;
    ProgFileName.clear();
    OutputFileName.clear();
}

} // namespace korva
