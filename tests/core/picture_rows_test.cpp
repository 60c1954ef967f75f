#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/vector_paths.h"
#include "support/mosaic_samples.h"
#include "picture/picture_rows.h"

namespace {

TEST(PictureRowsTest, RefusesWhatWouldReadOutsideItsInput)
{
    const TestMosaic m = randomMosaic(8, 6, 10, 3);
    const DevelopTables tables = shiftTables(10, 8);
    std::vector<const uint16_t*> rows;
    std::vector<uint8_t> out(8 * 6 * 6);
    const auto rgb = PixelFormat::kRgb8;
    EXPECT_FALSE(demosaicRows(m.frame(1), m.band(1, 3, &rows), tables, 2, 2, rgb, out.data(), 24));  // no row 4
    EXPECT_FALSE(demosaicRows(m.frame(1), m.band(0, 6, &rows), tables, 5, 2, rgb, out.data(), 24));  // past the end
    EXPECT_FALSE(developCellRows(m.frame(1), m.band(2, 3, &rows), tables, 1, 2, 1, rgb, out.data(), 12));  // no row 5
    EXPECT_FALSE(developCellRows(m.frame(1), m.band(0, 6, &rows), tables, 3, 1, 1, rgb, out.data(), 12));  // past the end
    EXPECT_FALSE(developCellRows(m.frame(1), m.band(0, 6, &rows), shiftTables(12, 8), 0, 1, 1, rgb, out.data(), 12));
}

// The demosaic through shift tables in BMP's byte order and PNG's, every row
// at once, against the definition. Widths put columns on each path: the widest
// vector steps, a narrower step after them, scalar columns and the edges;
// samples of up to 14 bits and deeper ones take different vector kernels.
TEST(PictureRowsTest, DemosaicFollowsTheDefinitionOnEveryPath)
{
    struct Case { int32_t pattern, width, height, bits, depth; };
    const Case cases[] = {{1, 53, 5, 10, 8}, {2, 67, 4, 8, 8},  {3, 100, 3, 14, 8},
                          {4, 71, 4, 16, 8}, {1, 45, 4, 15, 16}, {2, 37, 3, 12, 16}};
    uint32_t seed = 7;
    for (const bool vectors : {true, false}) {
        setVectorPathsEnabled(vectors);
        for (const Case& c : cases) {
            const TestMosaic m = randomMosaic(c.width, c.height, c.bits, seed++);
            const std::vector<uint8_t> rgb = expectedDemosaic(m, patternName(c.pattern), c.depth);
            std::vector<uint8_t> bgr = rgb;
            for (size_t i = 0; i + 2 < bgr.size(); i += 3) {
                std::swap(bgr[i], bgr[i + 2]);
            }
            using Expected = std::pair<PixelFormat, const std::vector<uint8_t>*>;
            const std::vector<Expected> formats = c.depth == 8 ? std::vector<Expected>{{PixelFormat::kRgb8, &rgb}, {PixelFormat::kBgr8, &bgr}}
                                                               : std::vector<Expected>{{PixelFormat::kRgb16BigEndian, &rgb}};
            for (const auto& [format, expected] : formats) {
                SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " bits " << c.bits << " format "
                                                << static_cast<int>(format) << (vectors ? " vector" : " scalar"));
                std::vector<uint8_t> picture(expected->size());
                std::vector<const uint16_t*> rows;
                const int32_t rowBytes = c.width * pixelBytes(format);
                ASSERT_TRUE(demosaicRows(m.frame(c.pattern), m.band(0, c.height, &rows), shiftTables(c.bits, c.depth), 0,
                                         c.height, format, picture.data(), rowBytes));
                EXPECT_EQ(picture, *expected);
            }
        }
    }
    setVectorPathsEnabled(true);
}

// One 2 x 2 RGGB cell developed, values worked out by hand (to nearest).
TEST(DevelopTest, HandComputedValues)
{
    struct Case { int32_t bits; uint16_t black; double gains[3]; bool srgb; int32_t outBits;
                  uint16_t red, green1, green2, blue; uint32_t r, g, b; };
    const Case cases[] = {
        {10, 0, {2, 1, 0.5}, false, 8, 100, 300, 301, 1000, 50, 75, 125},  // 200, 300, 500 of 1023
        {10, 0, {2, 1, 1}, false, 8, 600, 1023, 1023, 0, 255, 255, 0},     // 1200 clips to white
        {10, 64, {1, 1, 1}, false, 16, 10, 500, 511, 1023, 0, 30137, 65535},  // 441 / 959 of white
        {10, 64, {1, 1, 1}, false, 16, 64, 300, 300, 1023, 0, 16127, 65535},
        {8, 0, {1, 1, 1}, true, 8, 1, 128, 129, 64, 13, 188, 137},        // sRGB of 1, 128, 64 / 255
        {10, 0, {1, 1, 1}, false, 8, 1023, 3, 5, 3, 255, 0, 0},           // shifts: (0 + 1) / 2, not 4 >> 2
        {10, 0, {1, 1, 1}, false, 16, 1023, 3, 4, 1, 65472, 224, 64},     // (192 + 256) / 2
        {16, 0, {1, 1, 1}, false, 8, 65535, 255, 256, 511, 255, 0, 1},
        {10, 0, {1, 2, 1}, false, 8, 100, 300, 301, 1000, 25, 150, 249},  // green alone gained
        {10, 0, {1, 1, 1}, true, 16, 1, 1023, 1023, 0, 828, 65535, 0},     // sRGB's straight foot
    };
    for (const Case& c : cases) {
        const TestMosaic m{2, 2, c.bits, {c.red, c.green1, c.green2, c.blue}};
        DevelopTables tables;
        ASSERT_TRUE(buildDevelopTables({c.bits, c.black, {c.gains[0], c.gains[1], c.gains[2]}, c.srgb}, c.outBits, &tables));
        std::vector<const uint16_t*> rows;
        std::vector<uint8_t> out(6), expected;
        for (const uint32_t v : {c.r, c.g, c.b}) {
            putValue(&expected, v, c.outBits);
        }
        const PixelFormat format = c.outBits == 8 ? PixelFormat::kRgb8 : PixelFormat::kRgb16BigEndian;
        ASSERT_TRUE(developCellRows(m.frame(1), m.band(0, 2, &rows), tables, 0, 1, 1, format, out.data(), 6));
        out.resize(expected.size());
        EXPECT_EQ(out, expected) << "bits " << c.bits << " black " << c.black << " red " << c.red;
    }
    DevelopTables tables;
    EXPECT_FALSE(buildDevelopTables({10, 1023, {1, 1, 1}, false}, 8, &tables));  // black at white
    EXPECT_FALSE(buildDevelopTables({10, 0, {1, -1, 1}, false}, 8, &tables));
}

// Frames of one value a colour (red alternating between two by cell column),
// summed in two bands; the gains bring red and blue means to green's.
TEST(DevelopTest, GreyWorldGains)
{
    struct Case { int32_t pattern, width, height; uint16_t black, red0, red1, green, blue; double gains[3]; };
    const Case cases[] = {
        {1, 17, 3, 0, 100, 100, 200, 400, {2, 1, 0.5}},
        {3, 4, 4, 50, 100, 100, 200, 400, {3, 1, 150.0 / 350}},
        {2, 21, 5, 50, 40, 160, 160, 60, {2, 1, 11}},   // red below black counts 0: mean 55
        {4, 4, 2, 0, 0, 0, 80, 160, {1, 1, 0.5}},       // no red to balance
        {1, 6, 4, 300, 100, 100, 200, 299, {1, 1, 1}},  // nothing above black
    };
    for (const Case& c : cases) {
        TestMosaic m{c.width, c.height, 10, {}};
        for (int32_t i = 0; i < c.width * c.height; ++i) {
            const int32_t x = i % c.width;
            const char letter = letterAt(patternName(c.pattern), x, i / c.width);
            m.samples.push_back(letter == 'G' ? c.green : letter == 'B' ? c.blue : (x / 2) % 2 ? c.red1 : c.red0);
        }
        ColourSums sums;
        std::vector<const uint16_t*> rows;
        const int32_t split = c.height / 2 + 1;
        addColourSums(m.frame(c.pattern), m.band(0, split, &rows), c.black, &sums);
        addColourSums(m.frame(c.pattern), m.band(split, c.height - split, &rows), c.black, &sums);
        double gains[3];
        greyWorldGains(sums, gains);
        for (int32_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(gains[i], c.gains[i], 1e-12) << patternName(c.pattern) << " colour " << i;
        }
    }
}

}  // namespace
