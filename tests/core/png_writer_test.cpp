#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "support/mosaic_samples.h"
#include "picture/picture_rows.h"
#include "support/png_reader.h"
#include "encode/png_writer.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"
#include "platform/vector_paths.h"

namespace {

// A ramp with a random sample one in 64: after Sub, long runs of zeros and a
// few rare differences, whose codes run deeper than deflate allows unless
// the coder flattens them.
TestMosaic rampMosaic(int32_t width, int32_t height, int32_t bits, uint32_t seed)
{
    TestMosaic m{width, height, bits, std::vector<uint16_t>(static_cast<size_t>(width * height))};
    std::mt19937 random(seed);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const auto v = static_cast<uint32_t>(random() % 64 == 0 ? random() : static_cast<uint32_t>(x / 300 + y / 5));
            m.samples[static_cast<size_t>(y * width + x)] = static_cast<uint16_t>(v & ((1u << bits) - 1u));
        }
    }
    return m;
}

// Cell pictures and demosaicked ones from frames of known samples, built and
// encoded band by band from the last band to the first (so no band leans on
// another), each band given only the sample rows it needs; libpng must read
// back exactly the pictures the definitions give, and pngcheck pass the file.
// Pictures are built on the vector paths and on the scalar ones. Ramps make
// 16-bit bands of several deflate blocks, long runs and skewed codes.
class PngWriterTest : public testing::TestWithParam<bool> {};

TEST_P(PngWriterTest, PicturesInBandsReadBackExactly)
{
    struct Case { int32_t pattern, width, height, bits, depth, bandRows; bool demosaic; bool ramp = false; };
    const Case cases[] = {
        {1, 2, 2, 10, 8, 1, false},   {2, 15, 21, 12, 16, 3, false}, {3, 33, 20, 8, 8, 7, true},
        {4, 34, 21, 16, 16, 4, true}, {1, 7, 9, 14, 8, 9, true},     {2, 64, 40, 10, 16, 40, false},
        {3, 1002, 30, 10, 8, 4, false}, {4, 9, 2, 11, 16, 1, true},  {1, 40, 31, 10, 16, 5, true},
        {2, 2085, 5, 12, 8, 2, true},   {3, 1031, 4, 16, 16, 3, true},  // past a column chunk
        {1, 2000, 4, 10, 8, 1, false},  // a band of noise, stored, and a flat one
        {2, 6000, 24, 12, 16, 12, false, true}, {4, 3001, 9, 16, 16, 9, true, true},
    };
    setVectorPathsEnabled(GetParam());
    TempDir dir;
    uint32_t seed = 1;
    for (const Case& c : cases) {
        const char* pattern = patternName(c.pattern);
        SCOPED_TRACE(testing::Message() << pattern << " " << c.width << "x" << c.height << " depth " << c.depth);
        const TestMosaic m = (c.ramp ? rampMosaic : randomMosaic)(c.width, c.height, c.bits, seed++);
        const MosaicFrame frame = m.frame(c.pattern);
        const DevelopTables tables = shiftTables(c.bits, c.depth);
        const PixelFormat format = c.depth == 8 ? PixelFormat::kRgb8 : PixelFormat::kRgb16BigEndian;
        const int32_t width = c.demosaic ? c.width : c.width / 2;
        const int32_t height = c.demosaic ? c.height : c.height / 2;
        const int32_t rowBytes = width * pixelBytes(format);
        std::vector<PngBand> bands(static_cast<size_t>((height + c.bandRows - 1) / c.bandRows));
        std::vector<const uint16_t*> rows;
        for (size_t b = bands.size(); b-- > 0;) {
            const int32_t first = static_cast<int32_t>(b) * c.bandRows;
            const int32_t count = std::min(c.bandRows, height - first);
            std::vector<uint8_t> picture(static_cast<size_t>(count * rowBytes));
            const RowSpan span = c.demosaic ? demosaicSampleRows(frame, first, count) : RowSpan{2 * first, 2 * count};
            const SampleRows band = m.band(span.first, span.count, &rows);
            ASSERT_TRUE(c.demosaic ? demosaicRows(frame, band, tables, first, count, format, picture.data(), rowBytes)
                                   : developCellRows(frame, band, tables, first, count, 1, format, picture.data(), rowBytes));
            ASSERT_TRUE(pngEncodeBand(picture.data(), rowBytes, count, width, c.depth, b + 1 == bands.size(), &bands[b]));
        }
        std::vector<uint8_t> file = pngStart(width, height, c.depth);
        uint32_t adler = kPngAdlerStart;
        for (const PngBand& band : bands) {
            file.insert(file.end(), band.chunk.begin(), band.chunk.end());
            adler = pngCombineAdler(adler, band);
        }
        const std::vector<uint8_t> end = pngFinish(adler);
        file.insert(file.end(), end.begin(), end.end());

        EXPECT_EQ(readPng(file, c.depth, width, height),
                  c.demosaic ? expectedDemosaic(m, pattern, c.depth) : expectedCells(m, pattern, c.depth, 1));
        const std::string path = dir.file("picture.png");
        writeFile(path, file);
        EXPECT_EQ(std::system(("pngcheck -q " + path + " >/dev/null").c_str()), 0);
    }
    setVectorPathsEnabled(true);
}

INSTANTIATE_TEST_SUITE_P(Paths, PngWriterTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Vector" : "Scalar"; });

}  // namespace
