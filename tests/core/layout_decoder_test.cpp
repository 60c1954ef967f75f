#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "raw/cell_layout.h"
#include "decode/layout_decoder.h"
#include "support/layout_packer.h"
#include "platform/vector_paths.h"

namespace {

struct Frame {
    int32_t width = 0;
    std::vector<std::vector<uint16_t>> samples;  // row by row
    std::vector<std::vector<uint8_t>> rows;      // packed, each exactly as long as it needs
};

Frame randomFrame(RawLayout layout, int32_t width, int32_t height, std::mt19937& random)
{
    Frame f;
    f.width = width;
    for (int32_t y = 0; y < height; ++y) {
        std::vector<uint16_t> row(static_cast<size_t>(width));
        for (uint16_t& s : row) {
            s = static_cast<uint16_t>(random() & ((1u << packedSampleBits(layout)) - 1));
        }
        f.rows.push_back(packLayoutRow(layout, row, random));
        f.samples.push_back(std::move(row));
    }
    return f;
}

// The picture from the pattern's letters, top row first: each sample's top 8
// bits, green the truncated mean of the two.
std::vector<uint8_t> expectedPicture(const Frame& f, int32_t bits, const std::string& pattern)
{
    std::vector<uint8_t> picture;
    for (size_t y = 0; y + 1 < f.samples.size(); y += 2) {
        for (size_t x = 0; x + 1 < static_cast<size_t>(f.width); x += 2) {
            unsigned blue = 0, greens = 0, red = 0;
            for (size_t cell = 0; cell < 4; ++cell) {
                const unsigned value = static_cast<unsigned>(f.samples[y + cell / 2][x + cell % 2]) >> (bits - 8);
                switch (pattern[cell]) {
                case 'R': red = value; break;
                case 'B': blue = value; break;
                default: greens += value; break;
                }
            }
            picture.insert(picture.end(), {static_cast<uint8_t>(blue), static_cast<uint8_t>(greens / 2),
                                           static_cast<uint8_t>(red)});
        }
    }
    return picture;
}

// Each row decoded into its own buffer followed by a guard of more than a
// vector step, which must come back untouched.
std::vector<uint8_t> decodePicture(RawLayout layout, const Frame& f, CellLayout cell, bool vector)
{
    setVectorPathsEnabled(vector);
    constexpr size_t kGuard = 64;
    const int32_t pixels = f.width / 2;
    const size_t rowBytes = 3 * static_cast<size_t>(pixels);
    std::vector<uint8_t> picture;
    for (size_t y = 0; y + 1 < f.rows.size(); y += 2) {
        std::vector<uint8_t> row(rowBytes + kGuard, 0xA5);
        EXPECT_TRUE(decodeRowPair(layout, f.rows[y].data(), f.rows[y + 1].data(), cell, pixels, row.data()));
        EXPECT_EQ(std::vector<uint8_t>(row.begin() + static_cast<std::ptrdiff_t>(rowBytes), row.end()),
                  std::vector<uint8_t>(kGuard, 0xA5));
        picture.insert(picture.end(), row.begin(), row.begin() + static_cast<std::ptrdiff_t>(rowBytes));
    }
    setVectorPathsEnabled(true);
    return picture;
}

class LayoutDecoder : public testing::TestWithParam<RawLayout> {};

// Widths 2..70 give every pixel count up to two vector steps and every tail
// after them, with odd widths' unused last column; heights 2 to 4, so odd ones
// too. Random samples over the layout's full range and random unused bits.
TEST_P(LayoutDecoder, WholePicturesOfEveryPatternOnBothPaths)
{
    const RawLayout layout = GetParam();
    std::mt19937 random(static_cast<uint32_t>(layout) + 100);
    std::vector<int32_t> widths;
    for (int32_t w = 2; w <= 70; ++w) {
        widths.push_back(w);
    }
    widths.push_back(1001);
    for (int32_t width : widths) {
        const Frame frame = randomFrame(layout, width, 2 + width % 3, random);
        for (int32_t pattern = 1; pattern <= kPatternCount; ++pattern) {
            const std::vector<uint8_t> expected =
                expectedPicture(frame, packedSampleBits(layout), patternName(pattern));
            for (bool vector : {true, false}) {
                SCOPED_TRACE(std::string(patternName(pattern)) + " width " + std::to_string(width) +
                             (vector ? " vector" : " scalar"));
                ASSERT_EQ(decodePicture(layout, frame, cellLayoutFor(pattern), vector), expected);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllButQcom10, LayoutDecoder,
                         testing::Values(RawLayout::Mipi10, RawLayout::Mipi12, RawLayout::Mipi14,
                                         RawLayout::Plain10, RawLayout::Plain12, RawLayout::Plain14,
                                         RawLayout::Plain16, RawLayout::Raw8),
                         [](const testing::TestParamInfo<RawLayout>& p) { return std::string(layoutName(p.param)); });

TEST(LayoutDecoderRefusals, TouchNothing)
{
    const std::vector<uint8_t> row(64, 0x5A);
    std::vector<uint8_t> out(48, 0xA5);
    const CellLayout redBesideBlue{kUpperLeft, kLowerLeft, kLowerRight, kUpperRight};
    const CellLayout greenTwice{kUpperLeft, kUpperRight, kUpperRight, kLowerRight};
    const struct {
        RawLayout layout;
        CellLayout cell;
        int32_t pixels;
    } cases[] = {
        {RawLayout::Qcom10, cellLayoutFor(1), 16},
        {RawLayout::Raw8, redBesideBlue, 16},
        {RawLayout::Raw8, greenTwice, 16},
        {RawLayout::Raw8, cellLayoutFor(1), -1},
        {static_cast<RawLayout>(kRawLayoutCount), cellLayoutFor(1), 16},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(decodeRowPair(c.layout, row.data(), row.data(), c.cell, c.pixels, out.data()));
    }
    EXPECT_EQ(out, std::vector<uint8_t>(48, 0xA5));
}

}  // namespace
