// Rows of every layout, packed from the layouts' bit descriptions: their
// samples at full precision and the 8-bit cell pictures the decoders make,
// against pictures built from the samples by the definitions; the decoders'
// refusals and the sizes they take.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "decode/layout_decoder.h"
#include "decode/raw_decoder.h"
#include "platform/vector_paths.h"
#include "raw/raw_geometry.h"
#include "raw/raw_layout.h"
#include "support/layout_packer.h"
#include "support/mosaic_samples.h"
#include "support/raw_builder.h"

namespace {

// Names in any letter case, nothing more or less; the picture width of an odd
// raw width and of qcom10's part group; row bytes past 2^31; the smallest and
// largest sizes the qcom10 decoder takes.
TEST(RawLayout, NamesAndSizes)
{
    for (const auto& [name, layout] : {std::pair{"QCOM10", RawLayout::Qcom10}, {"Mipi12", RawLayout::Mipi12},
                                       {"pLain16", RawLayout::Plain16}, {"rAW8", RawLayout::Raw8}}) {
        EXPECT_EQ(layoutByName(name), layout) << name;
    }
    for (const char* name : {"mipi", "mipi100", "raw8 ", "", "plain8"}) {
        EXPECT_EQ(layoutByName(name), std::nullopt) << name;
    }
    EXPECT_EQ(layoutPictureWidth(RawLayout::Qcom10, 7), 6);
    EXPECT_EQ(layoutPictureWidth(RawLayout::Mipi10, 7399), 3699);
    EXPECT_EQ(minimumRowBytes(RawLayout::Mipi14, INT32_MAX), int64_t{536870912} * 7);
    for (const auto& [width, height, decodable] : {std::tuple{1, 2, true}, {1, 1, false}, {0, 2, false},
                                                   {65536, 65536, true}, {65537, 2, false}, {2, 65537, false}}) {
        EXPECT_EQ(isDecodableGeometry(width, height), decodable) << width << " x " << height;
    }
}

// The cell picture a decoder gives, blue first, row pair by row pair, each
// decoded into a buffer of its own with a guard of more than a vector step
// after it, which must come back untouched.
std::vector<uint8_t> decodedCells(RawLayout layout, const std::vector<std::vector<uint8_t>>& rows, int32_t width,
                                  int32_t pattern)
{
    constexpr size_t kGuard = 64;
    const size_t rowBytes = 3 * static_cast<size_t>(width / 2);
    std::vector<uint8_t> picture;
    for (size_t y = 0; y + 1 < rows.size(); y += 2) {
        std::vector<uint8_t> out(rowBytes + kGuard, 0xA5);
        EXPECT_TRUE(decodeRowPair(layout, rows[y].data(), rows[y + 1].data(), cellLayoutFor(pattern), width / 2,
                                  out.data()));
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + static_cast<std::ptrdiff_t>(rowBytes), out.end()),
                  std::vector<uint8_t>(kGuard, 0xA5));
        for (size_t i = 0; i < rowBytes; i += 3) {
            picture.insert(picture.end(), {out[i + 2], out[i + 1], out[i]});
        }
    }
    return picture;
}

// Random samples over each layout's full range and random unused bits, at
// every width to 70 (each remainder of every group size, past two vector
// steps) and the widest panel row, heights 2 to 4; on the vector paths and
// the scalar ones (and qcom10's plain decoder). Qcom10's whole dump is one
// allocation of exactly its bytes. Each row is an allocation of exactly its bytes, so the
// sanitizers see a read past it; a guard after the samples catches a write.
class LayoutRows : public testing::TestWithParam<bool> {};

TEST_P(LayoutRows, SamplesAndCellPicturesExactAtEveryWidth)
{
    std::mt19937 random(11);
    setVectorPathsEnabled(GetParam());
    for (int32_t l = 0; l < kRawLayoutCount; ++l) {
        const auto layout = static_cast<RawLayout>(l);
        for (int32_t w = 1; w <= 71; ++w) {
            const int32_t raw = w == 71 ? 7399 : w;
            // Samples a row: qcom10 decodes its last group whole.
            const int32_t width = layout == RawLayout::Qcom10 ? (raw + 5) / 6 * 6 : raw;
            SCOPED_TRACE(std::string(layoutName(layout)) + " width " + std::to_string(raw));
            const TestMosaic m = randomMosaic(width, 2 + raw % 3, packedSampleBits(layout), static_cast<uint32_t>(random()));
            std::vector<std::vector<uint8_t>> rows;
            std::vector<uint8_t> dump;
            for (int32_t y = 0; y < m.height; ++y) {
                std::vector<uint16_t> samples(&m.samples[static_cast<size_t>(y * width)],
                                              &m.samples[static_cast<size_t>((y + 1) * width)]);
                rows.push_back(packLayoutRow(layout, samples, random));
                dump.insert(dump.end(), rows.back().begin(), rows.back().end());
                EXPECT_EQ(minimumRowBytes(layout, width), static_cast<int64_t>(rows.back().size()));
                std::vector<uint16_t> unpacked(samples.size() + 8, 0xBEEF);
                samples.resize(unpacked.size(), 0xBEEF);
                unpackRow(layout, rows.back().data(), width, unpacked.data());
                ASSERT_EQ(unpacked, samples);
                // Grey world's sums straight from the packed row, where a
                // layout has them.
                uint64_t expected[2] = {0, 0}, sums[2] = {7, 7};
                for (int32_t x = 0; x < raw; ++x) {
                    expected[x % 2] += samples[static_cast<size_t>(x)];
                }
                const bool mipi = layout == RawLayout::Mipi10 || layout == RawLayout::Mipi12 || layout == RawLayout::Mipi14;
                ASSERT_EQ(sumRow(layout, rows.back().data(), raw, sums), !mipi);
                if (mipi) {
                    expected[0] = expected[1] = 7;
                }
                ASSERT_EQ(std::tuple(sums[0], sums[1]), std::tuple(expected[0], expected[1]));
            }
            dump.shrink_to_fit();
            const RawGeometry g = rawGeometry(raw, m.height);
            for (int32_t pattern = 1; pattern <= kPatternCount; ++pattern) {
                const std::vector<uint8_t> cells = expectedCells(m, patternName(pattern), 8, 1);
                if (layout != RawLayout::Qcom10) {
                    ASSERT_EQ(decodedCells(layout, rows, width, pattern), cells) << patternName(pattern);
                    continue;
                }
                for (const auto decode : {decodePackedRaw, decodePackedRawReference}) {
                    std::vector<uint8_t> pixels(static_cast<size_t>(g.stride * g.pictureHeight));
                    EXPECT_TRUE(decode(dump.data(), dump.size(), raw, m.height, cellLayoutFor(pattern),
                                       BgrRows{pixels.data(), g.pictureWidth, g.pictureHeight, g.stride}));
                    ASSERT_EQ(pixels, bottomUpBgr(cells, g.pictureWidth, g.pictureHeight)) << patternName(pattern);
                }
            }
        }
    }
    setVectorPathsEnabled(true);
}

// Grey world's sums straight from rows as wide as a frame can be, every
// sample at its top value: the vector paths' running sums must neither run
// into each other nor overflow.
TEST_P(LayoutRows, SumsOfTheWidestRowsOfWhite)
{
    setVectorPathsEnabled(GetParam());
    std::mt19937 random(5);
    for (const RawLayout layout : {RawLayout::Qcom10, RawLayout::Plain16}) {
        const uint32_t top = (1u << packedSampleBits(layout)) - 1;
        const std::vector<uint16_t> white(kMaxMosaicDimension, static_cast<uint16_t>(top));
        uint64_t sums[2];
        EXPECT_TRUE(sumRow(layout, packLayoutRow(layout, white, random).data(), kMaxMosaicDimension, sums));
        EXPECT_EQ(std::tuple(sums[0], sums[1]), std::tuple(top * 32768ull, top * 32768ull)) << layoutName(layout);
    }
    setVectorPathsEnabled(true);
}

INSTANTIATE_TEST_SUITE_P(Paths, LayoutRows, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Vector" : "Scalar"; });

// The layout decoder given qcom10 (which raw_decoder.h decodes), a cell of no
// Bayer pattern, a negative count or a layout outside the enum; qcom10's
// given a short input, or a picture of another size or stride.
TEST(LayoutRows, DecodersRefuseTouchingNothing)
{
    const std::vector<uint8_t> packed = packFrame(randomFrame(12, 4, 5));  // 64 bytes, picture 6 x 2
    std::vector<uint8_t> out(64, 0xA5);
    const CellLayout redBesideBlue{kUpperLeft, kLowerLeft, kLowerRight, kUpperRight};
    for (const auto& [layout, cell, pixels] :
         {std::tuple{RawLayout::Qcom10, cellLayoutFor(1), 16}, {RawLayout::Raw8, redBesideBlue, 16},
          {RawLayout::Raw8, CellLayout{kUpperLeft, kUpperRight, kUpperRight, kLowerRight}, 16},
          {RawLayout::Raw8, cellLayoutFor(1), -1}, {static_cast<RawLayout>(kRawLayoutCount), cellLayoutFor(1), 16}}) {
        EXPECT_FALSE(decodeRowPair(layout, packed.data(), packed.data(), cell, pixels, out.data()));
    }
    for (const auto fn : {decodePackedRaw, decodePackedRawReference}) {
        // Input bytes, raw width and height, picture width, height and stride.
        for (const auto& [bytes, width, height, w, h, stride] :
             {std::tuple{63, 12, 4, 6, 2, 20}, {64, 12, 4, 5, 2, 20}, {64, 12, 4, 6, 3, 20}, {64, 12, 4, 6, 2, 17},
              {64, 12, 1, 6, 0, 20}, {64, 0, 4, 0, 2, 0}}) {
            EXPECT_FALSE(fn(packed.data(), static_cast<size_t>(bytes), width, height, cellLayoutFor(1),
                            BgrRows{out.data(), w, h, stride}))
                << bytes << " bytes, " << width << " x " << height;
        }
    }
    EXPECT_EQ(out, std::vector<uint8_t>(64, 0xA5));
}

}  // namespace
