#include "datafile/data_file.h"

#include <string>

#include "common/platform.h"
#include "datafile/data_loader.h"
#include "driver/settings.h"

namespace korva {

TTransDict TransDict;

bool LoadDataFile(const TFoldedTextFilter* wanted) {
    TransDict = TTransDict();
    const std::string program = OwnExecutablePath();
    // Without the program's own path the name would be taken relative to
    // the working directory, which is not where the data file lives.
    if (program.empty()) {
        return false;
    }
    TReadOnlyFile file;
    if (!file.Open(DirectoryOf(program) + DataFileName)) {
        return false;
    }
    return LoadDataFrom([&file](char* buffer, std::size_t size) { return file.Read(buffer, size); },
                        DataFileName, TransDict, TLineReader::kDefaultBlockSize, wanted);
}

void ResetTransDict() {
    TransDict = TTransDict();
}

} // namespace korva
