#include "raw/raw_geometry.h"

#include <algorithm>

int64_t pictureStride(int64_t pictureWidth)
{
    return (3 * pictureWidth + 3) / 4 * 4;
}

RawGeometry rawGeometry(int64_t width, int64_t height)
{
    width = std::clamp<int64_t>(width, 0, kMaxRawDimension);
    height = std::clamp<int64_t>(height, 0, kMaxRawDimension);
    RawGeometry g{};
    g.alignedWidth = (width + 5) / 6 * 6;
    g.rowBytes = g.alignedWidth / 6 * 8;
    g.inputBytes = g.rowBytes * height;
    g.pictureWidth = static_cast<int32_t>(g.alignedWidth / 2);
    g.pictureHeight = static_cast<int32_t>(height / 2);
    g.stride = pictureStride(g.pictureWidth);
    return g;
}

bool isDecodableGeometry(int64_t width, int64_t height)
{
    return width > 0 && width <= kMaxRawDimension && height >= 2 && height <= kMaxRawDimension;
}
