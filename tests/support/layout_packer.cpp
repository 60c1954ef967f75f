#include "layout_packer.h"

#include <stdexcept>

namespace {

struct Packing {
    int32_t bits;
    int32_t groupSamples;
    int32_t groupBytes;
};

Packing packingOf(RawLayout layout)
{
    switch (layout) {
    case RawLayout::Qcom10: return {10, 6, 8};
    case RawLayout::Mipi10: return {10, 4, 5};
    case RawLayout::Mipi12: return {12, 2, 3};
    case RawLayout::Mipi14: return {14, 4, 7};
    case RawLayout::Plain10: return {10, 1, 2};
    case RawLayout::Plain12: return {12, 1, 2};
    case RawLayout::Plain14: return {14, 1, 2};
    case RawLayout::Plain16: return {16, 1, 2};
    case RawLayout::Raw8: return {8, 1, 1};
    }
    throw std::invalid_argument("no such layout");
}

void putLittleEndian(uint64_t value, int32_t bytes, std::vector<uint8_t>& out)
{
    for (int32_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

int32_t packedSampleBits(RawLayout layout)
{
    return packingOf(layout).bits;
}

std::vector<uint8_t> packLayoutRow(RawLayout layout, const std::vector<uint16_t>& samples, std::mt19937& noise)
{
    const Packing p = packingOf(layout);
    std::vector<uint16_t> s = samples;
    while (s.size() % static_cast<size_t>(p.groupSamples) != 0) {
        s.push_back(static_cast<uint16_t>(noise() & ((1u << p.bits) - 1)));
    }
    std::vector<uint8_t> out;
    for (size_t g = 0; g < s.size(); g += static_cast<size_t>(p.groupSamples)) {
        const uint16_t* v = &s[g];
        uint64_t low = 0;  // the low pieces of the mipi layouts
        switch (layout) {
        case RawLayout::Qcom10: {
            uint64_t bits = static_cast<uint64_t>(noise() & 0xF) << 60;
            for (int j = 0; j < 6; ++j) {
                bits |= static_cast<uint64_t>(v[j]) << (10 * j);
            }
            putLittleEndian(bits, 8, out);
            break;
        }
        case RawLayout::Mipi10:
        case RawLayout::Mipi14: {
            const int32_t lowBits = p.bits - 8;
            for (int k = 0; k < 4; ++k) {
                out.push_back(static_cast<uint8_t>(v[k] >> lowBits));
                low |= static_cast<uint64_t>(v[k] & ((1u << lowBits) - 1)) << (lowBits * k);
            }
            putLittleEndian(low, p.groupBytes - 4, out);
            break;
        }
        case RawLayout::Mipi12:
            out.push_back(static_cast<uint8_t>(v[0] >> 4));
            out.push_back(static_cast<uint8_t>(v[1] >> 4));
            out.push_back(static_cast<uint8_t>((v[0] & 0xF) | (v[1] & 0xF) << 4));
            break;
        case RawLayout::Raw8:
            out.push_back(static_cast<uint8_t>(v[0]));
            break;
        default:
            putLittleEndian(v[0] | (noise() << p.bits & 0xFFFF), 2, out);
            break;
        }
    }
    return out;
}
