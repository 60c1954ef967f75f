// State and backend-independent parts of the image buffer.
#include "window/image_buffer.h"

ImageHandle m_hDibBmp = nullptr;
uint8_t* m_pBmpData = nullptr;
int32_t m_nBmpWidth = 0;
int32_t m_nBmpHeight = 0;
int64_t m_nBmpStride = 0;

uint8_t* CDIBBitmap_topRow(int32_t row)
{
    // Memory holds the bottom row first.
    return m_pBmpData + static_cast<int64_t>(m_nBmpHeight - 1 - row) * m_nBmpStride;
}
