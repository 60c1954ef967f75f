#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bayer_pattern.h"
#include "conversion_settings.h"
#include "raw_builder.h"
#include "raw_decoder.h"

namespace {

struct Decoded {
    bool ok = false;
    std::vector<uint8_t> pixels;
};

using DecodeFunction = bool (*)(const uint8_t*, size_t, int64_t, int64_t, CellLayout,
                                const BgrRows&);

Decoded decode(DecodeFunction fn, const std::vector<uint8_t>& packed, int32_t width, int32_t height,
               CellLayout cell)
{
    const RawGeometry g = rawGeometry(width, height);
    Decoded d;
    d.pixels.assign(static_cast<size_t>(g.stride * g.pictureHeight), 0);
    const BgrRows view{d.pixels.data(), g.pictureWidth, g.pictureHeight, g.stride};
    d.ok = fn(packed.data(), packed.size(), width, height, cell, view);
    return d;
}

TEST(PackedGroup, UnpacksEachTenBitField)
{
    // One sample at a time set to all ones shows each field's exact bits.
    for (int j = 0; j < 6; ++j) {
        uint16_t in[6] = {0, 0, 0, 0, 0, 0};
        in[j] = 0x3FF;
        uint8_t group[8];
        packGroup(in, group);
        uint16_t out[6];
        unpackGroup(group, out);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(out[i], i == j ? 0x3FF : 0) << "sample " << j << " leaks into " << i;
        }
    }
    // The four unused top bits never reach a sample.
    const uint8_t ones[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint16_t out[6];
    unpackGroup(ones, out);
    for (uint16_t s : out) {
        EXPECT_EQ(s, 1023);
    }
}

// Whole pictures of random samples against the picture built from the pattern's
// letters, for both decoders, every pattern, and widths and heights that are
// not whole groups or whole cells. Random greens catch a missing 10-bit mask.
TEST(Decoder, WholePicturesMatchThePatternLetters)
{
    const int32_t sizes[][2] = {{6, 2}, {7, 3}, {12, 2}, {18, 4}, {642, 5}, {1000, 6}, {97, 9}, {30, 481}};
    uint32_t seed = 1;
    for (const auto& size : sizes) {
        for (int32_t index = 1; index <= 4; ++index) {
            const std::string pattern = bayerItems[index];
            SCOPED_TRACE(pattern + " " + std::to_string(size[0]) + "x" + std::to_string(size[1]));
            const RawFrame frame = randomFrame(size[0], size[1], seed++);
            const std::vector<uint8_t> packed = packFrame(frame);
            const std::vector<uint8_t> expected = expectedPicture(frame, pattern);
            const CellLayout cell = cellLayoutFor(index);

            const Decoded fast = decode(decodePackedRaw, packed, size[0], size[1], cell);
            ASSERT_TRUE(fast.ok);
            EXPECT_EQ(fast.pixels, expected);
            const Decoded reference = decode(decodePackedRawReference, packed, size[0], size[1], cell);
            ASSERT_TRUE(reference.ok);
            EXPECT_EQ(reference.pixels, expected);
        }
    }
}

TEST(Decoder, CellValuesOfKnownSamples)
{
    // RGGB cell: R 400, G 200 over G 204, B 100 gives blue 25, green (51 + 50) / 2, red 100.
    RawFrame frame = randomFrame(6, 2, 3);
    frame.at(0, 0) = 400;
    frame.at(1, 0) = 200;
    frame.at(0, 1) = 204;
    frame.at(1, 1) = 100;
    Decoded d = decode(decodePackedRaw, packFrame(frame), 6, 2, cellLayoutFor(1));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels[0], 25);
    EXPECT_EQ(d.pixels[1], 50);
    EXPECT_EQ(d.pixels[2], 100);
}

TEST(Decoder, ShortInputOrWrongPictureIsRefusedUntouched)
{
    const RawFrame frame = randomFrame(12, 4, 5);
    std::vector<uint8_t> packed = packFrame(frame);
    const RawGeometry g = rawGeometry(12, 4);
    std::vector<uint8_t> pixels(static_cast<size_t>(g.stride * g.pictureHeight), 0xAB);
    const std::vector<uint8_t> untouched = pixels;
    const CellLayout cell = cellLayoutFor(1);

    BgrRows view{pixels.data(), g.pictureWidth, g.pictureHeight, g.stride};
    EXPECT_FALSE(decodePackedRaw(packed.data(), packed.size() - 1, 12, 4, cell, view));
    view.width = g.pictureWidth - 1;
    EXPECT_FALSE(decodePackedRaw(packed.data(), packed.size(), 12, 4, cell, view));
    view = {pixels.data(), g.pictureWidth, g.pictureHeight + 1, g.stride};
    EXPECT_FALSE(decodePackedRaw(packed.data(), packed.size(), 12, 4, cell, view));
    view = {pixels.data(), g.pictureWidth, g.pictureHeight, g.stride};
    EXPECT_FALSE(decodePackedRaw(packed.data(), packed.size(), 12, 1, cell, view));
    EXPECT_FALSE(decodePackedRaw(packed.data(), packed.size(), 0, 4, cell, view));
    EXPECT_FALSE(decodePackedRawReference(packed.data(), packed.size() - 1, 12, 4, cell, view));
    EXPECT_EQ(pixels, untouched);
}

TEST(Geometry, LargestPanelGeometryAndOutOfRangeValues)
{
    const RawGeometry largest = rawGeometry(7399, 4999);
    EXPECT_EQ(largest.alignedWidth, 7404);
    EXPECT_EQ(largest.inputBytes, int64_t{7404} / 6 * 8 * 4999);  // past 2^31 in 32-bit intermediates
    EXPECT_EQ(rawGeometry(-5, -5).inputBytes, 0);
    EXPECT_GT(rawGeometry(INT32_MAX, INT32_MAX).inputBytes, 0);  // clamped, never overflowed
}

}  // namespace
