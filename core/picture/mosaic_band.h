// A mosaic frame and a band of its sample rows: what every picture and file
// builder of the outputs reads. Whatever the input layout, a decoder hands over
// rows of uint16_t samples of a known depth, so no builder sees packed bytes.
//
// Builders work on a band of output rows and ask only for the sample rows those
// rows need, so a converter can decode a band on a worker thread, build and
// encode it there, and write the bands in order while holding a few of them.
#pragma once

#include <cstdint>

#include "raw/cell_layout.h"

// Depths a sample can have; every sample of a frame is below 2^bits.
constexpr int32_t kMinSampleBits = 8;
constexpr int32_t kMaxSampleBits = 16;

// Widest and tallest frame the builders accept: far beyond any sensor, and a
// row of 16-bit RGB (6 bytes a pixel) still counts its bytes in an int32_t.
constexpr int32_t kMaxMosaicDimension = 1 << 16;

struct MosaicFrame {
    int32_t width;   // samples per row, at least 2
    int32_t height;  // rows, at least 2
    int32_t bits;    // sample depth, kMinSampleBits..kMaxSampleBits
    CellLayout cell;
};

// Rows first .. first + count - 1 of a frame: rows[k] holds row first + k, each
// `width` samples. The rows need not be adjacent in memory.
struct SampleRows {
    const uint16_t* const* rows;
    int32_t first;
    int32_t count;
};

// Colours as indexes of the three planes of a picture and of per-colour tables.
enum Colour : int32_t { kRed = 0, kGreen = 1, kBlue = 2 };

inline bool isValidMosaicFrame(const MosaicFrame& frame)
{
    return frame.width >= 2 && frame.height >= 2 && frame.width <= kMaxMosaicDimension &&
           frame.height <= kMaxMosaicDimension && frame.bits >= kMinSampleBits &&
           frame.bits <= kMaxSampleBits;
}

// True when `band` holds every row of first .. first + count - 1.
inline bool bandCovers(const SampleRows& band, int32_t first, int32_t count)
{
    return band.rows != nullptr && band.first <= first &&
           static_cast<int64_t>(first) + count <= static_cast<int64_t>(band.first) + band.count;
}

// The colour of the sample at cell position 0..3 (row * 2 + column).
inline Colour colourAtPosition(const CellLayout& cell, int32_t position)
{
    if (position == cell.red) {
        return kRed;
    }
    return position == cell.blue ? kBlue : kGreen;
}
