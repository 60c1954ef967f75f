#include "cli/band_pixels.h"

#include <utility>

#include "decode/layout_decoder.h"
#include "picture/picture_rows.h"

BandPixels::BandPixels(const FrameRows& rows, const MosaicFrame& mosaic, DevelopTables tables, bool full,
                       PixelFormat format)
    : rows_(rows), mosaic_(mosaic), tables_(std::move(tables)), full_(full), format_(format)
{
}

int32_t BandPixels::width() const
{
    return full_ ? mosaic_.width : cellPictureWidth(mosaic_);
}

int32_t BandPixels::height() const
{
    return full_ ? mosaic_.height : cellPictureHeight(mosaic_);
}

void BandPixels::addSlot(int32_t rowsPerBand)
{
    // A demosaicked band reads a row more on each side; a cell band two a row.
    buffers_.push_back(rows_.buffers(full_ ? rowsPerBand + 2 : 2 * rowsPerBand, kRingRows));
}

bool BandPixels::make(unsigned slot, int32_t first, int32_t count, uint8_t* out, int64_t stride,
                      std::string* why)
{
    FrameRows::Buffers& own = buffers_[slot];
    const RowSpan span = full_ ? demosaicSampleRows(mosaic_, first, count) : RowSpan{2 * first, 2 * count};
    if (!rows_.read(span.first, span.count, own, why)) {
        return false;
    }
    const bool made = full_                                          ? demosaic(own, first, count, out, stride)
                      : tables_.shifts && formatBits(format_) == 8 ? decodeCells(own, first, count, out, stride)
                                                                     : developCells(own, first, count, out, stride);
    if (!made) {
        *why = "the picture builder refused a band";
    }
    return made;
}

bool BandPixels::decodeCells(FrameRows::Buffers& own, int32_t first, int32_t count, uint8_t* out,
                             int64_t stride) const
{
    const CellLayout& cell = mosaic_.cell;
    const CellLayout bgr = format_ == PixelFormat::kBgr8 ? cell : CellLayout{cell.blue, cell.green2, cell.green1, cell.red};
    for (int32_t j = 0; j < count; ++j) {
        const int32_t upper = 2 * (first + j);
        decodeFrameRowPair(rows_.frame(), rows_.packedRow(own, upper), rows_.packedRow(own, upper + 1), bgr,
                           out + j * stride);
    }
    return true;
}

bool BandPixels::developCells(FrameRows::Buffers& own, int32_t first, int32_t count, uint8_t* out,
                              int64_t stride) const
{
    bool made = true;
    for (int32_t j = 0; j < count && made; ++j) {
        const int32_t upper = 2 * (first + j);
        const uint16_t* pair[2] = {rows_.unpackIntoRing(own, upper), rows_.unpackIntoRing(own, upper + 1)};
        made = developCellRows(mosaic_, SampleRows{pair, upper, 2}, tables_, first + j, 1, 1, format_,
                               out + j * stride, stride);
    }
    return made;
}

bool BandPixels::demosaic(FrameRows::Buffers& own, int32_t first, int32_t count, uint8_t* out,
                          int64_t stride) const
{
    const uint16_t* ring[kRingRows] = {};
    int32_t next = demosaicSampleRows(mosaic_, first, count).first;
    bool made = true;
    for (int32_t j = 0; j < count && made; ++j) {
        const RowSpan needed = demosaicSampleRows(mosaic_, first + j, 1);
        for (; next < needed.first + needed.count; ++next) {
            ring[next % kRingRows] = rows_.unpackIntoRing(own, next);
        }
        const uint16_t* window[3] = {};
        for (int32_t r = 0; r < needed.count; ++r) {
            window[r] = ring[(needed.first + r) % kRingRows];
        }
        made = demosaicRows(mosaic_, SampleRows{window, needed.first, needed.count}, tables_, first + j, 1, format_,
                            out + j * stride, stride);
    }
    return made;
}
