// Developing sample values into 8- or 16-bit picture values: black level, white
// balance gains, clipping, transfer curve and rounding, as one lookup table per
// colour from sample value to output value.
//
// Order: a pixel's colours are first formed in sample units (a cell's samples or
// the demosaic's truncated means), then each goes through its colour's table:
//
//   black   x = max(0, v - black) * white / (white - black), white = 2^bits - 1,
//           so that white stays white
//   gain    x *= gain of the colour
//   clip    x = min(x, white)
//   curve   t = x / white, through the sRGB transfer curve when asked for
//   round   out = floor(t * M + 0.5), M = 255 or 65535: round to nearest, so
//           white becomes M and each output step is the same width
//
// Without black, gains or curve ("shifts") the tables are not a rescale but the
// exact shifts out = v >> (bits - 8) for 8 bits and v << (16 - bits) for 16, so
// such output keeps every sample bit it can hold: 8-bit output is each
// sample's top 8 bits, the window's own values.
//
// Grey world white balance (`--wb auto`) needs the mean of each colour over the
// whole frame after black before any band is developed: addColourSums runs over
// the frame band by band as a first pass, greyWorldGains turns its sums into
// gains.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "picture/mosaic_band.h"

struct DevelopSettings {
    int32_t bits = 10;                 // sample depth of the frame
    uint16_t black = 0;                // in sample units, below 2^bits - 1
    double gains[3] = {1.0, 1.0, 1.0}; // red, green, blue; finite, at least 0
    bool srgb = false;                 // sRGB transfer curve; linear otherwise
};

// A linear 8-bit table as integer arithmetic on 16-bit lanes, for vector
// kernels. With a = max(0, v - black), X = a << (16 - inputBits) and the
// multiplier's halves H and L:
//
//   q   = floor((X * H + max(1, floor(X * L / 2^16))) / 2^16) >> (shift - 1)
//   out = min(255, (q + 1) >> 1)
//
// which is about floor(a K + 1/2) for the slope K. The max is what a vector
// kernel gets for free when it takes the carry into X * H from a rounding
// average; q is about 2 a K and below 2^15 since shift >= 2, so a signed
// saturating pack clips at 255.
struct LinearStep {
    uint32_t multiplier = 0;
    int32_t shift = 2;  // 2..8
};

struct DevelopTables {
    int32_t inputBits = 0;   // the frame depth the tables index
    int32_t outputBits = 0;  // 8 or 16
    bool shifts = false;     // the tables are the exact shifts described above
    std::array<std::vector<uint16_t>, 3> colour;  // by Colour, 2^inputBits entries each
    // True when every entry of every colour equals its LinearStep's value,
    // checked for all 2^inputBits samples when the tables are built: only
    // 8-bit tables without the curve and without shifts can be.
    bool linear = false;
    uint16_t black = 0;
    std::array<LinearStep, 3> steps;  // by Colour
};

// The value a LinearStep gives sample v (below 2^bits) after black.
uint32_t linearStepValue(const LinearStep& step, int32_t bits, uint16_t black, uint32_t v);

// Fills `tables` for 8- or 16-bit output. False, leaving `tables` as it was,
// for a depth outside 8..16, an output depth other than 8 or 16, a black level
// not below white, or a gain that is negative, infinite or not a number.
bool buildDevelopTables(const DevelopSettings& settings, int32_t outputBits, DevelopTables* tables);

// Sums of each colour's samples after black (max(0, v - black)), and how many
// samples went into each.
struct ColourSums {
    uint64_t sum[3] = {0, 0, 0};
    uint64_t count[3] = {0, 0, 0};
};

// Adds every sample of the band's rows to `sums`. Feed each row of the frame
// once, in any order and any banding, for the frame's means. The white stretch
// after black is left out: it scales every colour alike.
void addColourSums(const MosaicFrame& frame, const SampleRows& band, uint16_t black, ColourSums* sums);

// Adds the sums of row `row`'s even-column and odd-column samples after black,
// however they were summed: what addColourSums adds for one row.
void addRowSums(const MosaicFrame& frame, int32_t row, const uint64_t parity[2], ColourSums* sums);

// Gains that bring the mean red and the mean blue to the mean green, green's
// gain being 1. A colour with no samples or a mean of zero, or a frame whose
// mean green is zero, keeps a gain of 1: there is no colour to balance against.
void greyWorldGains(const ColourSums& sums, double gains[3]);

// The byte forms a picture row can take.
enum class PixelFormat : int8_t {
    kRgb8,            // PNG 8-bit, DNG preview
    kBgr8,            // BMP
    kRgb16BigEndian,  // PNG 16-bit
};

// Bytes of one pixel in a format.
int32_t pixelBytes(PixelFormat format);

// The output depth a format holds: 8 or 16.
int32_t formatBits(PixelFormat format);
