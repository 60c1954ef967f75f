#include "raw/raw_layout.h"

#include <algorithm>
#include <cstddef>

#include "raw/qcom10_group.h"
#include "text/ascii.h"
#include "platform/vector_paths.h"

#if defined(PIXMORA_SSE_KERNELS)
#include <immintrin.h>
#endif

namespace {

bool known(RawLayout layout)
{
    const auto index = static_cast<int32_t>(layout);
    return index >= 0 && index < kRawLayoutCount;
}

// Full-precision samples of one whole group.
template <RawLayout L>
void unpackGroup(const uint8_t* g, uint16_t* s)
{
    if constexpr (L == RawLayout::Qcom10) {
        ::unpackGroup(g, s);
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

#if defined(PIXMORA_SSE_KERNELS)
// The vector kernels make 8 samples a vector (24 a step for qcom10, whose
// groups of 6 meet 8-sample vectors every 3), each read from one 16-byte load
// by pshufb. Every sample of a packed layout is at most a high byte and a
// run of low bits inside a 16-bit window of the row:
//
//   qcom10  no high byte; the 10 bits start at bit 10j of the group's word
//   mipi    the sample's own byte, then sampleBits - 8 low bits from the
//           group's tail, starting at tail bit (sampleBits - 8) * k
//
// pshufb puts the high byte in a lane's high byte (a shift right makes it
// value << lowBits) and the window's two bytes in another lane; multiplying
// by 2^(16 - lowBits - offset) moves the low bits to the lane's top, where a
// shift right takes them with nothing above.
constexpr int32_t kLanes = 8;

struct UnpackPlan {
    int32_t stepSamples;
    int32_t stepBytes;
    int32_t vectors;          // per step
    int32_t lowBits;
    bool high;                // a high byte per sample
    int32_t at[3];            // [vector]: byte offset of its load in the step
    int8_t highMask[3][16];   // [vector]: pshufb control
    int8_t lowMask[3][16];
    int16_t scale[3][kLanes];
    int32_t readBytes;        // the furthest byte a step's loads reach
};

constexpr UnpackPlan unpackPlanOf(RawLayout layout)
{
    const RawLayoutInfo info = kRawLayouts[static_cast<int32_t>(layout)];
    UnpackPlan p{};
    p.high = layout != RawLayout::Qcom10;
    p.lowBits = p.high ? info.sampleBits - 8 : info.sampleBits;
    p.vectors = info.groupSamples == 6 ? 3 : 1;
    p.stepSamples = kLanes * p.vectors;
    p.stepBytes = p.stepSamples / info.groupSamples * info.groupBytes;
    for (int32_t v = 0; v < p.vectors; ++v) {
        const int32_t firstGroup = kLanes * v / info.groupSamples;
        p.at[v] = firstGroup * info.groupBytes;
        for (int32_t lane = 0; lane < 16; ++lane) {
            p.highMask[v][lane] = -128;  // pshufb: zero
            p.lowMask[v][lane] = -128;
        }
        for (int32_t lane = 0; lane < kLanes; ++lane) {
            const int32_t k = kLanes * v + lane;
            const auto low = static_cast<size_t>(lane) * 2;
            const int32_t groupAt = k / info.groupSamples * info.groupBytes - p.at[v];
            const int32_t j = k % info.groupSamples;
            if (p.high) {
                p.highMask[v][low + 1] = static_cast<int8_t>(groupAt + j);
            }
            const int32_t bit = (p.high ? 8 * info.groupSamples : 0) + p.lowBits * j;
            const int32_t byte = groupAt + bit / 8;
            p.lowMask[v][low] = static_cast<int8_t>(byte);
            if (bit % 8 + p.lowBits > 8) {
                p.lowMask[v][low + 1] = static_cast<int8_t>(byte + 1);
            }
            p.scale[v][lane] = static_cast<int16_t>(1 << (16 - p.lowBits - bit % 8));
            p.readBytes = p.at[v] + 16 > p.readBytes ? p.at[v] + 16 : p.readBytes;
        }
    }
    return p;
}

// Every pshufb control picks a byte of its own load, and every step's loads
// together reach every byte of the step.
constexpr bool isSoundPlan(const UnpackPlan& p)
{
    for (int32_t v = 0; v < p.vectors; ++v) {
        for (int32_t lane = 0; lane < 16; ++lane) {
            if (p.highMask[v][lane] > 15 || p.lowMask[v][lane] > 15) {
                return false;
            }
        }
    }
    return p.readBytes >= p.stepBytes;
}

template <RawLayout L>
struct UnpackPlanOf {
    static constexpr UnpackPlan kPlan = unpackPlanOf(L);
    static_assert(isSoundPlan(kPlan), "a window outside its load");
};

template <RawLayout L>
__attribute__((target("ssse3"))) void unpackRowSsse3(const uint8_t* row, int32_t width, uint16_t* samples)
{
    constexpr const UnpackPlan& kPlan = UnpackPlanOf<L>::kPlan;
    constexpr int32_t kBits = kRawLayouts[static_cast<int32_t>(L)].sampleBits;
    // A step's loads may reach past its own bytes into the next group's, so
    // the last steps that would read past the row are left to the scalar path.
    const int64_t rowBytes = minimumRowBytes(L, width);
    int32_t done = 0;
    int64_t at = 0;
    for (; done + kPlan.stepSamples <= width && at + kPlan.readBytes <= rowBytes;
         done += kPlan.stepSamples, at += kPlan.stepBytes) {
        for (int32_t v = 0; v < kPlan.vectors; ++v) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at + kPlan.at[v]));
            const __m128i window = _mm_shuffle_epi8(bytes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPlan.lowMask[v])));
            __m128i value = _mm_srli_epi16(
                _mm_mullo_epi16(window, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPlan.scale[v]))),
                16 - kPlan.lowBits);
            if constexpr (kPlan.high) {
                const __m128i high = _mm_shuffle_epi8(bytes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPlan.highMask[v])));
                value = _mm_or_si128(value, _mm_srli_epi16(high, 16 - kBits));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + done + static_cast<ptrdiff_t>(kLanes) * v), value);
        }
    }
    unpackGroups<L>(row + at, width - done, samples + done);
}

// Plain words need only their bits above the sample cleared, raw8 bytes only
// widening: plain SSE2.
template <RawLayout L>
__attribute__((target("sse2"))) void unpackRowSse2(const uint8_t* row, int32_t width, uint16_t* samples)
{
    int32_t done = 0;
    if constexpr (L == RawLayout::Raw8) {
        const __m128i zero = _mm_setzero_si128();
        for (; done + 16 <= width; done += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + done));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + done), _mm_unpacklo_epi8(bytes, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + done + 8), _mm_unpackhi_epi8(bytes, zero));
        }
        unpackGroups<L>(row + done, width - done, samples + done);
    } else {
        constexpr int32_t kBits = kRawLayouts[static_cast<int32_t>(L)].sampleBits;
        const __m128i mask = _mm_set1_epi16(static_cast<int16_t>((1u << kBits) - 1));
        for (; done + 8 <= width; done += 8) {
            const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * static_cast<size_t>(done)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + done), _mm_and_si128(words, mask));
        }
        unpackGroups<L>(row + 2 * static_cast<size_t>(done), width - done, samples + done);
    }
}

#endif

template <RawLayout L>
void unpackRowFastest(const uint8_t* row, int32_t width, uint16_t* samples)
{
#if defined(PIXMORA_SSE_KERNELS)
    if (vectorPathsEnabled()) {
        constexpr RawLayoutInfo kInfo = kRawLayouts[static_cast<int32_t>(L)];
        if constexpr (kInfo.groupSamples == 1) {
            unpackRowSse2<L>(row, width, samples);
            return;
        } else if (ssse3PathsEnabled()) {
            unpackRowSsse3<L>(row, width, samples);
            return;
        }
    }
#endif
    unpackGroups<L>(row, width, samples);
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
        if (equalsIgnoringCase(name, kRawLayouts[i].name)) {
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
    case RawLayout::Qcom10: unpackRowFastest<RawLayout::Qcom10>(row, width, samples); break;
    case RawLayout::Mipi10: unpackRowFastest<RawLayout::Mipi10>(row, width, samples); break;
    case RawLayout::Mipi12: unpackRowFastest<RawLayout::Mipi12>(row, width, samples); break;
    case RawLayout::Mipi14: unpackRowFastest<RawLayout::Mipi14>(row, width, samples); break;
    case RawLayout::Plain10: unpackRowFastest<RawLayout::Plain10>(row, width, samples); break;
    case RawLayout::Plain12: unpackRowFastest<RawLayout::Plain12>(row, width, samples); break;
    case RawLayout::Plain14: unpackRowFastest<RawLayout::Plain14>(row, width, samples); break;
    case RawLayout::Plain16: unpackRowFastest<RawLayout::Plain16>(row, width, samples); break;
    case RawLayout::Raw8: unpackRowFastest<RawLayout::Raw8>(row, width, samples); break;
    }
}
