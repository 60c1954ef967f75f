// A recognisable test chart as a packed raw dump: eight colour bars, a grey
// ramp and fine detail (one- and two-pixel lines and checks), mosaicked in a
// chosen Bayer pattern. Every sample carries its chart value in its top eight
// bits, so decoding the dump gives the chart back exactly.
#pragma once

#include <cstdint>
#include <vector>

struct ChartColour {
    uint8_t r, g, b;
};

// The chart's colour at pixel (x, y) of a picture of the given size.
ChartColour testChartColour(int32_t x, int32_t y, int32_t pictureWidth, int32_t pictureHeight);

// The packed dump of the chart for a raw geometry (the picture it decodes to is
// rawGeometry(width, height)'s) and pattern index 1..4. Empty when the geometry
// is not decodable or the pattern index is not 1..4.
std::vector<uint8_t> buildTestChartRaw(int32_t rawWidth, int32_t rawHeight, int32_t bayerType);
