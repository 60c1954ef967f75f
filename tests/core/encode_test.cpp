// The PNG and DNG files built as a converter builds them, read back by real
// readers: libpng and pngcheck, LibRaw and exiftool.
#include <gtest/gtest.h>
#include <libraw/libraw.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "encode/dng_writer.h"
#include "encode/png_writer.h"
#include "picture/picture_rows.h"
#include "platform/vector_paths.h"
#include "support/mosaic_samples.h"
#include "support/png_reader.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

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

// A 16-bit band's bytes are the same on both paths, so a picture does not
// depend on the processor: rows where each byte repeats the one before half
// the time put runs at every place a vector step can leave them.
TEST(PngWriterPaths, SixteenBitBandsAreTheSameBytesOnBothPaths)
{
    std::mt19937 random(3);
    std::vector<uint8_t> rows(6 * 500 * 8);
    for (size_t i = 1; i < rows.size(); ++i) {
        rows[i] = random() % 2 == 0 ? rows[i - 1] : static_cast<uint8_t>(random() % 4);
    }
    PngBand vector, scalar;
    ASSERT_TRUE(pngEncodeBand(rows.data(), 6 * 500, 8, 500, 16, true, &vector));
    setVectorPathsEnabled(false);
    ASSERT_TRUE(pngEncodeBand(rows.data(), 6 * 500, 8, 500, 16, true, &scalar));
    setVectorPathsEnabled(true);
    EXPECT_EQ(vector.chunk, scalar.chunk);
}

// The head, the raw rows, and the preview rows (which a converter keeps aside
// while the bands go by) at the end.
std::vector<uint8_t> buildDng(const DngDescription& d, const TestMosaic& m, const DngLayout& layout)
{
    std::vector<uint8_t> file = dngHead(d, layout);
    EXPECT_EQ(file.size(), layout.rawOffset);
    file.resize(layout.previewOffset);
    for (int32_t y = 0; y < m.height; ++y) {
        const size_t at = static_cast<size_t>(y * m.width);
        dngRawRow(&m.samples[at], m.width, &file[layout.rawOffset + 2 * at]);
    }
    const DevelopTables tables = shiftTables(m.bits, 8);
    std::vector<const uint16_t*> rows;
    for (int32_t cellRow = 0; cellRow < m.height / 2; ++cellRow) {
        if (isDngPreviewCellRow(layout, cellRow)) {
            std::vector<uint8_t> row(3 * static_cast<size_t>(layout.previewWidth));
            EXPECT_TRUE(developCellRows(d.frame, m.band(2 * cellRow, 2, &rows), tables, cellRow, 1,
                                        layout.previewStep, PixelFormat::kRgb8, row.data(), 0));
            file.insert(file.end(), row.begin(), row.end());
        }
    }
    EXPECT_EQ(file.size(), layout.fileBytes);
    return file;
}

// Frames of random samples in every pattern and several depths, written as a
// converter writes them; LibRaw reads back every sample, the pattern, the
// levels, the white balance, the orientation and the preview, and exiftool
// finds nothing to warn about and the matrix's illuminant D65. ColorMatrix1
// holds sRGB's own XYZ matrix, so the conversion from camera colours to sRGB
// LibRaw derives from it must change nothing. (LibRaw refuses frames under 22
// samples a side.) Frames the file cannot describe are refused.
TEST(DngWriterTest, LibRawReadsBackEverySample)
{
    struct Case { int32_t pattern, bits, width, height; uint16_t black; double gains[3]; int32_t previewStep; };
    const Case cases[] = {
        {1, 10, 64, 48, 0, {1, 1, 1}, 1},       {2, 12, 37, 29, 64, {2, 1, 1.5}, 1},
        {3, 16, 22, 22, 1000, {0.5, 2, 4}, 1},  {4, 8, 2100, 24, 16, {1.25, 1, 3}, 2},
        {1, 14, 23, 4200, 512, {1, 1, 1}, 3},
    };
    TempDir dir;
    uint32_t seed = 40;
    for (const Case& c : cases) {
        const char* pattern = patternName(c.pattern);
        SCOPED_TRACE(testing::Message() << pattern << " " << c.width << "x" << c.height << " bits " << c.bits);
        const TestMosaic m = randomMosaic(c.width, c.height, c.bits, seed++);
        DngDescription d{m.frame(c.pattern), c.black, {c.gains[0], c.gains[1], c.gains[2]}, "MIPI RAW10"};
        DngLayout layout;
        ASSERT_TRUE(planDng(d, &layout));
        const std::string path = dir.file(std::string("frame-") + pattern + ".dng");
        writeFile(path, buildDng(d, m, layout));

        auto raw = std::make_unique<LibRaw>();
        ASSERT_EQ(raw->open_file(path.c_str()), LIBRAW_SUCCESS);
        ASSERT_EQ(raw->unpack(), LIBRAW_SUCCESS);
        const libraw_data_t& data = raw->imgdata;
        ASSERT_TRUE(data.sizes.raw_width == c.width && data.sizes.raw_height == c.height);
        for (int32_t p = 0; p < 4; ++p) {
            EXPECT_EQ(data.idata.cdesc[raw->COLOR(p / 2, p % 2)], pattern[p]) << "cell position " << p;
        }
        EXPECT_EQ(data.sizes.flip, 0);  // top row first
        EXPECT_EQ(data.color.black, c.black);
        EXPECT_EQ(data.color.maximum, (1u << c.bits) - 1);
        for (int32_t i = 0; i < 9; ++i) {
            EXPECT_NEAR(data.color.rgb_cam[i / 3][i % 3], i % 4 == 0 ? 1 : 0, 2e-3) << "rgb_cam " << i;
        }
        for (int32_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(data.color.cam_mul[i] / data.color.cam_mul[1], c.gains[i] / c.gains[1], 1e-6);
        }
        size_t mismatches = 0;
        for (size_t i = 0, w = static_cast<size_t>(m.width); i < m.samples.size(); ++i) {
            mismatches += data.rawdata.raw_image[i / w * data.sizes.raw_pitch / 2 + i % w] != m.samples[i];
        }
        EXPECT_EQ(mismatches, 0u);

        ASSERT_EQ(raw->unpack_thumb(), LIBRAW_SUCCESS);
        EXPECT_EQ(data.thumbnail.tformat, LIBRAW_THUMBNAIL_BITMAP);
        EXPECT_EQ(data.thumbnail.twidth, layout.previewWidth);
        EXPECT_EQ(data.thumbnail.theight, layout.previewHeight);
        EXPECT_EQ(std::vector<uint8_t>(data.thumbnail.thumb, data.thumbnail.thumb + data.thumbnail.tlength),
                  expectedCells(m, pattern, 8, c.previewStep));

        std::string command = "exiftool -validate -warning -error -a -CalibrationIlluminant1 " + path;
        command += " >" + path + ".txt 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
        const std::vector<uint8_t> text = readFile(path + ".txt");
        const std::string report(text.begin(), text.end());
        EXPECT_TRUE(report.find("Validate") != std::string::npos && report.find(": OK") != std::string::npos &&
                    report.find("Warning") == std::string::npos && report.find("Error") == std::string::npos &&
                    report.find(": D65") != std::string::npos)
            << report;
    }
    DngLayout layout;  // refused: black at white, no inverse for AsShotNeutral, 8 GB
    const MosaicFrame frame{64, 48, 10, cellLayoutFor(1)};
    EXPECT_FALSE(planDng({frame, 1023, {1, 1, 1}, ""}, &layout));
    EXPECT_FALSE(planDng({frame, 0, {1, 0, 1}, ""}, &layout));
    EXPECT_FALSE(planDng({{65536, 65536, 16, cellLayoutFor(1)}, 0, {1, 1, 1}, ""}, &layout));
}

}  // namespace
