// Decoding one row of 2 x 2 cells of any raw layout but qcom10 (whose rows
// raw_decoder.h decodes) into 24-bit pixels: the layouts and their bits are in
// raw_layout.h.
//
// Pixel i of a row pair is the cell of raw columns 2i and 2i + 1 of the upper
// and lower row. Each sample keeps its top 8 bits; blue and red are the cell's
// blue and red samples, green the truncated mean of its two greens. Pixels are
// written blue, green, red, 3 bytes each, without padding.
//
// The caller owns rows, stride and picture order; a converter walks the dump's
// rows in pairs, an odd last row left out.
#pragma once

#include <cstdint>

#include "raw/cell_layout.h"
#include "raw/raw_frame.h"
#include "raw/raw_layout.h"

// Decodes `pixels` pixels from raw rows `upper` and `lower` into bgr[0 .. 3 *
// pixels - 1]. Reads at most minimumRowBytes(layout, 2 * pixels) bytes of each
// row. Returns false, touching nothing, for Qcom10, a layout outside the enum, a
// negative count, or a cell that is not one of the four Bayer patterns' (red
// and blue on opposite corners, the greens on the other two).
bool decodeRowPair(RawLayout layout, const uint8_t* upper, const uint8_t* lower, CellLayout cell,
                   int32_t pixels, uint8_t* bgr);

// One picture row, framePictureWidth pixels of blue, green, red, from two raw
// rows of the frame's layout, with the fastest kernel the processor allows.
void decodeFrameRowPair(const FrameGeometry& frame, const uint8_t* upper, const uint8_t* lower,
                        CellLayout cell, uint8_t* bgr);

// Sums of the even-column and the odd-column samples (full precision) among
// the first `width` samples of a row: sums[0] and sums[1], straight from the
// packed bytes for qcom10, the plain layouts and raw8. False, touching
// nothing, for the mipi layouts, whose samples are unpacked first instead, and
// for a layout outside the enum.
bool sumRow(RawLayout layout, const uint8_t* row, int32_t width, uint64_t sums[2]);
