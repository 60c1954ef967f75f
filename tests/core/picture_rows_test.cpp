#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "develop.h"
#include "mosaic_samples.h"
#include "picture_rows.h"

namespace {

DevelopTables shiftTables(int32_t bits, int32_t outBits)
{
    DevelopTables tables;
    DevelopSettings settings;
    settings.bits = bits;
    EXPECT_TRUE(buildDevelopTables(settings, outBits, &tables));
    return tables;
}

MosaicFrame frameOf(const TestMosaic& m, int32_t pattern)
{
    return {m.width, m.height, m.bits, cellLayoutFor(pattern)};
}

// Corners, edges and the inside of one 4 x 3 frame under every pattern, worked
// out by hand in sample units (16-bit samples, so the output is the mean).
TEST(DemosaicTest, HandComputedPixels)
{
    const TestMosaic m{4, 3, 16, {11, 250, 37, 400, 73, 5, 190, 64, 300, 128, 9, 222}};
    struct Pixel {
        int32_t pattern, x, y;
        uint32_t r, g, b;
    };
    const Pixel pixels[] = {
        {1, 0, 0, 11, 161, 5},   {1, 1, 0, 24, 250, 5},   {1, 3, 0, 37, 400, 64},
        {1, 2, 1, 23, 190, 34},  {1, 1, 1, 89, 160, 5},   {1, 3, 1, 23, 270, 64},
        {1, 0, 2, 300, 100, 5},  {1, 2, 2, 9, 180, 34},   {1, 0, 1, 155, 73, 5},
        {2, 0, 0, 250, 11, 73},  {2, 1, 1, 189, 5, 131},  {2, 3, 2, 222, 36, 190},
        {3, 0, 0, 5, 161, 11},   {3, 1, 1, 5, 160, 89},   {3, 3, 2, 64, 222, 9},
        {4, 2, 1, 190, 28, 250}, {4, 3, 0, 190, 50, 400},
    };
    const DevelopTables tables = shiftTables(16, 16);
    std::vector<const uint16_t*> rows;
    for (const Pixel& p : pixels) {
        std::vector<uint8_t> out(4 * 3 * 6);
        ASSERT_TRUE(demosaicRows(frameOf(m, p.pattern), m.band(0, 3, &rows), tables, 0, 3,
                                 PixelFormat::kRgb16BigEndian, out.data(), 4 * 6));
        const uint8_t* px = &out[static_cast<size_t>((p.y * 4 + p.x) * 6)];
        EXPECT_EQ(px[0] << 8 | px[1], p.r) << patternName(p.pattern) << " " << p.x << "," << p.y;
        EXPECT_EQ(px[2] << 8 | px[3], p.g) << patternName(p.pattern) << " " << p.x << "," << p.y;
        EXPECT_EQ(px[4] << 8 | px[5], p.b) << patternName(p.pattern) << " " << p.x << "," << p.y;
    }
}

// Whole pictures built band by band, each band given only the sample rows it
// needs, against the definitions; BGR is written bottom-up as a BMP stores it.
TEST(PictureRowsTest, WholePicturesInBandsMatchTheDefinitions)
{
    struct Case {
        int32_t pattern, width, height, bits, bandRows, step;
        PixelFormat format;
    };
    const Case cases[] = {
        {1, 2, 2, 10, 1, 1, PixelFormat::kRgb8},         {2, 5, 3, 12, 2, 1, PixelFormat::kRgb16BigEndian},
        {3, 33, 20, 8, 7, 3, PixelFormat::kRgb8},        {4, 34, 21, 16, 4, 1, PixelFormat::kRgb16BigEndian},
        {1, 7, 9, 14, 9, 2, PixelFormat::kBgr8},         {2, 40, 31, 10, 5, 1, PixelFormat::kRgb16BigEndian},
        {3, 9, 2, 11, 1, 4, PixelFormat::kRgb16BigEndian}, {4, 64, 17, 10, 3, 1, PixelFormat::kBgr8},
    };
    uint32_t seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << patternName(c.pattern) << " " << c.width << "x" << c.height
                                        << " bits " << c.bits << " band " << c.bandRows);
        const TestMosaic m = randomMosaic(c.width, c.height, c.bits, seed++);
        const MosaicFrame frame = frameOf(m, c.pattern);
        const int32_t outBits = formatBits(c.format);
        const DevelopTables tables = shiftTables(c.bits, outBits);
        const bool bgr = c.format == PixelFormat::kBgr8;
        std::vector<const uint16_t*> rows;
        // Runs `build` over bands of a picture of `height` rows of `rowBytes`;
        // BGR rows land bottom-up, then are turned back into top-down RGB.
        const auto picture = [&](int32_t height, int32_t rowBytes, auto build) {
            std::vector<uint8_t> out(static_cast<size_t>(height * rowBytes));
            for (int32_t first = 0; first < height; first += c.bandRows) {
                const int32_t count = std::min(c.bandRows, height - first);
                uint8_t* at = &out[static_cast<size_t>((bgr ? height - 1 - first : first) * rowBytes)];
                EXPECT_TRUE(build(first, count, at, bgr ? -rowBytes : rowBytes));
            }
            if (bgr) {
                for (int32_t y = 0; y < height / 2; ++y) {
                    std::swap_ranges(&out[static_cast<size_t>(y * rowBytes)], &out[static_cast<size_t>((y + 1) * rowBytes)],
                                     &out[static_cast<size_t>((height - 1 - y) * rowBytes)]);
                }
                for (size_t i = 0; i < out.size(); i += 3) {
                    std::swap(out[i], out[i + 2]);
                }
            }
            return out;
        };
        const int32_t pixel = pixelBytes(c.format);
        const int32_t cellHeight = steppedWidth(c.height / 2, c.step);
        const auto cells = picture(cellHeight, steppedWidth(c.width / 2, c.step) * pixel,
                                   [&](int32_t first, int32_t count, uint8_t* out, int64_t stride) {
            // Stepped rows come one at a time, as a preview takes them.
            bool ok = true;
            for (int32_t k = 0; k < count; ++k) {
                const int32_t row = (first + k) * c.step;
                ok = ok && developCellRows(frame, m.band(2 * row, 2, &rows), tables, row, 1, c.step,
                                           c.format, out + k * stride, stride);
            }
            return ok;
        });
        EXPECT_EQ(cells, expectedCells(m, patternName(c.pattern), outBits, c.step));
        const auto full = picture(c.height, c.width * pixel,
                                  [&](int32_t first, int32_t count, uint8_t* out, int64_t stride) {
            const RowSpan span = demosaicSampleRows(frame, first, count);
            return demosaicRows(frame, m.band(span.first, span.count, &rows), tables, first, count,
                                c.format, out, stride);
        });
        EXPECT_EQ(full, expectedDemosaic(m, patternName(c.pattern), outBits));
    }
}

TEST(PictureRowsTest, RefusesWhatWouldReadOutsideItsInput)
{
    const TestMosaic m = randomMosaic(8, 6, 10, 3);
    const MosaicFrame frame = frameOf(m, 1);
    const DevelopTables tables = shiftTables(10, 8);
    std::vector<const uint16_t*> rows;
    std::vector<uint8_t> out(8 * 6 * 3);
    const auto rgb = PixelFormat::kRgb8;
    EXPECT_FALSE(demosaicRows(frame, m.band(1, 3, &rows), tables, 2, 2, rgb, out.data(), 24));  // no row 4
    EXPECT_FALSE(demosaicRows(frame, m.band(0, 6, &rows), tables, 5, 2, rgb, out.data(), 24));  // past the end
    EXPECT_FALSE(developCellRows(frame, m.band(2, 3, &rows), tables, 1, 2, 1, rgb, out.data(), 12));  // no row 5
    EXPECT_FALSE(developCellRows(frame, m.band(0, 6, &rows), tables, 3, 1, 1, rgb, out.data(), 12));  // past the end
    EXPECT_FALSE(developCellRows(frame, m.band(0, 6, &rows), tables, 0, 1, 0, rgb, out.data(), 12));  // step 0
    EXPECT_FALSE(developCellRows(frame, m.band(0, 6, &rows), shiftTables(12, 8), 0, 1, 1, rgb, out.data(), 12));
    EXPECT_FALSE(developCellRows(frame, m.band(0, 6, &rows), tables, 0, 1, 1, PixelFormat::kRgb16BigEndian,
                                 out.data(), 12));
}

// One 2 x 2 RGGB cell developed, values worked out by hand (to nearest).
TEST(DevelopTest, HandComputedValues)
{
    struct Case {
        int32_t bits;
        uint16_t black;
        double gains[3];
        bool srgb;
        int32_t outBits;
        uint16_t red, green1, green2, blue;
        uint32_t r, g, b;
    };
    const Case cases[] = {
        {10, 0, {2, 1, 0.5}, false, 8, 100, 300, 301, 1000, 50, 75, 125},  // 200, 300, 500 of 1023
        {10, 0, {2, 1, 1}, false, 8, 600, 1023, 1023, 0, 255, 255, 0},     // 1200 clips to white
        {10, 64, {1, 1, 1}, false, 16, 10, 500, 511, 1023, 0, 30137, 65535},  // 441 / 959 of white
        {10, 64, {1, 1, 1}, false, 16, 64, 300, 300, 1023, 0, 16127, 65535},
        {8, 0, {1, 1, 1}, true, 8, 1, 128, 129, 64, 13, 188, 137},        // sRGB of 1, 128, 64 / 255
        {10, 0, {1, 1, 1}, false, 8, 1023, 3, 5, 3, 255, 0, 0},           // shifts: (0 + 1) / 2, not 4 >> 2
        {10, 0, {1, 1, 1}, false, 16, 1023, 3, 4, 1, 65472, 224, 64},     // (192 + 256) / 2
        {16, 0, {1, 1, 1}, false, 8, 65535, 255, 256, 511, 255, 0, 1},
    };
    for (const Case& c : cases) {
        const TestMosaic m{2, 2, c.bits, {c.red, c.green1, c.green2, c.blue}};
        DevelopSettings settings{c.bits, c.black, {c.gains[0], c.gains[1], c.gains[2]}, c.srgb};
        DevelopTables tables;
        ASSERT_TRUE(buildDevelopTables(settings, c.outBits, &tables));
        const PixelFormat format = c.outBits == 8 ? PixelFormat::kRgb8 : PixelFormat::kRgb16BigEndian;
        std::vector<const uint16_t*> rows;
        std::vector<uint8_t> out(6);
        ASSERT_TRUE(developCellRows(frameOf(m, 1), m.band(0, 2, &rows), tables, 0, 1, 1, format, out.data(), 6));
        std::vector<uint8_t> expected;
        for (const uint32_t v : {c.r, c.g, c.b}) {
            putValue(&expected, v, c.outBits);
        }
        out.resize(expected.size());
        EXPECT_EQ(out, expected) << "bits " << c.bits << " black " << c.black << " red " << c.red;
    }
    DevelopTables tables;
    EXPECT_FALSE(buildDevelopTables({10, 1023, {1, 1, 1}, false}, 8, &tables));  // black at white
    EXPECT_FALSE(buildDevelopTables({10, 0, {1, -1, 1}, false}, 8, &tables));
    EXPECT_FALSE(buildDevelopTables({7, 0, {1, 1, 1}, false}, 8, &tables));
    EXPECT_FALSE(buildDevelopTables({10, 0, {1, 1, 1}, false}, 12, &tables));
}

// Frames of one value a colour (red alternating between two by cell column),
// summed in two bands; the gains bring red and blue means to green's.
TEST(DevelopTest, GreyWorldGains)
{
    struct Case {
        int32_t pattern, width, height;
        uint16_t black, red0, red1, green, blue;
        double gains[3];
    };
    const Case cases[] = {
        {1, 5, 3, 0, 100, 100, 200, 400, {2, 1, 0.5}},
        {3, 4, 4, 50, 100, 100, 200, 400, {3, 1, 150.0 / 350}},
        {2, 7, 5, 50, 40, 160, 160, 60, {3, 1, 11}},  // red below black counts 0: 110 / 3
        {4, 4, 2, 0, 0, 0, 80, 160, {1, 1, 0.5}},     // no red to balance
        {1, 6, 4, 300, 100, 100, 200, 299, {1, 1, 1}},  // nothing above black
    };
    for (const Case& c : cases) {
        TestMosaic m{c.width, c.height, 10, {}};
        for (int32_t y = 0; y < c.height; ++y) {
            for (int32_t x = 0; x < c.width; ++x) {
                const char letter = letterAt(patternName(c.pattern), x, y);
                m.samples.push_back(letter == 'G' ? c.green : letter == 'B' ? c.blue : (x / 2) % 2 ? c.red1 : c.red0);
            }
        }
        ColourSums sums;
        std::vector<const uint16_t*> rows;
        const int32_t split = c.height / 2 + 1;
        addColourSums(frameOf(m, c.pattern), m.band(0, split, &rows), c.black, &sums);
        addColourSums(frameOf(m, c.pattern), m.band(split, c.height - split, &rows), c.black, &sums);
        double gains[3];
        greyWorldGains(sums, gains);
        for (int32_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(gains[i], c.gains[i], 1e-12) << patternName(c.pattern) << " colour " << i;
        }
    }
}

}  // namespace
