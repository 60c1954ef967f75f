#include "chart/test_chart.h"

#include "raw/cell_layout.h"
#include "raw/qcom10_group.h"
#include "raw/raw_geometry.h"

namespace {

constexpr ChartColour kBars[] = {
    {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
    {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0},
};
constexpr int32_t kBarCount = sizeof kBars / sizeof kBars[0];

ChartColour grey(int32_t v)
{
    const auto level = static_cast<uint8_t>(v);
    return {level, level, level};
}

// Four kinds of detail side by side: 1-pixel columns, 2-pixel rows, 1-pixel
// checks and 4-pixel checks.
ChartColour detail(int32_t x, int32_t y, int32_t width)
{
    const int32_t quarter = (4 * x) / width;
    bool white = false;
    switch (quarter) {
    case 0: white = x % 2 == 0; break;
    case 1: white = (y / 2) % 2 == 0; break;
    case 2: white = (x + y) % 2 == 0; break;
    default: white = (x / 4 + y / 4) % 2 == 0; break;
    }
    return grey(white ? 255 : 0);
}

// A 10-bit sample whose top eight bits are `level`; the low bits repeat its top
// bits so full scale is 1023.
uint16_t sampleFor(uint8_t level)
{
    return static_cast<uint16_t>((level << 2) | (level >> 6));
}

uint8_t channel(const ChartColour& c, char letter)
{
    switch (letter) {
    case 'R': return c.r;
    case 'B': return c.b;
    default: return c.g;
    }
}

}  // namespace

ChartColour testChartColour(int32_t x, int32_t y, int32_t pictureWidth, int32_t pictureHeight)
{
    // Bars over the top half, the ramp over the next fifth, detail below.
    if (2 * y < pictureHeight) {
        return kBars[static_cast<int64_t>(x) * kBarCount / pictureWidth];
    }
    if (10 * y < 7 * pictureHeight) {
        return grey(static_cast<int32_t>(static_cast<int64_t>(x) * 256 / pictureWidth));
    }
    return detail(x, y, pictureWidth);
}

std::vector<uint8_t> buildTestChartRaw(int32_t rawWidth, int32_t rawHeight, int32_t bayerType)
{
    if (!isDecodableGeometry(rawWidth, rawHeight) || patternName(bayerType) == nullptr) {
        return {};
    }
    const RawGeometry g = rawGeometry(rawWidth, rawHeight);
    // The name lists the cell's colours row by row: upper left, upper right,
    // lower left, lower right.
    const char* cell = patternName(bayerType);
    std::vector<uint8_t> packed(static_cast<size_t>(g.inputBytes));
    uint16_t samples[6];
    for (int32_t y = 0; y < rawHeight; ++y) {
        // An odd last row has no partner and shows nowhere; it repeats the row
        // above so the dump still looks like the chart.
        const int32_t pictureRow = y / 2 < g.pictureHeight ? y / 2 : g.pictureHeight - 1;
        const char* rowLetters = y % 2 == 0 ? cell : cell + 2;
        for (int64_t c = 0; c < g.alignedWidth; c += 6) {
            for (int64_t j = 0; j < 6; ++j) {
                const auto x = static_cast<int32_t>((c + j) / 2);
                const ChartColour colour = testChartColour(x, pictureRow, g.pictureWidth, g.pictureHeight);
                samples[j] = sampleFor(channel(colour, rowLetters[j % 2]));
            }
            packGroup(samples, &packed[static_cast<size_t>(y * g.rowBytes + c / 6 * 8)]);
        }
    }
    return packed;
}
