// Windows backend of the image buffer: a DIB section, drawn with BitBlt.
#include <windows.h>

#include <cstring>

#include "window/image_buffer.h"
#include "window/image_buffer_internal.h"

void CDIBBitmap_clear()
{
    if (m_hDibBmp != nullptr) {
        DeleteObject(m_hDibBmp);
    }
    imageBufferForget();
}

int CDIBBitmap_create(ImageDC dc, int32_t width, int32_t height, uint16_t bitCount)
{
    CDIBBitmap_clear();
    if (!imageBufferAcceptable(width, height, bitCount)) {
        return 0;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: rows bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitCount;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
        return 0;
    }
    // The system hands out fresh pages, but says nothing of their contents.
    std::memset(bits, 0, static_cast<size_t>(pictureStride(width)) * static_cast<size_t>(height));
    imageBufferAdopt(bitmap, static_cast<uint8_t*>(bits), width, height);
    return 1;
}

void CDIBBitmap_sampleRender(ImageDC dc, int32_t x, int32_t y)
{
    if (m_hDibBmp == nullptr) {
        return;
    }
    HDC memory = CreateCompatibleDC(nullptr);
    if (memory == nullptr) {
        return;
    }
    HGDIOBJ previous = SelectObject(memory, m_hDibBmp);
    BitBlt(dc, x, y, m_nBmpWidth, m_nBmpHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}
