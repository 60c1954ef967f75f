// A frame's picture rows made from its packed rows, a band at a time: the cell
// picture (a pixel a 2 x 2 cell) or the demosaicked one (--full), developed
// through the development's tables by the core's builders (picture_rows.h).
// An 8-bit cell picture without black, gains or curve is the window's BMP
// pixels, so the BMP's decoders make it straight from the packed rows, red and
// blue swapped for RGB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/band_source.h"
#include "picture/develop.h"
#include "picture/mosaic_band.h"

class BandPixels {
public:
    // `mosaic` is the frame's as `rows` unpacks it; `tables` are built for
    // `format`'s depth.
    BandPixels(const FrameRows& rows, const MosaicFrame& mosaic, DevelopTables tables, bool full, PixelFormat format);

    int32_t width() const;
    int32_t height() const;
    PixelFormat format() const { return format_; }
    bool demosaicked() const { return full_; }

    // Adds one more slot's buffers for bands of `rowsPerBand` picture rows;
    // throws std::bad_alloc.
    void addSlot(int32_t rowsPerBand);

    // Picture rows first .. first + count - 1 (counted from the top), row j at
    // out + j * stride. False with the reason when the rows cannot be read.
    bool make(unsigned slot, int32_t first, int32_t count, uint8_t* out, int64_t stride, std::string* why);

private:
    bool decodeCells(FrameRows::Buffers& own, int32_t first, int32_t count, uint8_t* out, int64_t stride) const;
    bool developCells(FrameRows::Buffers& own, int32_t first, int32_t count, uint8_t* out, int64_t stride) const;
    bool demosaic(FrameRows::Buffers& own, int32_t first, int32_t count, uint8_t* out, int64_t stride) const;

    const FrameRows& rows_;
    MosaicFrame mosaic_;
    DevelopTables tables_;
    bool full_;
    PixelFormat format_;
    std::vector<FrameRows::Buffers> buffers_;
};
