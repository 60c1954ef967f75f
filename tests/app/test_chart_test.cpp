#include <gtest/gtest.h>

#include <vector>

#include "bayer_pattern.h"
#include "conversion_settings.h"
#include "raw_decoder.h"
#include "test_chart.h"
#include "window_fixture.h"

namespace {

// Decodes the chart's dump for a geometry and pattern and compares every pixel
// with the chart.
void expectDecodesToChart(int32_t width, int32_t height, int32_t pattern)
{
    const std::vector<uint8_t> raw = buildTestChartRaw(width, height, pattern);
    const RawGeometry g = rawGeometry(width, height);
    ASSERT_EQ(raw.size(), static_cast<size_t>(g.inputBytes));
    std::vector<uint8_t> pixels(static_cast<size_t>(g.stride * g.pictureHeight));
    const PictureView picture{pixels.data(), g.pictureWidth, g.pictureHeight, g.stride};
    ASSERT_TRUE(decodePackedRaw(raw.data(), raw.size(), width, height, bayerTablesFor(pattern), picture));
    int mismatches = 0;
    for (int32_t y = 0; y < g.pictureHeight; ++y) {
        // Bottom-up rows.
        const uint8_t* row = &pixels[static_cast<size_t>((g.pictureHeight - 1 - y) * g.stride)];
        for (int32_t x = 0; x < g.pictureWidth; ++x) {
            const ChartColour want = testChartColour(x, y, g.pictureWidth, g.pictureHeight);
            const ChartColour got{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
            if (!(got == want) && mismatches++ < 5) {
                ADD_FAILURE() << "pixel " << x << ", " << y << ": " << got << " want " << want;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(TestChart, DecodesBackToItselfInEveryPattern)
{
    for (int32_t pattern = 1; pattern <= 4; ++pattern) {
        SCOPED_TRACE(bayerItems[pattern]);
        expectDecodesToChart(kChartWidth, kChartHeight, pattern);
    }
    // A width off the group size and an odd height.
    expectDecodesToChart(641, 481, 3);
}

TEST(TestChart, RefusesWhatCannotBeDecoded)
{
    EXPECT_TRUE(buildTestChartRaw(1000, 600, 0).empty());
    EXPECT_TRUE(buildTestChartRaw(1000, 600, 5).empty());
    EXPECT_TRUE(buildTestChartRaw(0, 600, 1).empty());
}

}  // namespace
