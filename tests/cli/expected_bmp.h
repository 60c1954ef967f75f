// The BMP file a frame must give: the core's header for its picture size and
// the picture computed from the frame's samples, not through the decoder.
#pragma once

#include <string>
#include <vector>

#include "bmp_writer.h"
#include "raw_builder.h"

inline std::vector<uint8_t> expectedBmp(const RawFrame& frame, const std::string& pattern)
{
    const int32_t width = frame.alignedWidth / 2;
    const int32_t height = frame.height / 2;
    std::vector<uint8_t> bmp(kBmpHeaderBytes);
    buildBmpHeader(width, height, (3 * width + 3) / 4 * 4, bmp.data());
    const std::vector<uint8_t> pixels = expectedPicture(frame, pattern);
    bmp.insert(bmp.end(), pixels.begin(), pixels.end());
    return bmp;
}
