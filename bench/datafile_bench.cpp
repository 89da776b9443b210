// Load rate of the data file loader against the rate of simply reading the
// same file's lines.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "datafile/data_loader.h"
#include "datafile_gen.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;
using namespace korva;

struct BenchFile {
    int entries;
    int langs;
    std::string path;
};

BenchFile files[] = {{1000000, 2, {}}, {100000, 11, {}}};

const BenchFile& FileFor(const benchmark::State& state) {
    BenchFile& file = files[state.range(0)];
    if (file.path.empty()) {
        file.path = (fs::temp_directory_path() / ("korva_bench_" + std::to_string(file.entries) +
                                                  "x" + std::to_string(file.langs) + ".dat"))
                        .string();
        if (!fs::exists(file.path)) {
            bench::WriteDataFile(file.path, file.entries, file.langs);
        }
    }
    return file;
}

void SetBytes(benchmark::State& state, const BenchFile& file) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(file.path)));
    state.SetLabel(std::to_string(file.entries) + " entries, " + std::to_string(file.langs) +
                   " languages");
}

void BM_LoadDataFile(benchmark::State& state) {
    const BenchFile& file = FileFor(state);
    const DataLoadOptions options = bench::BenchLoadOptions(file.langs);
    for (auto _ : state) {
        ReadOnlyFile input;
        if (!input.Open(file.path)) {
            state.SkipWithError("cannot open the data file");
            break;
        }
        Result<DataLoadOutcome> loaded = LoadDataFrom(
            [&input](char* buffer, std::size_t size) { return input.Read(buffer, size); }, "bench",
            options);
        auto dict =
            std::make_unique<TransDictionary>(loaded ? std::move(loaded->dict) : TransDictionary());
        if (!loaded || !loaded->Loaded() ||
            dict->Count() != static_cast<std::size_t>(file.entries)) {
            state.SkipWithError("the load failed");
            break;
        }
        // The tool keeps its dictionary until it exits; freeing it is no
        // part of the load.
        state.PauseTiming();
        dict.reset();
        state.ResumeTiming();
    }
    SetBytes(state, file);
}

// The yardstick: every line of the file read with the standard library.
void BM_ReadLines(benchmark::State& state) {
    const BenchFile& file = FileFor(state);
    for (auto _ : state) {
        std::ifstream input(file.path, std::ios::binary);
        std::string line;
        std::size_t lines = 0;
        while (std::getline(input, line)) {
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    SetBytes(state, file);
}

// A second yardstick: the lines kept as strings, the least any loader that
// keeps its texts pays in allocation.
void BM_ReadAndKeepLines(benchmark::State& state) {
    const BenchFile& file = FileFor(state);
    for (auto _ : state) {
        std::ifstream input(file.path, std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(input, line)) {
            lines.push_back(line);
        }
        benchmark::DoNotOptimize(lines);
        state.PauseTiming();
        lines = {};
        state.ResumeTiming();
    }
    SetBytes(state, file);
}

BENCHMARK(BM_LoadDataFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLines)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndKeepLines)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
