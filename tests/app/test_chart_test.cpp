// The chart the window tests read back from the screen.

#include "bayer_pattern.h"
#include "conversion_settings.h"
#include "raw_decoder.h"
#include "window_fixture.h"

namespace {

// The window tests read the chart back from the screen, so the chart must be
// what decoding its dump gives, pixel for pixel, in every pattern and at a
// width off the group size with an odd height.
TEST(TestChart, DecodesBackToItsChart)
{
    const int32_t rows[][3] = {{1000, 600, 1}, {1000, 600, 2}, {1000, 600, 3}, {1000, 600, 4}, {641, 481, 3}};
    for (const auto& [width, height, pattern] : rows) {
        SCOPED_TRACE(std::to_string(width) + " pattern " + bayerItems[pattern]);
        const std::vector<uint8_t> raw = buildTestChartRaw(width, height, pattern);
        const RawGeometry g = rawGeometry(width, height);
        ASSERT_EQ(raw.size(), static_cast<size_t>(g.inputBytes));
        std::vector<uint8_t> pixels(static_cast<size_t>(g.stride * g.pictureHeight));
        ASSERT_TRUE(decodePackedRaw(raw.data(), raw.size(), width, height, cellLayoutFor(pattern),
                                    BgrRows{pixels.data(), g.pictureWidth, g.pictureHeight, g.stride}));
        int mismatches = 0;
        for (int32_t y = 0; y < g.pictureHeight; ++y) {
            const uint8_t* line = &pixels[static_cast<size_t>((g.pictureHeight - 1 - y) * g.stride)];  // bottom-up
            for (int32_t x = 0; x < g.pictureWidth; ++x) {
                const ChartColour got{line[3 * x + 2], line[3 * x + 1], line[3 * x]};
                mismatches += got == testChartColour(x, y, g.pictureWidth, g.pictureHeight) ? 0 : 1;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

}  // namespace
