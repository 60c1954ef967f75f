// The image buffer: the one converted picture the program holds, a 24-bit
// bottom-up BGR bitmap whose rows are padded to a multiple of 4 bytes.
//
// Two backends share this interface. On Windows the picture is a DIB section
// drawn with BitBlt; elsewhere it is heap memory of the same layout, drawn into
// an ImageCanvas so that drawing at an offset can be tested without a display.
#pragma once

#include <cstdint>

#if defined(_WIN32)
// The STRICT handle types of <windows.h>, named without including it.
struct HBITMAP__;
struct HDC__;
using ImageHandle = HBITMAP__*;
using ImageDC = HDC__*;
#else
struct HeapBitmap;
struct ImageCanvas;
using ImageHandle = HeapBitmap*;
using ImageDC = ImageCanvas*;
#endif

// Both null while the buffer is empty; m_pBmpData is owned by m_hDibBmp.
extern ImageHandle m_hDibBmp;
extern uint8_t* m_pBmpData;

// The held picture's own size. The settings may change after a picture was made
// (a refused View still rewrites them), so drawing and saving go by these and
// never by the settings. Zero while empty.
extern int32_t m_nBmpWidth;
extern int32_t m_nBmpHeight;
extern int64_t m_nBmpStride;

// Releases the picture; safe on an empty buffer.
void CDIBBitmap_clear();

// Replaces the picture with a new one of the given size, row pad zeroed. The old
// picture is released first, whatever the outcome. Only 24 bits per pixel and a
// positive width and height are accepted. Returns 1 on success, 0 on failure
// (the buffer is then empty). The device context is only the platform's required
// argument and may be null.
int CDIBBitmap_create(ImageDC dc, int32_t width, int32_t height, uint16_t bitCount);

// Draws the picture unscaled and upright with its top-left corner at (x, y) of
// the target; the parts outside the target are clipped. No-op while empty.
void CDIBBitmap_sampleRender(ImageDC dc, int32_t x, int32_t y);

// Address of the first byte of picture row `row` counted from the top.
uint8_t* CDIBBitmap_topRow(int32_t row);
