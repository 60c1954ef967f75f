#include "raw/qcom10_group.h"

void unpackGroup(const uint8_t group[8], uint16_t samples[6])
{
    const unsigned b0 = group[0], b1 = group[1], b2 = group[2], b3 = group[3];
    const unsigned b4 = group[4], b5 = group[5], b6 = group[6], b7 = group[7];
    samples[0] = static_cast<uint16_t>((b0 + 256 * b1) & 0x3FF);
    samples[1] = static_cast<uint16_t>(((b1 + 256 * b2) >> 2) & 0x3FF);
    samples[2] = static_cast<uint16_t>(((b2 + 256 * b3) >> 4) & 0x3FF);
    samples[3] = static_cast<uint16_t>(((b3 + 256 * b4) >> 6) & 0x3FF);
    samples[4] = static_cast<uint16_t>((b5 + 256 * b6) & 0x3FF);
    samples[5] = static_cast<uint16_t>(((b6 + 256 * b7) >> 2) & 0x3FF);
}

void packGroup(const uint16_t samples[6], uint8_t group[8])
{
    uint64_t v = 0;
    for (int64_t j = 0; j < kQcom10GroupSamples; ++j) {
        v |= static_cast<uint64_t>(samples[j] & 0x3FF) << (10 * j);
    }
    for (int64_t i = 0; i < kQcom10GroupBytes; ++i) {
        group[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}
