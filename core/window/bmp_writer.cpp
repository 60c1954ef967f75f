#include "window/bmp_writer.h"

#include <cerrno>

#include "encode/bmp_format.h"
#include "platform/file_replace.h"
#include "window/image_buffer.h"

int CDIBBitmap_saveWithReason(const char* path)
{
    uint8_t header[kBmpHeaderBytes];
    if (m_hDibBmp == nullptr || m_pBmpData == nullptr ||
        !buildBmpHeader(m_nBmpWidth, m_nBmpHeight, m_nBmpStride, header)) {
        return EINVAL;
    }
    // The rows are contiguous in memory order, which is the file's order.
    const ByteSpan parts[] = {
        {header, sizeof header},
        {m_pBmpData, static_cast<size_t>(m_nBmpStride * m_nBmpHeight)},
    };
    return replaceFileWith(path, parts, 2);
}

int CDIBBitmap_save(const char* path)
{
    return CDIBBitmap_saveWithReason(path) == 0 ? 1 : 0;
}
