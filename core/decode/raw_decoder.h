// In-memory decoder of packed 10-bit Bayer dumps into a half-size 24-bit picture.
//
// The raw format has no header; width W, height H and the pattern come from the
// user.
//
//   Rows     Every row holds A = W rounded up to a multiple of 6 samples (the
//            padding samples are decoded like any other), rows follow top to
//            bottom without gaps: row stride A / 6 * 8 bytes, N = A / 6 * 8 * H
//            bytes in all. Bytes past N are ignored.
//   Group    8 bytes hold 6 consecutive samples of one row (raw/qcom10_group.h).
//
//   Cells    Output pixel (i, j) is the 2 x 2 cell at raw columns 2i, 2i + 1 and
//            rows 2j, 2j + 1, so the picture is A / 2 by H / 2; an odd last row
//            has no partner and is not used. The cell layout names which cell
//            sample is blue, red and the two greens.
//   Values   Each 10-bit sample drops its two low bits before any arithmetic;
//            green is the truncated mean of the two 8-bit greens. No black level,
//            white balance, gamma or clipping.
//   Output   24-bit BGR, rows bottom-up (first raw row pair = last memory row),
//            each row padded to a multiple of 4 bytes; the pad is not written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raw/cell_layout.h"

// A picture in the image buffer's layout: bottom-up rows of `stride` bytes.
struct BgrRows {
    uint8_t* pixels;
    int32_t width;
    int32_t height;
    int64_t stride;
};

// Decodes a W x H dump into `picture`. Returns false, touching nothing, when the
// geometry is not decodable, `packedBytes` is below N, or the picture is not
// exactly A / 2 by H / 2 with a stride of at least 3 * A / 2.
bool decodePackedRaw(const uint8_t* packed, size_t packedBytes, int64_t width, int64_t height,
                     CellLayout cell, const BgrRows& picture);

// The same decode written plainly from the format above, one sample at a time.
// The fast path is checked against it.
bool decodePackedRawReference(const uint8_t* packed, size_t packedBytes, int64_t width,
                              int64_t height, CellLayout cell, const BgrRows& picture);

// One picture row of `groups` * 3 pixels from the raw rows `upper` and `lower`
// (`groups` 8-byte groups each), with the fastest kernel the processor allows.
void decodePackedRowPair(const uint8_t* upper, const uint8_t* lower, CellLayout cell,
                         int64_t groups, uint8_t* bgr);

// Sums of the even-column and the odd-column samples (full 10 bits) among the
// first `width` samples of a qcom10 row: sums[0] and sums[1]. Reads the row's
// ceil(width / 6) groups.
void sumPackedRow(const uint8_t* row, int32_t width, uint64_t sums[2]);
