// Shared by the two drawing tests: a picture with a distinct colour at every
// pixel, and the colour any target pixel must show after drawing at an offset.
#pragma once

#include <array>
#include <cstdint>

#include "image_buffer.h"

constexpr int32_t kPictureWidth = 7;
constexpr int32_t kPictureHeight = 5;
constexpr uint8_t kBackground = 0x11;

using Bgr = std::array<uint8_t, 3>;

inline Bgr pictureColour(int32_t i, int32_t j)
{
    return {static_cast<uint8_t>(0x40 + i), static_cast<uint8_t>(0x80 + j), static_cast<uint8_t>(0xC0 + i + j)};
}

inline bool makeTestPicture()
{
    if (CDIBBitmap_create(nullptr, kPictureWidth, kPictureHeight, 24) != 1) {
        return false;
    }
    for (int32_t j = 0; j < kPictureHeight; ++j) {
        for (int32_t i = 0; i < kPictureWidth; ++i) {
            const Bgr c = pictureColour(i, j);
            uint8_t* p = CDIBBitmap_topRow(j) + 3 * i;
            p[0] = c[0];
            p[1] = c[1];
            p[2] = c[2];
        }
    }
    return true;
}

// What target pixel (tx, ty) shows after drawing at (x, y).
inline Bgr expectedAt(int32_t tx, int32_t ty, int32_t x, int32_t y)
{
    const int32_t i = tx - x;
    const int32_t j = ty - y;
    if (i < 0 || j < 0 || i >= kPictureWidth || j >= kPictureHeight) {
        return {kBackground, kBackground, kBackground};
    }
    return pictureColour(i, j);
}

// Offsets that put the picture inside, across each edge and corner, and wholly outside.
constexpr int32_t kOffsets[][2] = {
    {0, 0}, {2, 1}, {-3, 0}, {0, -2}, {-6, -4}, {8, 3}, {3, 5}, {9, 9}, {-7, 0}, {0, -5}, {-100, 50},
};
constexpr int32_t kTargetWidth = 10;
constexpr int32_t kTargetHeight = 8;
