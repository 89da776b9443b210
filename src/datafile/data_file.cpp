#include "datafile/data_file.h"

#include <memory>
#include <string>

#include "common/settings.h"
#include "datafile/data_loader.h"
#include "platform/platform.h"
#include "text/codepage.h"
#include "text/utf8.h"

namespace korva {

TransDictionary TransDict;

namespace {

// The data file between OpenDataFile and LoadDataFile, with the bytes read
// to learn its code page, which the loader is served first.
struct OpenedDataFile {
    ReadOnlyFile file;
    bool opened = false;
    std::string head;
};
std::unique_ptr<OpenedDataFile> openDataFile;

} // namespace

void OpenDataFile() {
    openDataFile = std::make_unique<OpenedDataFile>();
    const std::string program = OwnExecutablePath();
    // Without the program's own path the name would be taken relative to
    // the working directory, which is not where the data file lives.
    if (program.empty() || !openDataFile->file.Open(DirectoryOf(program) + DataFileName).ok()) {
        return;
    }
    openDataFile->opened = true;
    std::string& head = openDataFile->head;
    head.resize(kUtf8Mark.size());
    std::size_t got = 0;
    while (got < head.size()) {
        const long long n = openDataFile->file.Read(head.data() + got, head.size() - got);
        if (n <= 0) {
            break; // a failed read fails again when the loader reads on
        }
        got += static_cast<std::size_t>(n);
    }
    head.resize(got);
    RunCodePage = head == kUtf8Mark ? CodePage::Utf8 : CodePage::Windows1252;
}

bool LoadDataFile(const FoldedTextFilter* wanted) {
    TransDict = TransDictionary();
    if (openDataFile == nullptr) {
        OpenDataFile();
    }
    const std::unique_ptr<OpenedDataFile> data = std::move(openDataFile);
    if (!data->opened) {
        return false;
    }
    std::size_t served = 0;
    const ReadBlock read = [&](char* buffer, std::size_t size) -> long long {
        if (served < data->head.size()) {
            const std::size_t n = std::min(size, data->head.size() - served);
            data->head.copy(buffer, n, served);
            served += n;
            return static_cast<long long>(n);
        }
        return data->file.Read(buffer, size);
    };
    return LoadDataFrom(read, DataFileName, TransDict, LineReader::kDefaultBlockSize, wanted);
}

void ResetTransDict() {
    TransDict = TransDictionary();
    openDataFile.reset();
}

} // namespace korva
