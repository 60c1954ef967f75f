#include "raw_layout.h"

#include <algorithm>

namespace {

bool known(RawLayout layout)
{
    const auto index = static_cast<int32_t>(layout);
    return index >= 0 && index < kRawLayoutCount;
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Full-precision samples of one whole group.
template <RawLayout L>
void unpackGroup(const uint8_t* g, uint16_t* s)
{
    if constexpr (L == RawLayout::Qcom10) {
        uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) {
            bits = bits << 8 | g[i];
        }
        for (int j = 0; j < 6; ++j) {
            s[j] = static_cast<uint16_t>(bits >> (10 * j) & 0x3FF);
        }
    } else if constexpr (L == RawLayout::Mipi10) {
        for (int k = 0; k < 4; ++k) {
            s[k] = static_cast<uint16_t>(g[k] << 2 | (g[4] >> (2 * k) & 0x3));
        }
    } else if constexpr (L == RawLayout::Mipi12) {
        s[0] = static_cast<uint16_t>(g[0] << 4 | (g[2] & 0xF));
        s[1] = static_cast<uint16_t>(g[1] << 4 | g[2] >> 4);
    } else if constexpr (L == RawLayout::Mipi14) {
        const uint32_t low = static_cast<uint32_t>(g[4]) | static_cast<uint32_t>(g[5]) << 8 |
                             static_cast<uint32_t>(g[6]) << 16;
        for (int k = 0; k < 4; ++k) {
            s[k] = static_cast<uint16_t>(static_cast<uint32_t>(g[k]) << 6 | (low >> (6 * k) & 0x3F));
        }
    } else if constexpr (L == RawLayout::Raw8) {
        s[0] = g[0];
    } else {
        constexpr unsigned kMask = (1u << kRawLayouts[static_cast<int32_t>(L)].sampleBits) - 1;
        s[0] = static_cast<uint16_t>((g[0] | static_cast<unsigned>(g[1]) << 8) & kMask);
    }
}

template <RawLayout L>
void unpackGroups(const uint8_t* row, int32_t width, uint16_t* samples)
{
    constexpr RawLayoutInfo kInfo = kRawLayouts[static_cast<int32_t>(L)];
    int32_t done = 0;
    for (; done + kInfo.groupSamples <= width; done += kInfo.groupSamples) {
        unpackGroup<L>(row, samples + done);
        row += kInfo.groupBytes;
    }
    if (done < width) {
        // The last group is whole in the row but only partly wanted.
        uint16_t last[static_cast<size_t>(kInfo.groupSamples)];
        unpackGroup<L>(row, last);
        std::copy(last, last + (width - done), samples + done);
    }
}

}  // namespace

RawLayoutInfo layoutInfo(RawLayout layout)
{
    return known(layout) ? kRawLayouts[static_cast<int32_t>(layout)] : RawLayoutInfo{nullptr, 0, 0, 0};
}

const char* layoutName(RawLayout layout)
{
    return layoutInfo(layout).name;
}

std::optional<RawLayout> layoutByName(std::string_view name)
{
    for (int32_t i = 0; i < kRawLayoutCount; ++i) {
        const std::string_view candidate = kRawLayouts[i].name;
        bool same = name.size() == candidate.size();
        for (size_t k = 0; same && k < name.size(); ++k) {
            same = lower(name[k]) == candidate[k];
        }
        if (same) {
            return static_cast<RawLayout>(i);
        }
    }
    return std::nullopt;
}

int64_t minimumRowBytes(RawLayout layout, int32_t width)
{
    const RawLayoutInfo info = layoutInfo(layout);
    if (width < 1 || info.groupSamples == 0) {
        return 0;
    }
    return (int64_t{width} + info.groupSamples - 1) / info.groupSamples * info.groupBytes;
}

int32_t layoutPictureWidth(RawLayout layout, int32_t width)
{
    if (width < 1) {
        return 0;
    }
    if (layout == RawLayout::Qcom10) {
        return static_cast<int32_t>((int64_t{width} + 5) / 6 * 3);
    }
    return width / 2;
}

void unpackRow(RawLayout layout, const uint8_t* row, int32_t width, uint16_t* samples)
{
    switch (layout) {
    case RawLayout::Qcom10: unpackGroups<RawLayout::Qcom10>(row, width, samples); break;
    case RawLayout::Mipi10: unpackGroups<RawLayout::Mipi10>(row, width, samples); break;
    case RawLayout::Mipi12: unpackGroups<RawLayout::Mipi12>(row, width, samples); break;
    case RawLayout::Mipi14: unpackGroups<RawLayout::Mipi14>(row, width, samples); break;
    case RawLayout::Plain10: unpackGroups<RawLayout::Plain10>(row, width, samples); break;
    case RawLayout::Plain12: unpackGroups<RawLayout::Plain12>(row, width, samples); break;
    case RawLayout::Plain14: unpackGroups<RawLayout::Plain14>(row, width, samples); break;
    case RawLayout::Plain16: unpackGroups<RawLayout::Plain16>(row, width, samples); break;
    case RawLayout::Raw8: unpackGroups<RawLayout::Raw8>(row, width, samples); break;
    }
}
