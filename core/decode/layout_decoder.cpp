#include "decode/layout_decoder.h"

#include <cstddef>

#include "decode/raw_decoder.h"
#include "platform/vector_paths.h"

#if defined(PIXMORA_SSE_KERNELS)
#include <immintrin.h>
#endif

namespace {

// Where each layout keeps a sample's top 8 bits. In every layout but plain10,
// 12 and 14 they are one whole byte; in those they straddle the word's two
// bytes, and shifting the word left by 16 - N first makes them its high byte.
struct TopBits {
    int32_t groupSamples;
    int32_t groupBytes;
    bool words;         // one 16-bit word a sample
    int32_t wordShift;  // 16 - N for words, else 0
};

constexpr TopBits topBitsOf(RawLayout layout)
{
    const RawLayoutInfo info = kRawLayouts[static_cast<int32_t>(layout)];
    const bool words = info.groupSamples == 1 && info.groupBytes == 2;
    return {info.groupSamples, info.groupBytes, words, words ? 16 - info.sampleBits : 0};
}

// The byte holding sample k's top 8 bits (for words, once shifted).
constexpr int32_t topByte(TopBits t, int32_t k)
{
    return t.words ? 2 * k + 1 : k / t.groupSamples * t.groupBytes + k % t.groupSamples;
}

template <RawLayout L>
inline unsigned top8(const uint8_t* row, int32_t k)
{
    constexpr TopBits kTop = topBitsOf(L);
    if constexpr (kTop.words && kTop.wordShift > 0) {
        const uint8_t* word = row + 2 * static_cast<ptrdiff_t>(k);
        const unsigned value = word[0] | static_cast<unsigned>(word[1]) << 8;
        return value >> (8 - kTop.wordShift) & 0xFF;
    } else {
        return row[topByte(kTop, k)];
    }
}

// A row pair in the form every Bayer pattern shares: red on one row at even or
// odd columns, blue on the other row at the other parity, greens at the rest.
// Swapping the rows turns RGGB into GBRG and GRBG into BGGR, so two kernels per
// layout cover all four patterns.
template <RawLayout L, bool RedEven>
void decodeRowScalar(const uint8_t* redRow, const uint8_t* blueRow, int32_t pixels, uint8_t* bgr)
{
    constexpr int32_t kRed = RedEven ? 0 : 1;
    constexpr int32_t kBlue = 1 - kRed;
    for (int32_t i = 0; i < pixels; ++i) {
        const unsigned green1 = top8<L>(redRow, 2 * i + kBlue);
        const unsigned green2 = top8<L>(blueRow, 2 * i + kRed);
        bgr[0] = static_cast<uint8_t>(top8<L>(blueRow, 2 * i + kBlue));
        bgr[1] = static_cast<uint8_t>((green1 + green2) >> 1);
        bgr[2] = static_cast<uint8_t>(top8<L>(redRow, 2 * i + kRed));
        bgr += 3;
    }
}

using RowKernel = void (*)(const uint8_t*, const uint8_t*, int32_t, uint8_t*);

#if defined(PIXMORA_SSE_KERNELS)
// The vector kernels take 16 pixels a step: 32 samples of each row, a whole
// number of groups in every layout, so a step reads only its own bytes and the
// rows' ends are left to the scalar path.
constexpr int32_t kStepPixels = 16;

// How one step's 32 top bytes reach two vectors. Samples 0..15 go to one
// vector and 16..31 to another, evens in the low 8 bytes and odds in the high 8,
// so unpacking the two by 64-bit halves yields 16 evens and 16 odds. Each half
// spans fewer than 32 bytes: one or two 16-byte loads and a pshufb each.
struct StepPlan {
    int32_t stepBytes;
    int32_t loads;          // per half
    int32_t at[2][2];       // [half][load]: byte offset of the load in the step
    int8_t mask[2][2][16];  // [half][load]: pshufb control
};

constexpr StepPlan stepPlanOf(RawLayout layout)
{
    const TopBits t = topBitsOf(layout);
    StepPlan p{};
    p.stepBytes = 2 * kStepPixels / t.groupSamples * t.groupBytes;
    p.loads = topByte(t, 15) - topByte(t, 0) < 16 ? 1 : 2;
    for (int32_t half = 0; half < 2; ++half) {
        const int32_t first = topByte(t, 16 * half);
        // Words are shifted as 16-bit lanes, so their loads start on a word.
        p.at[half][0] = t.words ? first - 1 : first;
        p.at[half][1] = topByte(t, 16 * half + 15) - 15;
        for (int32_t load = 0; load < 2; ++load) {
            for (int32_t lane = 0; lane < 16; ++lane) {
                p.mask[half][load][lane] = -128;  // pshufb: zero
            }
        }
        for (int32_t k = 16 * half; k < 16 * half + 16; ++k) {
            const int32_t byte = topByte(t, k);
            const int32_t load = byte < p.at[half][0] + 16 ? 0 : 1;
            const int32_t lane = k % 16 / 2 + (k % 2) * 8;
            p.mask[half][load][lane] = static_cast<int8_t>(byte - p.at[half][load]);
        }
    }
    return p;
}

template <RawLayout L>
struct StepPlanOf {
    static constexpr StepPlan kPlan = stepPlanOf(L);
    // A step reads only its own bytes, which a row holding its pixels holds;
    // shifted words are loaded whole.
    static_assert(kPlan.at[1][kPlan.loads - 1] + 16 <= kPlan.stepBytes, "a load past the step");
    static_assert(!topBitsOf(L).words || kPlan.at[1][1] % 2 == 0, "a word split between loads");
};

// pshufb controls that interleave blue, green and red planes of 16 pixels into
// 48 bytes: [output vector][colour][lane].
struct Interleave {
    int8_t mask[3][3][16];
};

constexpr Interleave makeInterleave()
{
    Interleave m{};
    for (int32_t v = 0; v < 3; ++v) {
        for (int32_t colour = 0; colour < 3; ++colour) {
            for (int32_t lane = 0; lane < 16; ++lane) {
                const int32_t n = 16 * v + lane;
                m.mask[v][colour][lane] = static_cast<int8_t>(n % 3 == colour ? n / 3 : -128);
            }
        }
    }
    return m;
}

constexpr Interleave kInterleave = makeInterleave();

__attribute__((target("ssse3"))) inline __m128i loadBytes(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// The even and odd samples' top bytes of one step of a row.
template <RawLayout L>
__attribute__((target("ssse3"))) inline void splitStep(const uint8_t* row, __m128i* even, __m128i* odd)
{
    constexpr TopBits kTop = topBitsOf(L);
    constexpr const StepPlan& kPlan = StepPlanOf<L>::kPlan;
    __m128i halves[2];
    for (int32_t half = 0; half < 2; ++half) {
        __m128i gathered = _mm_setzero_si128();
        for (int32_t load = 0; load < kPlan.loads; ++load) {
            __m128i bytes = loadBytes(row + kPlan.at[half][load]);
            if constexpr (kTop.wordShift > 0) {
                bytes = _mm_slli_epi16(bytes, kTop.wordShift);
            }
            gathered = _mm_or_si128(gathered, _mm_shuffle_epi8(bytes, loadBytes(kPlan.mask[half][load])));
        }
        halves[half] = gathered;
    }
    *even = _mm_unpacklo_epi64(halves[0], halves[1]);
    *odd = _mm_unpackhi_epi64(halves[0], halves[1]);
}

// Output vector V of the 48 bytes of 16 pixels. Spelled out per vector: as a
// loop the compiler kept the planes on the stack.
template <int32_t V>
__attribute__((target("ssse3"))) inline void storeInterleaved(__m128i blue, __m128i green, __m128i red,
                                                              uint8_t* bgr)
{
    const __m128i out = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(blue, loadBytes(kInterleave.mask[V][0])),
                                                  _mm_shuffle_epi8(green, loadBytes(kInterleave.mask[V][1]))),
                                     _mm_shuffle_epi8(red, loadBytes(kInterleave.mask[V][2])));
    constexpr ptrdiff_t kAt = ptrdiff_t{16} * V;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + kAt), out);
}

template <RawLayout L, bool RedEven>
__attribute__((target("ssse3"))) void decodeRowSsse3(const uint8_t* redRow, const uint8_t* blueRow,
                                                     int32_t pixels, uint8_t* bgr)
{
    constexpr int32_t kStepBytes = StepPlanOf<L>::kPlan.stepBytes;
    constexpr ptrdiff_t kStepOutput = ptrdiff_t{3} * kStepPixels;
    const __m128i one = _mm_set1_epi8(1);
    int32_t done = 0;
    for (; done + kStepPixels <= pixels; done += kStepPixels) {
        __m128i redEven, redOdd, blueEven, blueOdd;
        splitStep<L>(redRow, &redEven, &redOdd);
        splitStep<L>(blueRow, &blueEven, &blueOdd);
        const __m128i red = RedEven ? redEven : redOdd;
        const __m128i blue = RedEven ? blueOdd : blueEven;
        const __m128i green1 = RedEven ? redOdd : redEven;
        const __m128i green2 = RedEven ? blueEven : blueOdd;
        // pavgb rounds up; taking back the odd sum's carry truncates.
        const __m128i green = _mm_sub_epi8(_mm_avg_epu8(green1, green2),
                                           _mm_and_si128(_mm_xor_si128(green1, green2), one));
        storeInterleaved<0>(blue, green, red, bgr);
        storeInterleaved<1>(blue, green, red, bgr);
        storeInterleaved<2>(blue, green, red, bgr);
        redRow += kStepBytes;
        blueRow += kStepBytes;
        bgr += kStepOutput;
    }
    decodeRowScalar<L, RedEven>(redRow, blueRow, pixels - done, bgr);
}

#endif

template <RawLayout L>
RowKernel kernelFor(bool redEven)
{
#if defined(PIXMORA_SSE_KERNELS)
    if (ssse3PathsEnabled()) {
        return redEven ? decodeRowSsse3<L, true> : decodeRowSsse3<L, false>;
    }
#endif
    return redEven ? decodeRowScalar<L, true> : decodeRowScalar<L, false>;
}

RowKernel kernelFor(RawLayout layout, bool redEven)
{
    switch (layout) {
    case RawLayout::Mipi10: return kernelFor<RawLayout::Mipi10>(redEven);
    case RawLayout::Mipi12: return kernelFor<RawLayout::Mipi12>(redEven);
    case RawLayout::Mipi14: return kernelFor<RawLayout::Mipi14>(redEven);
    case RawLayout::Plain10: return kernelFor<RawLayout::Plain10>(redEven);
    case RawLayout::Plain12: return kernelFor<RawLayout::Plain12>(redEven);
    case RawLayout::Plain14: return kernelFor<RawLayout::Plain14>(redEven);
    case RawLayout::Plain16: return kernelFor<RawLayout::Plain16>(redEven);
    case RawLayout::Raw8: return kernelFor<RawLayout::Raw8>(redEven);
    case RawLayout::Qcom10: break;
    }
    return nullptr;
}

// The bits a sample of layout L keeps.
template <RawLayout L>
constexpr uint32_t kSampleMask = (1u << kRawLayouts[static_cast<int32_t>(L)].sampleBits) - 1;

#if defined(PIXMORA_SSE_KERNELS)
// 16 samples a step: words masked to their samples, bytes widened to 16 bits,
// and each 32-bit lane's low and high halves summed apart. A lane sums at
// most 2^13 samples below 2^16 of a row, below 2^32. Returns the samples done.
template <RawLayout L>
__attribute__((target("sse2"))) int32_t sumWordsSse2(const uint8_t* row, int32_t width, uint64_t sums[2])
{
    const __m128i samples = _mm_set1_epi16(static_cast<int16_t>(kSampleMask<L>));
    const __m128i lowHalves = _mm_set1_epi32(0xFFFF);
    __m128i even = _mm_setzero_si128();
    __m128i odd = _mm_setzero_si128();
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i words[2];
        if constexpr (L == RawLayout::Raw8) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            words[0] = _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
            words[1] = _mm_unpackhi_epi8(bytes, _mm_setzero_si128());
        } else {
            const uint8_t* at = row + 2 * static_cast<ptrdiff_t>(x);
            words[0] = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), samples);
            words[1] = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16)), samples);
        }
        for (const __m128i w : words) {
            even = _mm_add_epi32(even, _mm_and_si128(w, lowHalves));
            odd = _mm_add_epi32(odd, _mm_srli_epi32(w, 16));
        }
    }
    uint32_t lanes[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), even);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes + 4), odd);
    for (int32_t k = 0; k < 8; ++k) {
        sums[k / 4] += lanes[k];
    }
    return x;
}
#endif

// Sums of a plain layout's words or raw8's bytes, even columns in sums[0].
template <RawLayout L>
void sumWords(const uint8_t* row, int32_t width, uint64_t sums[2])
{
    sums[0] = sums[1] = 0;
    int32_t x = 0;
#if defined(PIXMORA_SSE_KERNELS)
    if (vectorPathsEnabled()) {
        x = sumWordsSse2<L>(row, width, sums);
    }
#endif
    for (; x < width; ++x) {
        const uint8_t* at = row + (L == RawLayout::Raw8 ? 1 : 2) * static_cast<ptrdiff_t>(x);
        sums[x % 2] += L == RawLayout::Raw8 ? at[0] : (at[0] | static_cast<uint32_t>(at[1]) << 8) & kSampleMask<L>;
    }
}

bool isBayerCell(CellLayout cell)
{
    const int32_t positions[4] = {cell.red, cell.green1, cell.green2, cell.blue};
    int32_t seen = 0;
    for (int32_t p : positions) {
        if (p < 0 || p > 3) {
            return false;
        }
        seen |= 1 << p;
    }
    return seen == 0xF && cell.red + cell.blue == 3;
}

}  // namespace

bool decodeRowPair(RawLayout layout, const uint8_t* upper, const uint8_t* lower, CellLayout cell,
                   int32_t pixels, uint8_t* bgr)
{
    if (pixels < 0 || !isBayerCell(cell)) {
        return false;
    }
    const bool redEven = cell.red % 2 == 0;
    const RowKernel kernel = kernelFor(layout, redEven);
    if (kernel == nullptr) {
        return false;
    }
    const bool redUpper = cell.red < 2;
    kernel(redUpper ? upper : lower, redUpper ? lower : upper, pixels, bgr);
    return true;
}

void decodeFrameRowPair(const FrameGeometry& f, const uint8_t* upper, const uint8_t* lower, CellLayout cell,
                        uint8_t* bgr)
{
    if (f.layout == RawLayout::Qcom10) {
        // The window's decoder: every sample of the last group, padding too.
        decodePackedRowPair(upper, lower, cell, framePictureWidth(f) / 3, bgr);
    } else {
        decodeRowPair(f.layout, upper, lower, cell, framePictureWidth(f), bgr);
    }
}

bool sumRow(RawLayout layout, const uint8_t* row, int32_t width, uint64_t sums[2])
{
    switch (layout) {
    case RawLayout::Qcom10: sumPackedRow(row, width, sums); return true;
    case RawLayout::Plain10: sumWords<RawLayout::Plain10>(row, width, sums); return true;
    case RawLayout::Plain12: sumWords<RawLayout::Plain12>(row, width, sums); return true;
    case RawLayout::Plain14: sumWords<RawLayout::Plain14>(row, width, sums); return true;
    case RawLayout::Plain16: sumWords<RawLayout::Plain16>(row, width, sums); return true;
    case RawLayout::Raw8: sumWords<RawLayout::Raw8>(row, width, sums); return true;
    case RawLayout::Mipi10:
    case RawLayout::Mipi12:
    case RawLayout::Mipi14: break;
    }
    return false;
}
