// The qcom10 group: 8 bytes b0..b7 hold 6 consecutive 10-bit samples of one
// row. Read as one little-endian 64-bit number, sample j (left to right) is the
// 10 bits starting at bit 10 * j; bits 60..63 are unused.
//
//   bit  63..60  59......50  49......40  39......30  29......20  19......10  9.......0
//        unused   sample 5    sample 4    sample 3    sample 2    sample 1   sample 0
#pragma once

#include <cstdint>

constexpr int64_t kQcom10GroupSamples = 6;
constexpr int64_t kQcom10GroupBytes = 8;

// The six 10-bit samples of one 8-byte group.
void unpackGroup(const uint8_t group[8], uint16_t samples[6]);

// The inverse: packs six samples (their low 10 bits) into 8 bytes, top bits zero.
void packGroup(const uint16_t samples[6], uint8_t group[8]);
