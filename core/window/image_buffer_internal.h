// Shared by the two backends of the image buffer.
#pragma once

#include <cstdint>

#include "raw/raw_geometry.h"
#include "window/image_buffer.h"

// Sets the state for a newly created picture, whose pixel memory the backend
// has zeroed: the decoder never writes the row pad, but the BMP writer stores it.
inline void imageBufferAdopt(ImageHandle handle, uint8_t* pixels, int32_t width, int32_t height)
{
    m_hDibBmp = handle;
    m_pBmpData = pixels;
    m_nBmpWidth = width;
    m_nBmpHeight = height;
    m_nBmpStride = pictureStride(width);
}

inline void imageBufferForget()
{
    m_hDibBmp = nullptr;
    m_pBmpData = nullptr;
    m_nBmpWidth = 0;
    m_nBmpHeight = 0;
    m_nBmpStride = 0;
}

// Whether a picture of this size can be held: positive, 24-bit, and no larger
// than the largest raw geometry the core accepts.
inline bool imageBufferAcceptable(int32_t width, int32_t height, uint16_t bitCount)
{
    return bitCount == 24 && width > 0 && height > 0 && width <= kMaxRawDimension &&
           height <= kMaxRawDimension;
}
