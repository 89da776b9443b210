#include "datafile/data_file.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

#include "common/console.h"
#include "common/settings.h"
#include "datafile/data_loader.h"
#include "langkeys/lang_selection.h"
#include "platform/platform.h"
#include "text/codepage.h"
#include "text/utf8.h"

namespace korva {

TransDictionary TransDict;

Result<OpenedDataFile> OpenDataFile(const std::string& path) {
    OpenedDataFile data;
    data.file = std::make_unique<ReadOnlyFile>();
    KORVA_RETURN_IF_ERROR(data.file->Open(path));
    data.head.resize(kUtf8Mark.size());
    std::size_t got = 0;
    while (got < data.head.size()) {
        const long long n = data.file->Read(data.head.data() + got, data.head.size() - got);
        if (n <= 0) {
            break; // a failed read fails again when the loader reads on
        }
        got += static_cast<std::size_t>(n);
    }
    data.head.resize(got);
    data.codePage = data.head == kUtf8Mark ? CodePage::Utf8 : CodePage::Windows1252;
    return data;
}

Result<DataLoadOutcome> LoadDataFile(OpenedDataFile& data, std::string_view fileName,
                                     const DataLoadOptions& options) {
    std::size_t served = 0;
    const ReadBlock read = [&](char* buffer, std::size_t size) -> long long {
        if (served < data.head.size()) {
            const std::size_t n = std::min(size, data.head.size() - served);
            data.head.copy(buffer, n, served);
            served += n;
            return static_cast<long long>(n);
        }
        return data.file->Read(buffer, size);
    };
    return LoadDataFrom(read, fileName, options);
}

namespace {

// korva's data file between OpenDataFile and LoadDataFile.
struct RunDataFile {
    bool tried = false;
    std::optional<OpenedDataFile> opened; // none when it could not be opened
};
RunDataFile runDataFile;

} // namespace

void OpenDataFile() {
    runDataFile = {true, std::nullopt};
    const std::string program = OwnExecutablePath();
    // Without the program's own path the name would be taken relative to
    // the working directory, which is not where the data file lives.
    if (program.empty()) {
        return;
    }
    Result<OpenedDataFile> opened = OpenDataFile(DirectoryOf(program) + DataFileName);
    if (opened) {
        RunCodePage = opened->codePage;
        runDataFile.opened.emplace(std::move(opened).value());
    }
}

bool LoadDataFile(const FoldedTextFilter* wanted) {
    TransDict = TransDictionary();
    if (!runDataFile.tried) {
        OpenDataFile();
    }
    std::optional<OpenedDataFile> data = std::move(runDataFile.opened);
    runDataFile = {};
    if (!data) {
        return false;
    }
    DataLoadOptions options;
    options.codePage = RunCodePage;
    options.languages = RunLangSelection();
    options.wanted = wanted;
    Result<DataLoadOutcome> outcome = LoadDataFile(*data, DataFileName, options);
    if (!outcome) {
        // korva's last resort has always reported a limit as an
        // unexpected failure of this kind.
        throw std::length_error(outcome.error().message);
    }
    if (outcome->syntaxError) {
        WriteLine(outcome->syntaxError->message);
    }
    TransDict = std::move(outcome->dict);
    return outcome->Loaded();
}

void ResetTransDict() {
    TransDict = TransDictionary();
    runDataFile = {};
}

} // namespace korva
