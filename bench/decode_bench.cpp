// Decoding the largest geometry the panel accepts, against the memory floor:
// a memcpy of as many bytes as the decoder reads and writes. Every other raw
// layout is decoded at the same geometry row pair by row pair, as a converter
// does, each against its own floor, on its vector path and on its scalar path.
// Whole dumps from memory are bound by memory; each layout, qcom10 too, is also
// decoded as a converter's band of 16 rows that stays in cache, as many pixels
// again, which shows what the decoding itself costs.
//
//   build/native/bin/pixmora-bench [--benchmark_format=json] [--benchmark_filter=...]
//                                  [--benchmark_repetitions=N]
//
// Prints "decode / floor" on stderr after the runs, and for each layout its
// ratio to its floor and its time per picture pixel against qcom10's, from
// memory and in a band.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "raw/cell_layout.h"
#include "window/conversion_settings.h"
#include "raw/cell_layout.h"
#include "window/image_buffer.h"
#include "decode/layout_decoder.h"
#include "decode/raw_decoder.h"
#include "raw/raw_layout.h"
#include "platform/vector_paths.h"

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

// The memory floor of a decode: a memcpy of as many bytes as it reads and
// writes, counted as `inputBytes` processed like the decode it stands beside.
void copyFloor(benchmark::State& state, size_t bytes, size_t inputBytes)
{
    std::vector<uint8_t> source(bytes, 1);
    std::vector<uint8_t> target(bytes, 0);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(inputBytes));
}

void BM_MemoryFloor(benchmark::State& state)
{
    Fixture& f = fixture();
    copyFloor(state,
              f.input.size() + static_cast<size_t>(f.geometry.stride) * static_cast<size_t>(f.geometry.pictureHeight),
              f.input.size());
}

BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MemoryFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

// One layout's dump of random bytes and its bottom-up picture. Only the last
// layout asked for is kept: all of them together would take half a gigabyte.
struct LayoutFixture {
    RawLayout layout = RawLayout::Qcom10;
    int64_t rowBytes = 0;
    int32_t pictureWidth = 0;
    int32_t pictureHeight = kHeight / 2;
    int64_t stride = 0;
    std::vector<uint8_t> input;
    std::vector<uint8_t> picture;
};

LayoutFixture& layoutFixture(RawLayout layout)
{
    static LayoutFixture f;
    if (f.input.empty() || f.layout != layout) {
        f.layout = layout;
        f.rowBytes = minimumRowBytes(layout, kWidth);
        f.pictureWidth = layoutPictureWidth(layout, kWidth);
        f.stride = pictureStride(f.pictureWidth);
        f.input.assign(static_cast<size_t>(f.rowBytes * kHeight), 0);
        std::mt19937 random(7);
        for (auto& b : f.input) {
            b = static_cast<uint8_t>(random());
        }
        f.picture.assign(static_cast<size_t>(f.stride * f.pictureHeight), 0);
    }
    return f;
}

void decodeLayout(benchmark::State& state, RawLayout layout, bool vector)
{
    LayoutFixture& f = layoutFixture(layout);
    const CellLayout cell = cellLayoutFor(1);
    setVectorPathsEnabled(vector);
    for (auto _ : state) {
        for (int32_t j = 0; j < f.pictureHeight; ++j) {
            const uint8_t* upper = f.input.data() + int64_t{2} * j * f.rowBytes;
            uint8_t* out = f.picture.data() + (f.pictureHeight - 1 - j) * f.stride;
            benchmark::DoNotOptimize(decodeRowPair(layout, upper, upper + f.rowBytes, cell, f.pictureWidth, out));
        }
        benchmark::ClobberMemory();
    }
    setVectorPathsEnabled(true);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.input.size()));
}

void layoutFloor(benchmark::State& state, RawLayout layout)
{
    const LayoutFixture& f = layoutFixture(layout);
    copyFloor(state, f.input.size() + f.picture.size(), f.input.size());
}

constexpr int32_t kBandPairs = 8;
constexpr int32_t kBands = kHeight / 2 / kBandPairs;  // 2496 row pairs: the picture's 2499, near enough

void decodeBand(benchmark::State& state, RawLayout layout)
{
    constexpr int32_t kRows = 2 * kBandPairs;
    const int64_t rowBytes = minimumRowBytes(layout, kWidth);
    const int32_t pictureWidth = layoutPictureWidth(layout, kWidth);
    const int64_t stride = pictureStride(pictureWidth);
    std::vector<uint8_t> input(static_cast<size_t>(rowBytes * kRows));
    std::mt19937 random(7);
    for (auto& b : input) {
        b = static_cast<uint8_t>(random());
    }
    std::vector<uint8_t> picture(static_cast<size_t>(stride * kBandPairs));
    const BgrRows view{picture.data(), pictureWidth, kBandPairs, stride};
    const CellLayout cell = cellLayoutFor(1);
    for (auto _ : state) {
        for (int32_t band = 0; band < kBands; ++band) {
            if (layout == RawLayout::Qcom10) {
                benchmark::DoNotOptimize(decodePackedRaw(input.data(), input.size(), kWidth, kRows, cell, view));
                continue;
            }
            for (int32_t j = 0; j < kBandPairs; ++j) {
                const uint8_t* upper = input.data() + int64_t{2} * j * rowBytes;
                benchmark::DoNotOptimize(
                    decodeRowPair(layout, upper, upper + rowBytes, cell, pictureWidth, picture.data() + j * stride));
            }
        }
        benchmark::ClobberMemory();
    }
}

void registerLayoutBenchmarks()
{
    for (int32_t i = 0; i < kRawLayoutCount; ++i) {
        const auto layout = static_cast<RawLayout>(i);
        const std::string name = layoutName(layout);
        benchmark::RegisterBenchmark(("Band/" + name).c_str(), decodeBand, layout)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        if (layout == RawLayout::Qcom10) {
            continue;  // from memory: BM_Decode above
        }
        benchmark::RegisterBenchmark(("Layout/" + name).c_str(), decodeLayout, layout, true)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("LayoutScalar/" + name).c_str(), decodeLayout, layout, false)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("LayoutFloor/" + name).c_str(), layoutFloor, layout)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
    }
}

// Passes everything to the reporter the flags chose, keeping each benchmark's
// real time per iteration for the ratios.
class RatioReporter : public benchmark::BenchmarkReporter {
public:
    explicit RatioReporter(std::unique_ptr<benchmark::BenchmarkReporter> inner) : inner_(std::move(inner)) {}

    bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                // The best of any repetitions: other work on the machine only adds time.
                const double time = run.GetAdjustedRealTime();
                const auto known = times_.find(run.run_name.function_name);
                if (known == times_.end() || time < known->second) {
                    times_[run.run_name.function_name] = time;
                }
            }
        }
        inner_->ReportRuns(runs);
    }

    void Finalize() override { inner_->Finalize(); }

    void printRatio() const
    {
        const double decode = timeOf("BM_Decode");
        const double floor = timeOf("BM_MemoryFloor");
        if (decode > 0 && floor > 0) {
            std::fprintf(stderr, "decode / floor = %.2f\n", decode / floor);
        }
        // Picture pixels of qcom10 (7404 / 2 columns) and of the others (7399 / 2).
        const double qcom10Pixels = layoutPictureWidth(RawLayout::Qcom10, kWidth);
        const double pixels = layoutPictureWidth(RawLayout::Raw8, kWidth);
        const double qcom10Band = timeOf("Band/qcom10");
        for (int32_t i = 1; i < kRawLayoutCount; ++i) {
            const std::string name = layoutName(static_cast<RawLayout>(i));
            const double layout = timeOf("Layout/" + name);
            const double layoutFloor = timeOf("LayoutFloor/" + name);
            const double band = timeOf("Band/" + name);
            const double scalar = timeOf("LayoutScalar/" + name);
            std::string line;
            const auto add = [&line](const char* what, double a, double b) {
                if (a > 0 && b > 0) {
                    char text[64];
                    std::snprintf(text, sizeof text, "%s%s %.2f", line.empty() ? "" : ", ", what, a / b);
                    line += text;
                }
            };
            add("decode / floor", layout, layoutFloor);
            add("per pixel / qcom10's", layout / pixels, decode / qcom10Pixels);
            add("in a band", band / pixels, qcom10Band / qcom10Pixels);
            add("scalar / vector", scalar, layout);
            if (!line.empty()) {
                std::fprintf(stderr, "%-8s %s\n", name.c_str(), line.c_str());
            }
        }
    }

private:
    double timeOf(const std::string& name) const
    {
        const auto found = times_.find(name);
        return found == times_.end() ? 0.0 : found->second;
    }

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
    registerLayoutBenchmarks();
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
