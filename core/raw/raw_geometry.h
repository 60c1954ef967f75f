// Geometry of a packed 10-bit dump and of the half-size picture it decodes to.
#pragma once

#include <cstdint>

// Largest raw width or height the core will size buffers for. Far beyond any
// sensor, and it keeps every byte count below 2^34, so the arithmetic below
// cannot overflow and the picture fits the DIB's 32-bit signed dimensions.
constexpr int64_t kMaxRawDimension = 1 << 16;

// Everything the decoder, the buffer and the writer derive from width and height.
// Byte counts are 64-bit: the largest panel geometry already needs 49 MB.
struct RawGeometry {
    int64_t alignedWidth;   // width rounded up to a whole packed group (6 samples)
    int64_t rowBytes;       // bytes of one raw row: alignedWidth / 6 * 8
    int64_t inputBytes;     // N: bytes the decoder reads, rowBytes * height
    int32_t pictureWidth;   // alignedWidth / 2
    int32_t pictureHeight;  // height / 2; an odd last raw row has no partner
    int64_t stride;         // 3 * pictureWidth rounded up to a multiple of 4
};

// Geometry for any pair of integers; values are clamped to 0..kMaxRawDimension.
RawGeometry rawGeometry(int64_t width, int64_t height);

// True when the geometry gives a non-empty picture within kMaxRawDimension.
bool isDecodableGeometry(int64_t width, int64_t height);

// Row stride of a 24-bit picture: its pixel bytes rounded up to a multiple of 4.
int64_t pictureStride(int64_t pictureWidth);
