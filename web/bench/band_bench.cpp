// The decode of one band, timed the same way natively and in WebAssembly, so
// the page's decoding can be held against the converter's: a band is what the
// converter's BMP writer makes at a time (about 128 KB of picture rows, from
// twice as many packed rows), decoded by decodeFrameRowPair from a 4000 x 3000
// frame held in memory. Prints one line a layout: the mean time of a band over
// every band of the frame, decoded several times.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "decode/layout_decoder.h"
#include "raw/raw_frame.h"
#include "raw/raw_geometry.h"

int main()
{
    constexpr int32_t kWidth = 4000;
    constexpr int32_t kHeight = 3000;
    constexpr int64_t kBandBytes = int64_t{128} * 1024;
    constexpr int kPasses = 10;
    for (const RawLayout layout : {RawLayout::Mipi10, RawLayout::Mipi12, RawLayout::Qcom10, RawLayout::Plain16}) {
        FrameGeometry frame{layout, kWidth, kHeight, minimumRowBytes(layout, kWidth), 0, kHeight};
        std::vector<uint8_t> dump(static_cast<size_t>(frame.stride * kHeight));
        uint32_t state = 12345;
        for (uint8_t& byte : dump) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<uint8_t>(state >> 24);
        }
        const int32_t width = framePictureWidth(frame);
        const int32_t rows = framePictureHeight(frame);
        const int64_t stride = pictureStride(width);
        const auto rowsPerBand = static_cast<int32_t>(kBandBytes / stride);
        std::vector<uint8_t> band(static_cast<size_t>(rowsPerBand * stride));
        const CellLayout cell = cellLayoutFor(1);
        int64_t bands = 0;
        uint32_t check = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int pass = 0; pass < kPasses; ++pass) {
            for (int32_t first = 0; first < rows; first += rowsPerBand, ++bands) {
                const int32_t count = first + rowsPerBand <= rows ? rowsPerBand : rows - first;
                for (int32_t j = 0; j < count; ++j) {
                    const uint8_t* upper = dump.data() + int64_t{2} * (first + j) * frame.stride;
                    decodeFrameRowPair(frame, upper, upper + frame.stride, cell, band.data() + j * stride);
                }
                check += band[static_cast<size_t>(first % 97)];
            }
        }
        const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
        std::printf("%s %dx%d: %.1f us a band of %d picture rows (check %u)\n", layoutName(layout), kWidth, kHeight,
                    spent.count() / static_cast<double>(bands), rowsPerBand, check);
    }
    return 0;
}
