#include "datafile/data_file.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/console.h"
#include "common/settings.h"
#include "datafile/data_file_reasons.h"
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
    std::string path;                     // where it was looked for; empty: nowhere
    std::optional<OpenedDataFile> opened; // none when it could not be opened
    Error failure;                        // why it could not be
};
RunDataFile runDataFile;

// Where the run looks for its data file: a path from --data as it stands; a
// name from -D, or the default, in the directory of korva's own executable.
// Without that directory none: the name would be taken relative to the
// working directory, which is not where the data file lives.
std::string DataFilePath() {
    if (DataFileIsPath) {
        return DataFileName;
    }
    const std::string program = OwnExecutablePath();
    return program.empty() ? std::string() : DirectoryOf(program) + DataFileName;
}

// The line that says why the data file could not be opened.
std::string WhyNotOpened(const RunDataFile& run) {
    if (run.path.empty()) {
        return "the directory of korva's own program file, where " + DataFileName +
               " is looked for, is unknown";
    }
    std::string why = run.failure.kind == ErrorKind::NoSuchFile && NothingAt(run.path)
                          ? "not found at " + FullPath(run.path)
                          : run.failure.message;
    // A -D name is taken in korva's directory even when it is a full path.
    if (!DataFileIsPath && FileSystemPath(DataFileName).has_root_path()) {
        why += " (-D names a file in korva's directory; --data=PATH takes any path)";
    }
    return why;
}

// The line that says why a data file read to its end gave no entry.
std::string WhyNothingWasTaken(const RunDataFile& run, const LangSelection& languages) {
    ReadOnlyFile again;
    if (Result<void> opened = again.Open(run.path); !opened) {
        return opened.error().message;
    }
    const ReadBlock read = [&again](char* buffer, std::size_t size) {
        return again.Read(buffer, size);
    };
    return WhyNoEntryWasTaken(read, DataFileName, languages, RunCodePage);
}

} // namespace

void OpenDataFile() {
    runDataFile = {};
    runDataFile.tried = true;
    runDataFile.path = DataFilePath();
    if (runDataFile.path.empty()) {
        return;
    }
    Result<OpenedDataFile> opened = OpenDataFile(runDataFile.path);
    if (!opened) {
        runDataFile.failure = opened.error();
        return;
    }
    RunCodePage = opened->codePage;
    runDataFile.opened.emplace(std::move(opened).value());
}

Result<void> LoadDataFileOrSayWhy(const FoldedTextFilter* wanted) {
    TransDict = TransDictionary();
    if (!runDataFile.tried) {
        OpenDataFile();
    }
    RunDataFile run = std::move(runDataFile);
    runDataFile = {};
    if (!run.opened) {
        return MakeError(WhyNotOpened(run));
    }
    DataLoadOptions options;
    options.codePage = RunCodePage;
    options.languages = RunLangSelection();
    options.wanted = wanted;
    Result<DataLoadOutcome> outcome = LoadDataFile(*run.opened, DataFileName, options);
    run.opened.reset();
    if (!outcome) {
        // korva's last resort has always reported a limit as an
        // unexpected failure of this kind.
        throw std::length_error(outcome.error().message);
    }
    TransDict = std::move(outcome->dict);
    if (outcome->syntaxError) {
        WriteLine(outcome->syntaxError->message);
        return MakeError(""); // that line says why
    }
    if (outcome->readFailed) {
        return MakeError("a read of " + run.path + " failed before its end");
    }
    if (!outcome->filedAny) {
        return MakeError(WhyNothingWasTaken(run, options.languages));
    }
    return {};
}

bool LoadDataFile(const FoldedTextFilter* wanted) {
    return LoadDataFileOrSayWhy(wanted).ok();
}

void ResetTransDict() {
    TransDict = TransDictionary();
    runDataFile = {};
}

} // namespace korva
