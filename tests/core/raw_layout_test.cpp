#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "support/layout_packer.h"
#include "raw/raw_layout.h"
#include "platform/vector_paths.h"

namespace {

constexpr RawLayout kAllLayouts[] = {
    RawLayout::Qcom10,  RawLayout::Mipi10,  RawLayout::Mipi12,  RawLayout::Mipi14, RawLayout::Plain10,
    RawLayout::Plain12, RawLayout::Plain14, RawLayout::Plain16, RawLayout::Raw8,
};

TEST(RawLayoutNames, ExactNamesInAnyCaseOnly)
{
    const struct {
        const char* name;
        std::optional<RawLayout> layout;
    } cases[] = {
        {"QCOM10", RawLayout::Qcom10},   {"mipi10", RawLayout::Mipi10},   {"Mipi12", RawLayout::Mipi12},
        {"MIPI14", RawLayout::Mipi14},   {"plain10", RawLayout::Plain10}, {"pLain12", RawLayout::Plain12},
        {"PLAIN14", RawLayout::Plain14}, {"Plain16", RawLayout::Plain16}, {"rAW8", RawLayout::Raw8},
        {"mipi", std::nullopt},          {"mipi100", std::nullopt},       {"raw8 ", std::nullopt},
        {"", std::nullopt},              {"plain8", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(layoutByName(c.name), c.layout) << c.name;
        if (c.layout) {
            EXPECT_EQ(layoutByName(layoutName(*c.layout)), c.layout);
        }
    }
}

TEST(RawLayoutGeometry, PictureWidthTakesWholeCells)
{
    const struct {
        RawLayout layout;
        int32_t width;
        int32_t pictureWidth;
    } cases[] = {
        {RawLayout::Qcom10, 1, 3},       {RawLayout::Qcom10, 7, 6}, {RawLayout::Qcom10, 7399, 3702},
        {RawLayout::Mipi10, 7399, 3699}, {RawLayout::Raw8, 2, 1},   {RawLayout::Plain16, 3, 1},
        {RawLayout::Mipi14, 1, 0},       {RawLayout::Mipi12, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(layoutPictureWidth(c.layout, c.width), c.pictureWidth) << layoutName(c.layout) << " " << c.width;
    }
    EXPECT_EQ(minimumRowBytes(RawLayout::Mipi14, INT32_MAX), int64_t{536870912} * 7);  // past 2^31
}

// Random full-precision samples back from packed rows at every width to 50
// (each remainder of every group size, several groups deep) and the widest
// panel row. Rows are exactly as long as needed, so the sanitizer build sees a
// read past one; a guard after the samples catches a write past them. The
// packer's own group arithmetic checks minimumRowBytes. Both the vector path
// and the scalar one.
class RawLayoutUnpack : public testing::TestWithParam<bool> {};

TEST_P(RawLayoutUnpack, EverySampleExactAtEveryWidth)
{
    std::vector<int32_t> widths(50);
    std::iota(widths.begin(), widths.end(), 1);
    widths.push_back(7399);
    std::mt19937 random(11);
    for (RawLayout layout : kAllLayouts) {
        const uint32_t range = 1u << packedSampleBits(layout);
        for (int32_t width : widths) {
            SCOPED_TRACE(std::string(layoutName(layout)) + " width " + std::to_string(width));
            std::vector<uint16_t> samples(static_cast<size_t>(width));
            for (uint16_t& s : samples) {
                s = static_cast<uint16_t>(random() % range);
            }
            const std::vector<uint8_t> row = packLayoutRow(layout, samples, random);
            EXPECT_EQ(minimumRowBytes(layout, width), static_cast<int64_t>(row.size()));
            std::vector<uint16_t> unpacked(samples.size() + 8, 0xBEEF);
            std::vector<uint16_t> expected = samples;
            expected.resize(unpacked.size(), 0xBEEF);
            setVectorPathsEnabled(GetParam());
            unpackRow(layout, row.data(), width, unpacked.data());
            setVectorPathsEnabled(true);
            ASSERT_EQ(unpacked, expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, RawLayoutUnpack, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Vector" : "Scalar"; });

}  // namespace
