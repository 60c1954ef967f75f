// The BMP file a frame must give, built field by field from the format rather
// than through the writer under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raw_builder.h"

inline std::vector<uint8_t> expectedBmp(const RawFrame& frame, const std::string& pattern)
{
    const std::vector<uint8_t> pixels = expectedPicture(frame, pattern);
    const uint32_t width = static_cast<uint32_t>(frame.alignedWidth / 2);
    const uint32_t height = static_cast<uint32_t>(frame.height / 2);
    std::vector<uint8_t> bmp;
    auto put = [&bmp](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            bmp.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    };
    bmp.push_back('B');
    bmp.push_back('M');
    put(static_cast<uint32_t>(54 + pixels.size()), 4);
    put(0, 4);       // two reserved words
    put(54, 4);      // pixel data offset
    put(40, 4);      // information header size
    put(width, 4);
    put(height, 4);  // positive: bottom-up
    put(1, 2);       // planes
    put(24, 2);      // bits per pixel
    bmp.insert(bmp.end(), 24, 0);  // compression, image size, resolutions, colour counts
    bmp.insert(bmp.end(), pixels.begin(), pixels.end());
    return bmp;
}
