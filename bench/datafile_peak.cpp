// Peak memory of one load of a generated data file, against the file's size.
// Usage: datafile_peak ENTRIES LANGUAGES

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "datafile/data_loader.h"
#include "datafile_gen.h"
#include "platform/platform.h"

namespace {

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ENTRIES LANGUAGES\n", argv[0]);
        return 2;
    }
    using namespace korva;
    const int entries = std::atoi(argv[1]);
    const int langs = std::atoi(argv[2]);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("korva_peak_" + std::to_string(::getpid()) + ".dat"))
                                 .string();
    bench::WriteDataFile(path, entries, langs);
    const DataLoadOptions options = bench::BenchLoadOptions(langs);
    const double fileMiB =
        static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
    const double before = PeakMiB();

    ReadOnlyFile input;
    TransDictionary dict;
    bool ok = input.Open(path).ok();
    if (ok) {
        Result<DataLoadOutcome> loaded = LoadDataFrom(
            [&input](char* buffer, std::size_t size) { return input.Read(buffer, size); }, "peak",
            options);
        ok = loaded && loaded->Loaded();
        if (loaded) {
            dict = std::move(loaded->dict);
        }
    }
    const double after = PeakMiB();
    std::filesystem::remove(path);
    std::printf("entries %d, languages %d, loaded %s, items %zu\n", entries, langs,
                ok ? "yes" : "no", dict.Count());
    std::printf("file %.1f MiB, peak RSS %.1f MiB before the load, %.1f MiB after\n", fileMiB,
                before, after);
    std::printf("load peak over file size: %.2f (whole process: %.2f)\n",
                (after - before) / fileMiB, after / fileMiB);
    return ok ? 0 : 1;
}
