// The qcom10 decoders' refusals and the geometry that sizes every buffer; their
// pictures are checked with the other layouts' in raw_layout_test.cpp.
#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <vector>

#include "raw/cell_layout.h"
#include "support/raw_builder.h"
#include "decode/raw_decoder.h"
#include "raw/raw_geometry.h"

namespace {

using DecodeFunction = bool (*)(const uint8_t*, size_t, int64_t, int64_t, CellLayout, const BgrRows&);

// Sizes clamped to 0 and to 65536, never negative or wrapped; the smallest
// and largest decodable.
TEST(Qcom10Decoder, GeometryOfOutOfRangeSizes)
{
    // Aligned width, row bytes, N, picture width and height, stride.
    for (const auto& [width, height, geometry] : std::initializer_list<std::tuple<int64_t, int64_t, std::vector<int64_t>>>{
             {7, 3, {12, 16, 48, 6, 1, 20}}, {-12, 10, {0, 0, 0, 0, 5, 0}}, {12, -5, {12, 16, 0, 6, 0, 20}},
             {INT32_MAX, INT32_MAX, {65538, 87384, 5726797824, 32769, 32768, 98308}}}) {
        const RawGeometry g = rawGeometry(width, height);
        EXPECT_EQ((std::vector<int64_t>{g.alignedWidth, g.rowBytes, g.inputBytes, g.pictureWidth, g.pictureHeight, g.stride}),
                  geometry) << width << " x " << height;
    }
    for (const auto& [width, height, decodable] : {std::tuple{1, 2, true}, {1, 1, false}, {0, 2, false},
                                                   {65536, 65536, true}, {65537, 2, false}, {2, 65537, false}}) {
        EXPECT_EQ(isDecodableGeometry(width, height), decodable) << width << " x " << height;
    }
}

TEST(Qcom10Decoder, ShortInputOrWrongPictureIsRefusedUntouched)
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

}  // namespace
