// Decoding the largest geometry the panel accepts, against the memory floor:
// a memcpy of as many bytes as the decoder reads and writes.
//
//   build/native/bin/pixmora-bench [--benchmark_format=json]
//
// Prints "decode / floor" on stderr after the runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cell_layout.h"
#include "conversion_settings.h"
#include "image_buffer.h"
#include "raw_decoder.h"

namespace {

constexpr int32_t kWidth = 7399;  // aligned to 7404
constexpr int32_t kHeight = 4999;

struct Fixture {
    std::vector<uint8_t> input;
    RawGeometry geometry;

    Fixture() : geometry(rawGeometry(kWidth, kHeight))
    {
        input.resize(static_cast<size_t>(geometry.inputBytes));
        std::mt19937 random(7);
        for (auto& b : input) {
            b = static_cast<uint8_t>(random());
        }
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_Decode(benchmark::State& state)
{
    Fixture& f = fixture();
    if (!CDIBBitmap_create(nullptr, f.geometry.pictureWidth, f.geometry.pictureHeight, 24)) {
        state.SkipWithError("cannot create the picture");
        return;
    }
    const BgrRows picture{m_pBmpData, m_nBmpWidth, m_nBmpHeight, m_nBmpStride};
    const CellLayout cell = cellLayoutFor(1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            decodePackedRaw(f.input.data(), f.input.size(), kWidth, kHeight, cell, picture));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.input.size()));
    CDIBBitmap_clear();
}

void BM_MemoryFloor(benchmark::State& state)
{
    Fixture& f = fixture();
    const size_t bytes = f.input.size() +
        static_cast<size_t>(f.geometry.stride) * static_cast<size_t>(f.geometry.pictureHeight);
    std::vector<uint8_t> source(bytes, 1);
    std::vector<uint8_t> target(bytes, 0);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.input.size()));
}

BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MemoryFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

// Passes everything to the reporter the flags chose, keeping each benchmark's
// real time per iteration for the ratio.
class RatioReporter : public benchmark::BenchmarkReporter {
public:
    explicit RatioReporter(std::unique_ptr<benchmark::BenchmarkReporter> inner) : inner_(std::move(inner)) {}

    bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times_[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        inner_->ReportRuns(runs);
    }

    void Finalize() override { inner_->Finalize(); }

    void printRatio() const
    {
        const auto decode = times_.find("BM_Decode");
        const auto floor = times_.find("BM_MemoryFloor");
        if (decode != times_.end() && floor != times_.end() && floor->second > 0) {
            std::fprintf(stderr, "decode / floor = %.2f\n", decode->second / floor->second);
        }
    }

private:
    std::unique_ptr<benchmark::BenchmarkReporter> inner_;
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv)
{
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        json = json || std::strcmp(argv[i], "--benchmark_format=json") == 0;
    }
    benchmark::Initialize(&argc, argv);
    std::unique_ptr<benchmark::BenchmarkReporter> inner;
    if (json) {
        inner = std::make_unique<benchmark::JSONReporter>();
    } else {
        inner = std::make_unique<benchmark::ConsoleReporter>();
    }
    RatioReporter reporter(std::move(inner));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio();
    benchmark::Shutdown();
    return 0;
}
