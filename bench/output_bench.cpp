// The output pieces on the largest panel geometry (7399 x 4999, 10-bit), from
// sample rows in memory to a new file, against `cp` of the 49 MB packed dump:
// what a converter adds on top of unpacking. Targets for the converter: the
// 8-bit PNG of the cell picture within 3 x cp, the DNG of the frame within
// 2 x cp.
//
//   build/native/bin/pixmora-output-bench [--benchmark_filter=...]
//
// The frame is a smooth scene with sensor noise, so deflate meets photograph-
// like differences rather than pure noise or flat colour. PNG bands are
// developed and deflated two at a time on worker threads while the calling
// thread writes finished bands in order, as a converter would. Prints each
// piece's ratio to cp on stderr after the runs.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "decode/raw_decoder.h"
#include "raw/qcom10_group.h"
#include "raw/raw_geometry.h"
#include "raw/raw_layout.h"
#include "picture/develop.h"
#include "encode/dng_writer.h"
#include "picture/picture_rows.h"
#include "encode/png_writer.h"
#include "platform/vector_paths.h"

namespace {

constexpr int32_t kWidth = 7399;
constexpr int32_t kHeight = 4999;
constexpr int32_t kBits = 10;
// Picture rows a PNG band holds: about 700 KB of 8-bit cell picture, small
// enough for a few in flight, large enough that the flush between bands
// costs nothing measurable.
constexpr int32_t kPngBandRows = 64;
// Sample rows a DNG band carries: about 1.9 MB of raw strip.
constexpr int32_t kDngBandRows = 128;
constexpr size_t kBandsInFlight = 2;

struct Fixture {
    std::vector<uint16_t> samples;
    std::vector<const uint16_t*> rows;
    MosaicFrame frame{kWidth, kHeight, kBits, cellLayoutFor(1)};
    std::string dir;

    Fixture() : samples(static_cast<size_t>(kWidth) * kHeight)
    {
        uint32_t noise = 12345;
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                noise = noise * 1664525u + 1013904223u;
                // Slow waves, the green sites 90 above red and blue, 16 levels of noise.
                const double scene = 420 + 260 * std::sin(x / 410.0) * std::cos(y / 290.0) + 90 * ((x ^ y) & 1);
                const double value = scene + static_cast<double>(noise >> 28) - 8;
                samples[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] =
                    static_cast<uint16_t>(std::lround(std::fmin(std::fmax(value, 0), 1023)));
            }
        }
        for (int32_t y = 0; y < kHeight; ++y) {
            rows.push_back(&samples[static_cast<size_t>(y) * kWidth]);
        }
        char pattern[] = "/tmp/pixmora-output-bench.XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::perror("pixmora-output-bench: mkdtemp");
            std::exit(1);
        }
        dir = pattern;
        // The dump cp copies: as many bytes as the packed 10-bit file.
        std::vector<uint8_t> dump(static_cast<size_t>(rawGeometry(kWidth, kHeight).inputBytes), 0x5A);
        std::FILE* f = std::fopen((dir + "/frame.raw").c_str(), "wb");
        if (f != nullptr) {
            std::fwrite(dump.data(), 1, dump.size(), f);
            std::fclose(f);
        }
    }
    ~Fixture() { std::system(("rm -rf " + dir).c_str()); }

    SampleRows band(int32_t first, int32_t count) const { return {&rows[static_cast<size_t>(first)], first, count}; }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

using FilePointer = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// A file that does not exist yet, as cp gets in its runs.
FilePointer freshFile(const std::string& path)
{
    std::remove(path.c_str());
    return FilePointer(std::fopen(path.c_str(), "wb"), std::fclose);
}

void write(const FilePointer& file, const std::vector<uint8_t>& bytes)
{
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
}

void BM_Cp(benchmark::State& state)
{
    Fixture& f = fixture();
    const std::string command = "cp " + f.dir + "/frame.raw " + f.dir + "/copy.raw";
    for (auto _ : state) {
        std::remove((f.dir + "/copy.raw").c_str());
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cp failed");
            return;
        }
    }
}

// The PNG of the cell picture (demosaic = false) or the full picture, 8 or 16 bits.
void pngPicture(benchmark::State& state, bool demosaic, int32_t depth)
{
    Fixture& f = fixture();
    DevelopTables tables;
    buildDevelopTables(DevelopSettings{kBits, 0, {1, 1, 1}, false}, depth, &tables);
    const PixelFormat format = depth == 8 ? PixelFormat::kRgb8 : PixelFormat::kRgb16BigEndian;
    const int32_t width = demosaic ? kWidth : cellPictureWidth(f.frame);
    const int32_t height = demosaic ? kHeight : cellPictureHeight(f.frame);
    const int32_t rowBytes = width * pixelBytes(format);
    const int32_t bands = (height + kPngBandRows - 1) / kPngBandRows;
    const auto encode = [&](int32_t b) {
        const int32_t first = b * kPngBandRows;
        const int32_t count = std::min(kPngBandRows, height - first);
        std::vector<uint8_t> picture(static_cast<size_t>(count) * static_cast<size_t>(rowBytes));
        if (demosaic) {
            const RowSpan span = demosaicSampleRows(f.frame, first, count);
            demosaicRows(f.frame, f.band(span.first, span.count), tables, first, count, format, picture.data(), rowBytes);
        } else {
            developCellRows(f.frame, f.band(2 * first, 2 * count), tables, first, count, 1, format, picture.data(),
                            rowBytes);
        }
        PngBand band;
        pngEncodeBand(picture.data(), rowBytes, count, width, depth, b + 1 == bands, &band);
        return band;
    };
    uint64_t bytes = 0;
    for (auto _ : state) {
        const FilePointer file = freshFile(f.dir + "/picture.png");
        write(file, pngStart(width, height, depth));
        uint32_t adler = kPngAdlerStart;
        bytes = 0;
        std::deque<std::future<PngBand>> pending;
        for (int32_t b = 0; b < bands || !pending.empty();) {
            if (b < bands && pending.size() < kBandsInFlight) {
                pending.push_back(std::async(std::launch::async, encode, b++));
                continue;
            }
            const PngBand band = pending.front().get();
            pending.pop_front();
            write(file, band.chunk);
            adler = pngCombineAdler(adler, band);
            bytes += band.chunk.size();
        }
        write(file, pngFinish(adler));
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_Png8Cells(benchmark::State& state) { pngPicture(state, false, 8); }
void BM_Png16Cells(benchmark::State& state) { pngPicture(state, false, 16); }
void BM_Png8Demosaic(benchmark::State& state) { pngPicture(state, true, 8); }

void BM_Dng(benchmark::State& state)
{
    Fixture& f = fixture();
    DngDescription description{f.frame, 0, {1, 1, 1}, "QCOM10"};
    DngLayout layout;
    DevelopTables tables;
    if (!planDng(description, &layout) ||
        !buildDevelopTables(DevelopSettings{kBits, 0, {1, 1, 1}, false}, 8, &tables)) {
        state.SkipWithError("cannot plan the DNG");
        return;
    }
    std::vector<uint8_t> raw(static_cast<size_t>(kDngBandRows) * kWidth * 2);
    std::vector<uint8_t> preview(layout.previewBytes);
    const size_t previewRow = 3 * static_cast<size_t>(layout.previewWidth);
    for (auto _ : state) {
        const FilePointer file = freshFile(f.dir + "/frame.dng");
        write(file, dngHead(description, layout));
        for (int32_t first = 0; first < kHeight; first += kDngBandRows) {
            const int32_t count = std::min(kDngBandRows, kHeight - first);
            for (int32_t k = 0; k < count; ++k) {
                dngRawRow(f.rows[static_cast<size_t>(first + k)], kWidth, &raw[static_cast<size_t>(k) * kWidth * 2]);
            }
            std::fwrite(raw.data(), 1, static_cast<size_t>(count) * kWidth * 2, file.get());
            for (int32_t cellRow = first / 2; 2 * cellRow + 1 < first + count; ++cellRow) {
                if (isDngPreviewCellRow(layout, cellRow)) {
                    const size_t q = static_cast<size_t>(cellRow / layout.previewStep);
                    developCellRows(f.frame, f.band(2 * cellRow, 2), tables, cellRow, 1, layout.previewStep,
                                    PixelFormat::kRgb8, &preview[q * previewRow], 0);
                }
            }
        }
        write(file, preview);
    }
    state.counters["MB"] = static_cast<double>(layout.fileBytes) / 1e6;
}

// Deflating the 16-bit cell picture's bands on one thread (CPU time): the
// writer's own coder (argument 0) against zlib at level 1 with Z_RLE (1),
// Z_HUFFMAN_ONLY (2), Z_FILTERED (3) and the default strategy (4), each band
// Sub-filtered first as the writer does. "ratio" is compressed / filtered,
// "ns/B" the time a filtered byte.
void BM_Png16Deflate(benchmark::State& state)
{
    Fixture& f = fixture();
    DevelopTables tables;
    buildDevelopTables(DevelopSettings{kBits, 0, {1, 1, 1}, false}, 16, &tables);
    const int32_t width = cellPictureWidth(f.frame);
    const int32_t height = cellPictureHeight(f.frame);
    const size_t rowBytes = 6 * static_cast<size_t>(width);
    std::vector<uint8_t> picture(static_cast<size_t>(height) * rowBytes);
    developCellRows(f.frame, f.band(0, 2 * height), tables, 0, height, 1, PixelFormat::kRgb16BigEndian,
                    picture.data(), static_cast<int64_t>(rowBytes));
    const size_t bandBytes = static_cast<size_t>(kPngBandRows) * (1 + rowBytes);
    std::vector<uint8_t> filtered(static_cast<size_t>(height) * (1 + rowBytes));
    for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
        uint8_t* out = &filtered[y * (1 + rowBytes)];
        const uint8_t* row = &picture[y * rowBytes];
        out[0] = 1;  // Sub
        for (size_t i = 0; i < rowBytes; ++i) {
            out[1 + i] = static_cast<uint8_t>(row[i] - (i >= 6 ? row[i - 6] : 0));
        }
    }
    const int strategies[] = {0, Z_RLE, Z_HUFFMAN_ONLY, Z_FILTERED, Z_DEFAULT_STRATEGY};
    const int strategy = strategies[state.range(0)];
    std::vector<uint8_t> out(compressBound(static_cast<uLong>(bandBytes)) + 1024);
    PngBand band;
    size_t compressed = 0;
    for (auto _ : state) {
        compressed = 0;
        for (int32_t first = 0; first < height; first += kPngBandRows) {
            const int32_t count = std::min(kPngBandRows, height - first);
            const bool last = first + count == height;
            if (state.range(0) == 0) {
                pngEncodeBand(&picture[static_cast<size_t>(first) * rowBytes], static_cast<int64_t>(rowBytes), count,
                              width, 16, last, &band);
                compressed += band.chunk.size();
                continue;
            }
            z_stream z{};
            deflateInit2(&z, 1, Z_DEFLATED, -15, 8, strategy);
            z.next_in = &filtered[static_cast<size_t>(first) * (1 + rowBytes)];
            z.avail_in = static_cast<uInt>(static_cast<size_t>(count) * (1 + rowBytes));
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
            compressed += out.size() - z.avail_out;
            deflateEnd(&z);
        }
    }
    state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(filtered.size());
    state.counters["ns/B"] = benchmark::Counter(static_cast<double>(filtered.size()) * 1e-9,
                                                benchmark::Counter::kIsIterationInvariantRate |
                                                    benchmark::Counter::kInvert);
}

// The BMP's cell picture, one thread, through the shifts (argument 0), --black
// 64 (1), --wb 2,1,1.5 (2) or --gamma srgb (3), on the vector paths (second
// argument 1) or the scalar ones (0): as many pixels as the frame's,
// from the first two sample rows over and over, which stay in cache as a
// converter's freshly unpacked rows do.
void BM_DevelopCells(benchmark::State& state)
{
    Fixture& f = fixture();
    const DevelopSettings settings[] = {{kBits, 0, {1, 1, 1}, false}, {kBits, 64, {1, 1, 1}, false},
                                        {kBits, 0, {2, 1, 1.5}, false}, {kBits, 0, {1, 1, 1}, true}};
    DevelopTables tables;
    buildDevelopTables(settings[state.range(0)], 8, &tables);
    const int32_t rowBytes = 3 * cellPictureWidth(f.frame);
    constexpr int32_t kRows = 16;  // a converter's band of output rows, about 180 KB
    std::vector<uint8_t> picture(static_cast<size_t>(kRows) * static_cast<size_t>(rowBytes));
    setVectorPathsEnabled(state.range(1) != 0);
    for (auto _ : state) {
        for (int32_t row = 0; row < cellPictureHeight(f.frame); ++row) {
            developCellRows(f.frame, f.band(0, 2), tables, 0, 1, 1, PixelFormat::kBgr8,
                            &picture[static_cast<size_t>(row % kRows * rowBytes)], rowBytes);
        }
        benchmark::DoNotOptimize(picture.data());
    }
    setVectorPathsEnabled(true);
}

// The demosaicked picture (--full), one thread, through the shifts, as BMP rows
// (argument 0) or 16-bit PNG rows (1): every row of the frame from three
// sample rows over and over, which stay in cache as a converter's ring of
// freshly unpacked rows does.
void BM_Demosaic(benchmark::State& state)
{
    Fixture& f = fixture();
    const PixelFormat format = state.range(0) == 0 ? PixelFormat::kBgr8 : PixelFormat::kRgb16BigEndian;
    DevelopTables tables;
    buildDevelopTables({kBits, 0, {1, 1, 1}, false}, formatBits(format), &tables);
    const int32_t rowBytes = kWidth * pixelBytes(format);
    constexpr int32_t kRows = 8;  // a converter's band of output rows
    std::vector<uint8_t> picture(static_cast<size_t>(kRows) * static_cast<size_t>(rowBytes));
    for (auto _ : state) {
        for (int32_t row = 0; row < kHeight; ++row) {
            demosaicRows(f.frame, f.band(0, 3), tables, 1, 1, format,
                         &picture[static_cast<size_t>(row % kRows * rowBytes)], rowBytes);
        }
        benchmark::DoNotOptimize(picture.data());
    }
}

// The first pass `--wb auto` needs, over the whole frame.
void BM_GreyWorldSums(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        ColourSums sums;
        addColourSums(f.frame, f.band(0, kHeight), 0, &sums);
        benchmark::DoNotOptimize(sums);
    }
}

// The same pass as the converter makes it from a qcom10 dump: each row
// unpacked and summed (state.range(0) == 0, as with black), or summed straight
// from its packed groups (1, without black).
void BM_GreyWorldQcom10(benchmark::State& state)
{
    Fixture& f = fixture();
    const int64_t groups = (kWidth + kQcom10GroupSamples - 1) / kQcom10GroupSamples;
    const auto rowBytes = static_cast<size_t>(groups * kQcom10GroupBytes);
    std::vector<uint8_t> packed(rowBytes * kHeight);
    for (size_t y = 0; y < kHeight; ++y) {
        for (int64_t g = 0; g < groups; ++g) {
            uint16_t group[kQcom10GroupSamples] = {};
            for (int64_t j = 0; j < kQcom10GroupSamples && g * kQcom10GroupSamples + j < kWidth; ++j) {
                group[j] = f.rows[y][g * kQcom10GroupSamples + j];
            }
            packGroup(group, &packed[y * rowBytes + static_cast<size_t>(g * kQcom10GroupBytes)]);
        }
    }
    std::vector<uint16_t> samples(kWidth);
    const uint16_t* row = samples.data();
    for (auto _ : state) {
        ColourSums sums;
        for (int32_t y = 0; y < kHeight; ++y) {
            const uint8_t* bytes = &packed[static_cast<size_t>(y) * rowBytes];
            if (state.range(0) == 0) {
                unpackRow(RawLayout::Qcom10, bytes, kWidth, samples.data());
                addColourSums(f.frame, SampleRows{&row, y, 1}, 0, &sums);
            } else {
                uint64_t parity[2];
                sumPackedRow(bytes, kWidth, parity);
                addRowSums(f.frame, y, parity, &sums);
            }
        }
        benchmark::DoNotOptimize(sums);
    }
}

// The console report, then each piece's time over cp's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times_[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const
    {
        const auto cp = times_.find("BM_Cp");
        if (cp == times_.end() || cp->second <= 0) {
            return;
        }
        const std::map<std::string, const char*> targets = {{"BM_Png8Cells", " (target <= 3)"}, {"BM_Dng", " (target <= 2)"}};
        for (const auto& [name, time] : times_) {
            const auto target = targets.find(name);
            std::fprintf(stderr, "%s / cp = %.2f%s\n", name.c_str(), time / cp->second,
                         target != targets.end() ? target->second : "");
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

BENCHMARK(BM_Cp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Png8Cells)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Png16Cells)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Png8Demosaic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Png16Deflate)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DevelopCells)->ArgsProduct({{0, 1, 2, 3}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Dng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Demosaic)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GreyWorldSums)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GreyWorldQcom10)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
