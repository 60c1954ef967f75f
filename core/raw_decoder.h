// In-memory decoder of packed 10-bit Bayer dumps into a half-size 24-bit picture.
//
// The raw format has no header; width W, height H and the pattern come from the
// user.
//
//   Rows     Every row holds A = W rounded up to a multiple of 6 samples (the
//            padding samples are decoded like any other), rows follow top to
//            bottom without gaps: row stride A / 6 * 8 bytes, N = A / 6 * 8 * H
//            bytes in all. Bytes past N are ignored.
//   Group    8 bytes b0..b7 hold 6 consecutive samples of one row. Read as one
//            little-endian 64-bit number, sample j (left to right) is the 10
//            bits starting at bit 10 * j; bits 60..63 are unused.
//
//              bit  63..60  59......50  49......40  39......30  29......20  19......10  9.......0
//                   unused   sample 5    sample 4    sample 3    sample 2    sample 1   sample 0
//
//   Cells    Output pixel (i, j) is the 2 x 2 cell at raw columns 2i, 2i + 1 and
//            rows 2j, 2j + 1, so the picture is A / 2 by H / 2; an odd last row
//            has no partner and is not used. The Bayer tables name which cell
//            sample is blue, red and the two greens.
//   Values   Each 10-bit sample drops its two low bits before any arithmetic;
//            green is the truncated mean of the two 8-bit greens. No black level,
//            white balance, gamma or clipping.
//   Output   24-bit BGR, rows bottom-up (first raw row pair = last memory row),
//            each row padded to a multiple of 4 bytes; the pad is not written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bayer_pattern.h"

// A picture in the image buffer's layout: bottom-up rows of `stride` bytes.
struct PictureView {
    uint8_t* pixels;
    int32_t width;
    int32_t height;
    int64_t stride;
};

// Decodes a W x H dump into `picture`. Returns false, touching nothing, when the
// geometry is not decodable, `packedBytes` is below N, or the picture is not
// exactly A / 2 by H / 2 with a stride of at least 3 * A / 2.
bool decodePackedRaw(const uint8_t* packed, size_t packedBytes, int64_t width, int64_t height,
                     const BayerTables& tables, const PictureView& picture);

// The same decode written plainly from the format above, one table lookup per
// colour. The fast path is checked against it.
bool decodePackedRawReference(const uint8_t* packed, size_t packedBytes, int64_t width,
                              int64_t height, const BayerTables& tables,
                              const PictureView& picture);

// The six 10-bit samples of one 8-byte group.
void unpackGroup(const uint8_t group[8], uint16_t samples[6]);

// The inverse: packs six samples (their low 10 bits) into 8 bytes, top bits zero.
void packGroup(const uint16_t samples[6], uint8_t group[8]);
