// Reading and checking a hex file of 8 MiB of data, against GNU objcopy converting the
// same file to binary. Prints the time ratio at the end of the run.
//
//   bench_intel_hex [--benchmark_repetitions=N ...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/intel_hex.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr std::uint32_t kDataBytes = 8u << 20;
constexpr std::uint32_t kBaseAddress = 0x10000;

struct BenchFiles {
    rm7::test::CTempFolder dir;
    std::filesystem::path hex;
    std::filesystem::path bin;

    BenchFiles() {
        hex = dir / "data.hex";
        bin = dir / "data.bin";
        std::mt19937 random(12345);
        std::vector<std::uint8_t> data(kDataBytes);
        for (auto& b : data) {
            b = static_cast<std::uint8_t>(random());
        }
        const std::string text = rm7::FormatIntelHex(data, kBaseAddress, 16);
        std::ofstream(hex, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    }
};

BenchFiles& Files() {
    static BenchFiles files;
    return files;
}

// Both passes: the range from the file, then the copy (what the DSP loader does).
void BM_Rm7ReadAndCheck(benchmark::State& state) {
    rm7::CFirmwareImage image;
    image.SetMaxSpan(16u << 20);
    for (auto _ : state) {
        if (!image.Load(Files().hex, rm7::kRangeFromFileLow, rm7::kRangeFromFileHigh, 64) ||
            image.Size() != kDataBytes) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(image.Bytes().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * std::filesystem::file_size(Files().hex));
}
BENCHMARK(BM_Rm7ReadAndCheck)->Unit(benchmark::kMillisecond)->UseRealTime();

// One pass into a known window of the same size.
void BM_Rm7ReadWindow(benchmark::State& state) {
    rm7::CFirmwareImage image;
    image.SetMaxSpan(16u << 20);
    for (auto _ : state) {
        if (!image.Load(Files().hex, kBaseAddress, kBaseAddress + kDataBytes, 64)) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(image.Bytes().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * std::filesystem::file_size(Files().hex));
}
BENCHMARK(BM_Rm7ReadWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Objcopy(benchmark::State& state) {
    const std::string command = std::string("'") + RM7_OBJCOPY + "' -I ihex -O binary '" + Files().hex.string() +
                                "' '" + Files().bin.string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("objcopy failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * std::filesystem::file_size(Files().hex));
}
BENCHMARK(BM_Objcopy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Keeps the real time per iteration of each benchmark to print the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration && run.iterations > 0) {
                m_times[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        const auto objcopy = m_times.find("BM_Objcopy");
        if (objcopy == m_times.end()) {
            return;
        }
        for (const char* name : {"BM_Rm7ReadAndCheck", "BM_Rm7ReadWindow"}) {
            const auto ours = m_times.find(name);
            if (ours != m_times.end() && ours->second > 0) {
                std::printf("objcopy / %s: %.1fx\n", name, objcopy->second / ours->second);
            }
        }
    }

  private:
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    std::printf("hex file: %ju bytes of text for %u bytes of data\n",
                static_cast<std::uintmax_t>(std::filesystem::file_size(Files().hex)), kDataBytes);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
