#include "decode/raw_decoder.h"

#include <cstring>
#include <optional>

#include "raw/qcom10_group.h"
#include "raw/raw_geometry.h"
#include "platform/vector_paths.h"

#if defined(PIXMORA_SSE_KERNELS)
#include <immintrin.h>
#endif

namespace {

constexpr int64_t kSamplesPerGroup = kQcom10GroupSamples;
constexpr int64_t kBytesPerGroup = kQcom10GroupBytes;

uint64_t loadLittleEndian64(const uint8_t* p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// The geometry of a decode whose input and picture fit it, or none.
std::optional<RawGeometry> fits(size_t packedBytes, int64_t width, int64_t height,
                                const BgrRows& picture)
{
    if (!isDecodableGeometry(width, height) || picture.pixels == nullptr) {
        return std::nullopt;
    }
    const RawGeometry g = rawGeometry(width, height);
    if (static_cast<uint64_t>(g.inputBytes) > packedBytes || picture.width != g.pictureWidth ||
        picture.height != g.pictureHeight || picture.stride < 3 * static_cast<int64_t>(picture.width)) {
        return std::nullopt;
    }
    return g;
}

// ---------------------------------------------------------------------------
// Fast path, specialised on the four cell layouts: every pattern puts each
// colour at the same cell position (0 upper-left, 1 upper-right, 2 lower-left,
// 3 lower-right) of every cell.

// One 8-byte group of each row into three pixels. The 8-bit value of sample j
// is bits 10j + 2 .. 10j + 9 of the group.
template <int Red, int Blue, int Green1, int Green2>
inline void decodeGroupScalar(const uint8_t* upper, const uint8_t* lower, uint8_t* out)
{
    const uint64_t u = loadLittleEndian64(upper);
    const uint64_t l = loadLittleEndian64(lower);
    for (int k = 0; k < 3; ++k) {
        const unsigned shift = 20u * static_cast<unsigned>(k);
        const unsigned cell[4] = {
            static_cast<unsigned>(u >> (shift + 2)) & 0xFFu,
            static_cast<unsigned>(u >> (shift + 12)) & 0xFFu,
            static_cast<unsigned>(l >> (shift + 2)) & 0xFFu,
            static_cast<unsigned>(l >> (shift + 12)) & 0xFFu,
        };
        out[0] = static_cast<uint8_t>(cell[Blue]);
        out[1] = static_cast<uint8_t>((cell[Green1] + cell[Green2]) >> 1);
        out[2] = static_cast<uint8_t>(cell[Red]);
        out += 3;
    }
}

#if defined(PIXMORA_SSE_KERNELS)
__attribute__((target("ssse3"))) inline __m128i extract(__m128i bytes, __m128i windows, __m128i scale)
{
    return _mm_srli_epi16(_mm_mullo_epi16(_mm_shuffle_epi8(bytes, windows), scale), 8);
}

// Two groups of each row (16 bytes, 12 samples) into six pixels (18 bytes).
// Each sample's 16-bit window is gathered into a lane, multiplied so that the
// sample's 8 wanted bits land in the lane's high byte, and shifted down.
template <int Red, int Blue, int Green1, int Green2>
__attribute__((target("ssse3"))) void decodeRowSsse3(const uint8_t* upper, const uint8_t* lower,
                                                     uint8_t* out, int64_t groups)
{
    constexpr char Z = -128;  // pshufb: write zero
    // Even samples 0, 2, 4 of each group: windows at bytes (0,1), (2,3), (5,6),
    // needing shifts 2, 6, 2; odd samples 1, 3, 5: bytes (1,2), (3,4), (6,7),
    // shifts 4, 8, 4. Lanes 0..2 are group 0, lanes 3..5 group 1.
    const __m128i evenWindows = _mm_setr_epi8(0, 1, 2, 3, 5, 6, 8, 9, 10, 11, 13, 14, Z, Z, Z, Z);
    const __m128i oddWindows = _mm_setr_epi8(1, 2, 3, 4, 6, 7, 9, 10, 11, 12, 14, 15, Z, Z, Z, Z);
    const __m128i evenScale = _mm_setr_epi16(64, 4, 64, 64, 4, 64, 0, 0);
    const __m128i oddScale = _mm_setr_epi16(16, 1, 16, 16, 1, 16, 0, 0);
    // From packus(blue, green) and packus(red, red) to B G R B G R ...
    const __m128i fromBlueGreen = _mm_setr_epi8(0, 8, Z, 1, 9, Z, 2, 10, Z, 3, 11, Z, 4, 12, Z, 5);
    const __m128i fromRed = _mm_setr_epi8(Z, Z, 0, Z, Z, 1, Z, Z, 2, Z, Z, 3, Z, Z, 4, Z);

    int64_t g = 0;
    for (; g + 2 <= groups; g += 2) {
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower));
        const __m128i cell[4] = {
            extract(u, evenWindows, evenScale),
            extract(u, oddWindows, oddScale),
            extract(l, evenWindows, evenScale),
            extract(l, oddWindows, oddScale),
        };
        const __m128i green = _mm_srli_epi16(_mm_add_epi16(cell[Green1], cell[Green2]), 1);
        const __m128i blueGreen = _mm_packus_epi16(cell[Blue], green);
        const __m128i red = _mm_packus_epi16(cell[Red], cell[Red]);
        const __m128i first = _mm_or_si128(_mm_shuffle_epi8(blueGreen, fromBlueGreen),
                                           _mm_shuffle_epi8(red, fromRed));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
        out[16] = static_cast<uint8_t>(_mm_extract_epi16(blueGreen, 6) >> 8);  // green 5
        out[17] = static_cast<uint8_t>(_mm_extract_epi16(red, 2) >> 8);        // red 5
        upper += 2 * kBytesPerGroup;
        lower += 2 * kBytesPerGroup;
        out += 18;
    }
    if (g < groups) {
        decodeGroupScalar<Red, Blue, Green1, Green2>(upper, lower, out);
    }
}

#endif

template <int Red, int Blue, int Green1, int Green2>
void decodeRowScalar(const uint8_t* upper, const uint8_t* lower, uint8_t* out, int64_t groups)
{
    for (int64_t g = 0; g < groups; ++g) {
        decodeGroupScalar<Red, Blue, Green1, Green2>(upper, lower, out);
        upper += kBytesPerGroup;
        lower += kBytesPerGroup;
        out += 9;
    }
}

using RowDecoder = void (*)(const uint8_t*, const uint8_t*, uint8_t*, int64_t);

template <int Red, int Blue, int Green1, int Green2>
RowDecoder pickRowDecoder()
{
#if defined(PIXMORA_SSE_KERNELS)
    if (ssse3PathsEnabled()) {
        return decodeRowSsse3<Red, Blue, Green1, Green2>;
    }
#endif
    return decodeRowScalar<Red, Blue, Green1, Green2>;
}

// Red and blue name the layout; the greens are summed, so their order is free.
RowDecoder rowDecoderFor(CellLayout cell)
{
    switch (cell.red * 4 + cell.blue) {
    case kUpperLeft * 4 + kLowerRight: return pickRowDecoder<0, 3, 1, 2>();  // RGGB
    case kUpperRight * 4 + kLowerLeft: return pickRowDecoder<1, 2, 0, 3>();  // GRBG
    case kLowerRight * 4 + kUpperLeft: return pickRowDecoder<3, 0, 1, 2>();  // BGGR
    default: return pickRowDecoder<2, 1, 0, 3>();                             // GBRG
    }
}

// Sums of both columns' samples of whole groups, two groups a step: each
// 64-bit lane keeps three running sums, of the samples at bits 0, 20 and 40
// (even columns) or, shifted down by 10, at 10, 30 and 50 (odd ones), in
// fields of 20 bits that 1024 steps of samples below 2^10 cannot fill.
#if defined(PIXMORA_SSE_KERNELS)
__attribute__((target("sse2"))) int64_t sumGroupsSse2(const uint8_t* row, int64_t groups, uint64_t sums[2])
{
    constexpr int64_t kStepsBetweenFlushes = 1024;
    const __m128i fields = _mm_set1_epi64x(0x0003FF003FF003FF);
    int64_t g = 0;
    while (g + 2 <= groups) {
        __m128i even = _mm_setzero_si128();
        __m128i odd = _mm_setzero_si128();
        for (int64_t steps = 0; steps < kStepsBetweenFlushes && g + 2 <= groups; ++steps, g += 2) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + g * kBytesPerGroup));
            even = _mm_add_epi64(even, _mm_and_si128(bytes, fields));
            odd = _mm_add_epi64(odd, _mm_and_si128(_mm_srli_epi64(bytes, 10), fields));
        }
        uint64_t lanes[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), even);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes + 2), odd);
        for (int k = 0; k < 4; ++k) {
            sums[k / 2] += (lanes[k] & 0xFFFFF) + (lanes[k] >> 20 & 0xFFFFF) + (lanes[k] >> 40);
        }
    }
    return g;
}
#endif

}  // namespace

void sumPackedRow(const uint8_t* row, int32_t width, uint64_t sums[2])
{
    sums[0] = sums[1] = 0;
    const int64_t groups = (int64_t{width} + kSamplesPerGroup - 1) / kSamplesPerGroup;
    const int64_t whole = width / kSamplesPerGroup;
    int64_t g = 0;
#if defined(PIXMORA_SSE_KERNELS)
    if (vectorPathsEnabled()) {
        g = sumGroupsSse2(row, whole, sums);
    }
#endif
    for (; g < groups; ++g) {
        uint16_t s[kSamplesPerGroup];
        unpackGroup(row + g * kBytesPerGroup, s);
        for (int64_t j = 0; j < kSamplesPerGroup && g * kSamplesPerGroup + j < width; ++j) {
            sums[j % 2] += s[j];
        }
    }
}

bool decodePackedRawReference(const uint8_t* packed, size_t packedBytes, int64_t width,
                              int64_t height, CellLayout cell, const BgrRows& picture)
{
    const std::optional<RawGeometry> geometry = fits(packedBytes, width, height, picture);
    if (!geometry) {
        return false;
    }
    const RawGeometry& g = *geometry;
    for (int64_t y = 0; y + 1 < height; y += 2) {
        uint8_t* out = picture.pixels + (picture.height - 1 - y / 2) * picture.stride;
        for (int64_t c = 0; c < g.alignedWidth; c += kSamplesPerGroup) {
            uint16_t s[2][6];
            unpackGroup(packed + (y * g.alignedWidth + c) / 6 * 8, s[0]);
            unpackGroup(packed + ((y + 1) * g.alignedWidth + c) / 6 * 8, s[1]);
            for (int k = 0; k < 3; ++k) {
                const auto at = [&](CellPosition p) { return s[p / 2][2 * k + p % 2] >> 2; };
                *out++ = static_cast<uint8_t>(at(cell.blue));
                *out++ = static_cast<uint8_t>((at(cell.green1) + at(cell.green2)) / 2);
                *out++ = static_cast<uint8_t>(at(cell.red));
            }
        }
    }
    return true;
}

void decodePackedRowPair(const uint8_t* upper, const uint8_t* lower, CellLayout cell,
                         int64_t groups, uint8_t* bgr)
{
    rowDecoderFor(cell)(upper, lower, bgr, groups);
}

bool decodePackedRaw(const uint8_t* packed, size_t packedBytes, int64_t width, int64_t height,
                     CellLayout cell, const BgrRows& picture)
{
    const std::optional<RawGeometry> geometry = fits(packedBytes, width, height, picture);
    if (!geometry) {
        return false;
    }
    const RawGeometry& g = *geometry;
    const RowDecoder decodeRow = rowDecoderFor(cell);
    const int64_t groups = g.alignedWidth / kSamplesPerGroup;
    for (int64_t j = 0; j < picture.height; ++j) {
        const uint8_t* upper = packed + 2 * j * g.rowBytes;
        decodeRow(upper, upper + g.rowBytes, picture.pixels + (picture.height - 1 - j) * picture.stride,
                  groups);
    }
    return true;
}
