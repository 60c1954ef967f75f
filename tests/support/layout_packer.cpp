#include "support/layout_packer.h"

namespace {

struct Packing {
    int32_t bits;
    int32_t groupSamples;
    int32_t groupBytes;
};

// In enum order: qcom10, mipi10, mipi12, mipi14, plain10, plain12, plain14, plain16, raw8.
constexpr Packing kPackings[] = {{10, 6, 8},  {10, 4, 5},  {12, 2, 3},  {14, 4, 7}, {10, 1, 2},
                                 {12, 1, 2}, {14, 1, 2}, {16, 1, 2}, {8, 1, 1}};

void putLittleEndian(uint64_t value, int32_t bytes, std::vector<uint8_t>& out)
{
    for (int32_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

int32_t packedSampleBits(RawLayout layout)
{
    return kPackings[static_cast<size_t>(layout)].bits;
}

std::vector<uint8_t> packLayoutRow(RawLayout layout, const std::vector<uint16_t>& samples, std::mt19937& noise)
{
    const Packing p = kPackings[static_cast<size_t>(layout)];
    const auto groupSamples = static_cast<size_t>(p.groupSamples);
    std::vector<uint16_t> s = samples;
    while (s.size() % groupSamples != 0) {
        s.push_back(static_cast<uint16_t>(noise() & ((1u << p.bits) - 1)));
    }
    std::vector<uint8_t> out;
    for (size_t g = 0; g < s.size(); g += groupSamples) {
        const uint16_t* v = &s[g];
        if (layout == RawLayout::Qcom10) {
            uint64_t bits = static_cast<uint64_t>(noise() & 0xF) << 60;
            for (size_t j = 0; j < 6; ++j) {
                bits |= static_cast<uint64_t>(v[j]) << (10 * j);
            }
            putLittleEndian(bits, 8, out);
        } else if (p.groupSamples > 1) {
            // mipi: each sample's high byte, then its low pieces side by side, sample 0 lowest.
            const int32_t lowBits = p.bits - 8;
            uint64_t low = 0;
            for (size_t k = 0; k < groupSamples; ++k) {
                out.push_back(static_cast<uint8_t>(v[k] >> lowBits));
                low |= static_cast<uint64_t>(v[k] & ((1u << lowBits) - 1)) << (static_cast<size_t>(lowBits) * k);
            }
            putLittleEndian(low, p.groupBytes - p.groupSamples, out);
        } else {
            putLittleEndian(v[0] | (noise() << p.bits & 0xFFFF), p.groupBytes, out);
        }
    }
    out.shrink_to_fit();
    return out;
}
