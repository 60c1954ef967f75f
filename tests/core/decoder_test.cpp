// The decoders, every path of them, against pictures built from known samples,
// and the geometry that sizes every buffer.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "raw/cell_layout.h"
#include "support/raw_builder.h"
#include "decode/raw_decoder.h"
#include "raw/raw_geometry.h"
#include "chart/test_chart.h"
#include "platform/vector_paths.h"

namespace {

using DecodeFunction = bool (*)(const uint8_t*, size_t, int64_t, int64_t, CellLayout, const BgrRows&);

class DecoderTest : public ::testing::Test {
protected:
    void TearDown() override { setVectorPathsEnabled(true); }

    // The decoded picture, or nothing when the decoder refuses.
    static std::vector<uint8_t> decode(DecodeFunction fn, const std::vector<uint8_t>& packed, int64_t width,
                                       int64_t height, int32_t pattern)
    {
        const RawGeometry g = rawGeometry(width, height);
        std::vector<uint8_t> pixels(static_cast<size_t>(g.stride * g.pictureHeight), 0);
        const BgrRows picture{pixels.data(), g.pictureWidth, g.pictureHeight, g.stride};
        const bool ok = fn(packed.data(), packed.size(), width, height, cellLayoutFor(pattern), picture);
        return ok ? pixels : std::vector<uint8_t>{};
    }
};

TEST_F(DecoderTest, GeometryOfTypicalAndOutOfRangeSizes)
{
    // Aligned width, row bytes, N, picture width and height, stride.
    for (const auto& [width, height, geometry] : std::initializer_list<std::tuple<int64_t, int64_t, std::vector<int64_t>>>{
             {7399, 4999, {7404, 9872, 49350128, 3702, 2499, 11108}},  // the largest the panel takes
             {1000, 600, {1002, 1336, 801600, 501, 300, 1504}},
             {7, 3, {12, 16, 48, 6, 1, 20}},
             // Clamped to 0 and to 65536, never negative or wrapped.
             {-12, 10, {0, 0, 0, 0, 5, 0}},
             {12, -5, {12, 16, 0, 6, 0, 20}},
             {INT32_MIN, INT32_MAX, {0, 0, 0, 0, 32768, 0}},
             {INT32_MAX, INT32_MAX, {65538, 87384, 5726797824, 32769, 32768, 98308}}}) {
        const RawGeometry g = rawGeometry(width, height);
        EXPECT_EQ((std::vector<int64_t>{g.alignedWidth, g.rowBytes, g.inputBytes, g.pictureWidth, g.pictureHeight, g.stride}),
                  geometry) << width << " x " << height;
    }
    for (const auto& [width, height, decodable] : {std::tuple{1, 2, true}, {1, 1, false}, {0, 2, false}, {-6, 2, false},
                                                   {65536, 65536, true}, {65537, 2, false}, {2, 65537, false}}) {
        EXPECT_EQ(isDecodableGeometry(width, height), decodable) << width << " x " << height;
    }
}

// Random samples in every pattern, at widths of odd and even group counts
// (the vector path takes groups two at a time) and odd heights, through the
// vector path, the scalar path machines without SSSE3 take, and the plain one.
TEST_F(DecoderTest, WholePicturesMatchTheSamplesOnEveryPath)
{
    // A known cell pins down the arithmetic the expected pictures assume: two
    // low bits dropped, the greens' mean truncated.
    RawFrame known = randomFrame(6, 2, 3);
    known.at(0, 0) = 400, known.at(1, 0) = 200, known.at(0, 1) = 207, known.at(1, 1) = 103;  // R G / G B
    for (const bool vector : {true, false}) {
        setVectorPathsEnabled(vector);
        std::vector<uint8_t> pixel = decode(decodePackedRaw, packFrame(known), 6, 2, 1);
        pixel.resize(3);
        EXPECT_EQ(pixel, (std::vector<uint8_t>{25, 50, 100}));
        uint32_t seed = 1;
        for (const auto& [width, height] : {std::pair{6, 2}, {7, 3}, {12, 2}, {18, 4}, {642, 5}, {1000, 6}, {97, 9}, {30, 481}}) {
            for (int32_t pattern = 1; pattern <= kPatternCount; ++pattern) {
                const RawFrame frame = randomFrame(width, height, seed++);
                const std::vector<uint8_t> expected = expectedPicture(frame, patternName(pattern));
                for (const DecodeFunction fn : {decodePackedRaw, decodePackedRawReference}) {
                    EXPECT_TRUE(decode(fn, packFrame(frame), width, height, pattern) == expected)
                        << patternName(pattern) << " " << width << "x" << height << (vector ? " vector" : " scalar");
                }
            }
        }
    }
}

TEST_F(DecoderTest, ShortInputOrWrongPictureIsRefusedUntouched)
{
    const std::vector<uint8_t> packed = packFrame(randomFrame(12, 4, 5));  // 64 bytes, picture 6 x 2
    std::vector<uint8_t> pixels(64, 0xAB);
    for (const DecodeFunction fn : {decodePackedRaw, decodePackedRawReference}) {
        // Input bytes, raw width and height, picture width, height and stride.
        for (const auto& [bytes, width, height, w, h, stride] :
             {std::tuple{63, 12, 4, 6, 2, 20}, {64, 12, 4, 5, 2, 20}, {64, 12, 4, 6, 3, 20}, {64, 12, 4, 6, 2, 17},
              {64, 12, 1, 6, 0, 20}, {64, 0, 4, 0, 2, 0}}) {
            EXPECT_FALSE(fn(packed.data(), static_cast<size_t>(bytes), width, height, cellLayoutFor(1),
                            BgrRows{pixels.data(), w, h, stride}))
                << bytes << " bytes, " << width << " x " << height;
        }
    }
    EXPECT_EQ(pixels, std::vector<uint8_t>(64, 0xAB));
}

// The window tests read the chart back from the screen: decoding its dump must
// give the chart exactly, in every pattern, also off the group size and with
// an odd height.
TEST_F(DecoderTest, TestChartDecodesToItsColours)
{
    for (const auto& [width, height, pattern] :
         {std::tuple{1000, 600, 1}, {1000, 600, 2}, {1000, 600, 3}, {1000, 600, 4}, {641, 481, 3}}) {
        const RawGeometry g = rawGeometry(width, height);
        const std::vector<uint8_t> pixels = decode(decodePackedRaw, buildTestChartRaw(width, height, pattern), width, height, pattern);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(g.stride * g.pictureHeight));
        int mismatches = 0;
        for (int32_t y = 0; y < g.pictureHeight; ++y) {
            for (int32_t x = 0; x < g.pictureWidth; ++x) {
                const uint8_t* p = &pixels[static_cast<size_t>((g.pictureHeight - 1 - y) * g.stride + 3 * int64_t{x})];
                const ChartColour c = testChartColour(x, y, g.pictureWidth, g.pictureHeight);
                mismatches += p[0] == c.b && p[1] == c.g && p[2] == c.r ? 0 : 1;
            }
        }
        EXPECT_EQ(mismatches, 0) << width << " x " << height << " " << patternName(pattern);
    }
}

}  // namespace
