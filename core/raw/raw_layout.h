// Raw layouts: how a headerless dump packs each row of Bayer samples into bytes.
//
// A row of W samples is cut into groups of consecutive samples, each group a
// fixed number of bytes; the last group is whole even when W does not fill it
// (its extra samples are ignored), so a row needs at least ceil(W / samples per
// group) x bytes per group bytes. Multi-byte fields are little-endian. s0, s1...
// are the group's samples left to right; s1[9:2] is bits 9 down to 2 of s1.
//
//   qcom10   10 bits, 6 samples in 8 bytes. Read as one 64-bit number, sample j
//            is bits 10j .. 10j + 9; bits 60..63 are unused.
//              bit  63..60  59......50  49......40  39......30  29......20  19......10  9.......0
//                   unused      s5          s4          s3          s2          s1         s0
//            Its rows also differ in what the picture takes: A = W rounded up
//            to a multiple of 6 samples, all of them decoded (see decode/raw_decoder.h).
//
//   mipi10   10 bits, 4 samples in 5 bytes: the high 8 bits of each sample in
//            order, then one byte of the four low 2-bit pieces.
//              byte      0        1        2        3                4
//                     s0[9:2]  s1[9:2]  s2[9:2]  s3[9:2]  s3[1:0] s2[1:0] s1[1:0] s0[1:0]
//                                                          bits 7-6  5-4     3-2     1-0
//
//   mipi12   12 bits, 2 samples in 3 bytes.
//              byte      0         1                 2
//                     s0[11:4]  s1[11:4]   s1[3:0] (bits 7-4)  s0[3:0] (bits 3-0)
//
//   mipi14   14 bits, 4 samples in 7 bytes: the high 8 bits of each sample, then
//            bytes 4..6 read as one 24-bit number holding the low 6-bit pieces.
//              byte      0         1         2         3       4 5 6
//                     s0[13:6]  s1[13:6]  s2[13:6]  s3[13:6]   L
//              L bit  23......18  17......12  11.......6  5.......0
//                      s3[5:0]     s2[5:0]     s1[5:0]     s0[5:0]
//
//   plain10, plain12, plain14, plain16
//            10, 12, 14 or 16 bits, one 16-bit word a sample: the value is the
//            word's low N bits, the bits above it are ignored (sensors leave
//            flags or sign copies there).
//
//   raw8     8 bits, one byte a sample.
//
// The 8-bit value of a sample of b bits is its top 8 bits, v >> (b - 8): for
// the mipi layouts simply the sample's leading byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

enum class RawLayout : int32_t { Qcom10, Mipi10, Mipi12, Mipi14, Plain10, Plain12, Plain14, Plain16, Raw8 };

constexpr int32_t kRawLayoutCount = 9;

struct RawLayoutInfo {
    const char* name;      // lower case: "qcom10", "mipi10", ...
    int32_t sampleBits;
    int32_t groupSamples;  // consecutive samples of a row packed together
    int32_t groupBytes;    // bytes those samples take
};

// In enum order.
inline constexpr RawLayoutInfo kRawLayouts[kRawLayoutCount] = {
    {"qcom10", 10, 6, 8},  {"mipi10", 10, 4, 5},  {"mipi12", 12, 2, 3},
    {"mipi14", 14, 4, 7},  {"plain10", 10, 1, 2}, {"plain12", 12, 1, 2},
    {"plain14", 14, 1, 2}, {"plain16", 16, 1, 2}, {"raw8", 8, 1, 1},
};

// The table row of a layout; a value outside the enum gives {nullptr, 0, 0, 0}.
RawLayoutInfo layoutInfo(RawLayout layout);

// "qcom10" ... for a layout of the enum; nullptr for any other value.
const char* layoutName(RawLayout layout);

// The layout with exactly this name in any letter case, or none.
std::optional<RawLayout> layoutByName(std::string_view name);

// Bytes a row of `width` samples needs (whole groups); 0 for a width below 1 or
// a layout outside the enum.
int64_t minimumRowBytes(RawLayout layout, int32_t width);

// Picture width for a raw width: (width rounded up to a multiple of 6) / 2 for
// qcom10, width / 2 for the others (an odd last column is unused, like an odd
// last row). 0 for a width below 1.
int32_t layoutPictureWidth(RawLayout layout, int32_t width);

// The `width` samples of one row at full precision (plain words masked to their
// N bits) into samples[0 .. width - 1]. Reads minimumRowBytes(layout, width)
// bytes of `row`; does nothing for a width below 1.
void unpackRow(RawLayout layout, const uint8_t* row, int32_t width, uint16_t* samples);
