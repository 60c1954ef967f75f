// Picture rows from mosaic sample rows, developed through DevelopTables into
// one of the PixelFormats, a band of rows at a time. Two pictures:
//
//   Cell picture  W / 2 x H / 2: pixel (i, j) is the 2 x 2 cell at columns 2i,
//                 2i + 1 and rows 2j, 2j + 1 (an odd last column or row is not
//                 used). Red and blue are the cell's samples. Green is the
//                 truncated mean of its two greens in sample units, developed;
//                 with shift tables, the truncated mean of the two greens each
//                 shifted to the output depth, so 8-bit output is exactly the
//                 window's picture and 16-bit output keeps every bit.
//   Demosaic      W x H, bilinear: every pixel keeps its own sample for its
//                 colour; a missing colour is the truncated mean (sum / count)
//                 of that colour's samples among its neighbours inside the
//                 frame. At a red or blue site, green from the 4 orthogonal
//                 neighbours and the opposite colour from the 4 diagonal ones;
//                 at a green site, red and blue each from the 2 neighbours in
//                 the row or the column that holds them. Fewer at the frame's
//                 edges, never from outside it. Means are in sample units, then
//                 developed.
//
// Output rows are written at out + k * stride for the band's row k; a negative
// stride writes bottom-up, as a BMP stores its rows. Every function here is
// pure and may run on several threads at once.
#pragma once

#include <cstdint>

#include "picture/develop.h"
#include "picture/mosaic_band.h"

inline int32_t cellPictureWidth(const MosaicFrame& frame)
{
    return frame.width / 2;
}

inline int32_t cellPictureHeight(const MosaicFrame& frame)
{
    return frame.height / 2;
}

// Pixels in a cell picture row taken every `step` cells (0, step, 2 * step, ...).
inline int32_t steppedWidth(int32_t width, int32_t step)
{
    return (width + step - 1) / step;
}

// Cell picture rows firstRow .. firstRow + rowCount - 1, taking every
// `columnStep`-th cell of each (1 for the whole row; a preview subsamples).
// `band` must hold sample rows 2 * firstRow .. 2 * (firstRow + rowCount) - 1.
// False, writing nothing, when the frame is not valid, the rows leave the
// picture, the band lacks a row, the step is below 1, or the tables were built
// for another depth or for an output depth the format does not hold.
bool developCellRows(const MosaicFrame& frame, const SampleRows& band, const DevelopTables& tables,
                     int32_t firstRow, int32_t rowCount, int32_t columnStep, PixelFormat format,
                     uint8_t* out, int64_t stride);

// The sample rows demosaicking rows first .. first + count - 1 needs: one more
// on each side, inside the frame.
struct RowSpan {
    int32_t first;
    int32_t count;
};
RowSpan demosaicSampleRows(const MosaicFrame& frame, int32_t first, int32_t count);

// Demosaicked rows firstRow .. firstRow + rowCount - 1 of the W x H picture.
// `band` must hold demosaicSampleRows(frame, firstRow, rowCount). False, writing
// nothing, on the same faults as developCellRows.
bool demosaicRows(const MosaicFrame& frame, const SampleRows& band, const DevelopTables& tables,
                  int32_t firstRow, int32_t rowCount, PixelFormat format, uint8_t* out, int64_t stride);
