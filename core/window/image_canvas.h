// The drawing target of the heap backend of the image buffer: a top-down BGR
// canvas with rows of exactly 3 * width bytes, standing in for a window's
// device context wherever there is no display.
#pragma once

#include <cstdint>
#include <vector>

struct ImageCanvas {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width * height * 3 bytes

    ImageCanvas(int32_t w, int32_t h, uint8_t fill)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, fill)
    {
    }

    const uint8_t* at(int32_t x, int32_t y) const
    {
        return &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
    }
};
