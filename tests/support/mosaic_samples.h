// Mosaic frames of known samples and the pictures they must give, computed
// from the pattern's letters and the definitions, without the builders under
// test.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "picture/develop.h"
#include "picture/mosaic_band.h"

struct TestMosaic {
    int32_t width, height, bits;
    std::vector<uint16_t> samples;

    uint16_t at(int32_t x, int32_t y) const { return samples[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
    MosaicFrame frame(int32_t pattern) const { return {width, height, bits, cellLayoutFor(pattern)}; }
    // Pointers to rows first .. first + count - 1 only, so a builder reaching
    // past its band reads outside `storage`.
    SampleRows band(int32_t first, int32_t count, std::vector<const uint16_t*>* storage) const
    {
        storage->clear();
        for (int32_t y = first; y < first + count; ++y) {
            storage->push_back(&samples[static_cast<size_t>(y) * static_cast<size_t>(width)]);
        }
        return {storage->data(), first, count};
    }
};

// Random samples, every third row pair one flat value (long runs to compress).
inline TestMosaic randomMosaic(int32_t width, int32_t height, int32_t bits, uint32_t seed)
{
    TestMosaic m{width, height, bits, std::vector<uint16_t>(static_cast<size_t>(width * height))};
    std::mt19937 random(seed);
    for (size_t i = 0; i < m.samples.size(); ++i) {
        const bool flat = (i / static_cast<size_t>(width) / 2) % 3 == 1;
        m.samples[i] = static_cast<uint16_t>((flat ? 0x5A5Au : random()) & ((1u << bits) - 1u));
    }
    return m;
}

// Tables without black, gains or curve: the shifts. Empty (refused by every
// builder) if they cannot be built.
inline DevelopTables shiftTables(int32_t bits, int32_t outBits)
{
    DevelopTables tables;
    buildDevelopTables(DevelopSettings{bits, 0, {1, 1, 1}, false}, outBits, &tables);
    return tables;
}

inline char letterAt(const char* pattern, int32_t x, int32_t y) { return pattern[(y % 2) * 2 + x % 2]; }

// A sample value at an output depth of 8 or 16 bits without black, gains or curve.
inline uint32_t shifted(uint32_t v, int32_t bits, int32_t outBits) { return outBits == 8 ? v >> (bits - 8) : v << (16 - bits); }

// Appends an output value as the 8-bit or 16-bit big-endian formats hold it.
inline void putValue(std::vector<uint8_t>* out, uint32_t v, int32_t outBits)
{
    if (outBits == 16) {
        out->push_back(static_cast<uint8_t>(v >> 8));
    }
    out->push_back(static_cast<uint8_t>(v));
}

// The cell picture without black, gains or curve: every colour shifted to the
// output depth, green the truncated mean of the shifted greens; every `step`-th
// cell of every `step`-th cell row; RGB, 16-bit big-endian.
inline std::vector<uint8_t> expectedCells(const TestMosaic& m, const char* pattern, int32_t outBits, int32_t step)
{
    std::vector<uint8_t> out;
    for (int32_t j = 0; j < m.height / 2; j += step) {
        for (int32_t i = 0; i < m.width / 2; i += step) {
            uint32_t red = 0, blue = 0, greens = 0;
            for (int32_t p = 0; p < 4; ++p) {
                (pattern[p] == 'R' ? red : pattern[p] == 'B' ? blue : greens) +=
                    shifted(m.at(2 * i + p % 2, 2 * j + p / 2), m.bits, outBits);
            }
            for (const uint32_t v : {red, greens / 2, blue}) {
                putValue(&out, v, outBits);
            }
        }
    }
    return out;
}

// Bilinear demosaic: a colour the site lacks is the truncated mean of the
// samples of that colour among its eight neighbours inside the frame (for a
// Bayer mosaic exactly the orthogonal, diagonal, row or column ones).
inline std::vector<uint8_t> expectedDemosaic(const TestMosaic& m, const char* pattern, int32_t outBits)
{
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < m.height; ++y) {
        for (int32_t x = 0; x < m.width; ++x) {
            for (const char colour : {'R', 'G', 'B'}) {
                uint32_t sum = 0, count = 0;
                for (int32_t n = 0; n < 9; ++n) {  // the 3 x 3 block around the site, the site left out
                    const int32_t nx = x + n % 3 - 1, ny = y + n / 3 - 1;
                    if (n != 4 && nx >= 0 && ny >= 0 && nx < m.width && ny < m.height &&
                        letterAt(pattern, nx, ny) == colour) {
                        sum += m.at(nx, ny);
                        ++count;
                    }
                }
                const uint32_t v = letterAt(pattern, x, y) == colour ? m.at(x, y) : sum / count;
                putValue(&out, shifted(v, m.bits, outBits), outBits);
            }
        }
    }
    return out;
}
