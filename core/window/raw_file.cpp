#include "window/raw_file.h"

#include <cstdio>
#include <memory>
#include <new>

#include "decode/raw_decoder.h"
#include "window/bayer_pattern.h"
#include "window/conversion_settings.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

int CDIBBitmap_load(ImageDC dc, const char* path)
{
    CellLayout cell{};
    if (!isDecodableGeometry(m_nWidth, m_nHeight) || !bayerTablesCell(&cell)) {
        return 0;
    }
    const RawGeometry g = currentGeometry();
    const auto inputBytes = static_cast<size_t>(g.inputBytes);

    std::unique_ptr<uint8_t[]> input;
    {
        File file(std::fopen(path, "rb"));
        if (!file) {
            return 0;
        }
        // Not zeroed: the read below must fill every byte or the load fails.
        input.reset(new (std::nothrow) uint8_t[inputBytes]);
        if (!input || std::fread(input.get(), 1, inputBytes, file.get()) != inputBytes) {
            return 0;
        }
    }

    if (!CDIBBitmap_create(dc, g.pictureWidth, g.pictureHeight, 24)) {
        return 0;
    }
    const BgrRows picture{m_pBmpData, m_nBmpWidth, m_nBmpHeight, m_nBmpStride};
    return decodePackedRaw(input.get(), inputBytes, m_nWidth, m_nHeight, cell, picture) ? 1 : 0;
}
