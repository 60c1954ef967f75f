// Portable backend of the image buffer: heap pixel memory, drawn into an
// ImageCanvas.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "window/image_buffer.h"
#include "window/image_buffer_internal.h"
#include "window/image_canvas.h"

struct HeapBitmap {
    uint8_t* pixels;
};

void CDIBBitmap_clear()
{
    if (m_hDibBmp != nullptr) {
        std::free(m_hDibBmp->pixels);
        delete m_hDibBmp;
    }
    imageBufferForget();
}

int CDIBBitmap_create(ImageDC /*dc*/, int32_t width, int32_t height, uint16_t bitCount)
{
    CDIBBitmap_clear();
    if (!imageBufferAcceptable(width, height, bitCount)) {
        return 0;
    }
    const size_t bytes = static_cast<size_t>(pictureStride(width)) * static_cast<size_t>(height);
    // calloc's zeroes come from fresh pages without touching them here.
    auto* pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
    auto* bitmap = pixels != nullptr ? new (std::nothrow) HeapBitmap{pixels} : nullptr;
    if (bitmap == nullptr) {
        std::free(pixels);
        return 0;
    }
    imageBufferAdopt(bitmap, pixels, width, height);
    return 1;
}

void CDIBBitmap_sampleRender(ImageDC dc, int32_t x, int32_t y)
{
    if (m_hDibBmp == nullptr || dc == nullptr) {
        return;
    }
    // 64-bit so that offsets near the int32 limits clip instead of wrapping.
    const int64_t left = std::max<int64_t>(0, -static_cast<int64_t>(x));
    const int64_t right = std::min<int64_t>(m_nBmpWidth, static_cast<int64_t>(dc->width) - x);
    if (left >= right) {
        return;
    }
    for (int32_t row = 0; row < m_nBmpHeight; ++row) {
        const int64_t target = static_cast<int64_t>(y) + row;
        if (target < 0 || target >= dc->height) {
            continue;
        }
        std::memcpy(&dc->pixels[static_cast<size_t>((target * dc->width + x + left) * 3)],
                    CDIBBitmap_topRow(row) + left * 3, static_cast<size_t>((right - left) * 3));
    }
}
