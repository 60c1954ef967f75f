#include "picture/picture_rows.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "platform/vector_paths.h"

#if defined(PIXMORA_SSE_KERNELS)
#include <immintrin.h>
#endif


namespace {

template <PixelFormat F>
inline uint8_t* put(uint8_t* out, uint32_t red, uint32_t green, uint32_t blue)
{
    if constexpr (F == PixelFormat::kRgb8) {
        out[0] = static_cast<uint8_t>(red);
        out[1] = static_cast<uint8_t>(green);
        out[2] = static_cast<uint8_t>(blue);
        return out + 3;
    } else if constexpr (F == PixelFormat::kBgr8) {
        out[0] = static_cast<uint8_t>(blue);
        out[1] = static_cast<uint8_t>(green);
        out[2] = static_cast<uint8_t>(red);
        return out + 3;
    } else {
        out[0] = static_cast<uint8_t>(red >> 8);
        out[1] = static_cast<uint8_t>(red);
        out[2] = static_cast<uint8_t>(green >> 8);
        out[3] = static_cast<uint8_t>(green);
        out[4] = static_cast<uint8_t>(blue >> 8);
        out[5] = static_cast<uint8_t>(blue);
        return out + 6;
    }
}

// Table lookups mask the index with the tables' size: a sample at or above
// 2^bits breaks the input's contract and gives some value, never a read
// outside the table.
struct Lookup {
    const uint16_t* red;
    const uint16_t* green;
    const uint16_t* blue;
    uint32_t mask;
};

Lookup lookupFor(const DevelopTables& tables)
{
    return {tables.colour[kRed].data(), tables.colour[kGreen].data(), tables.colour[kBlue].data(),
            (1u << tables.inputBits) - 1u};
}

bool tablesFit(const MosaicFrame& frame, const DevelopTables& tables, PixelFormat format)
{
    const size_t entries = size_t{1} << frame.bits;
    return tables.inputBits == frame.bits && tables.outputBits == formatBits(format) &&
           tables.colour[kRed].size() == entries && tables.colour[kGreen].size() == entries &&
           tables.colour[kBlue].size() == entries;
}

// ---------------------------------------------------------------------------
// Cell picture

// The tables come by value: a local copy that no output byte can alias, so
// their pointers stay in registers rather than being reloaded after every
// byte stored (a fifth of the loop's time).
template <PixelFormat F, bool Shifts>
void cellRow(const uint16_t* upper, const uint16_t* lower, const CellLayout& cell, Lookup t,
             int32_t pixels, int32_t step, uint8_t* out)
{
    const uint16_t* rows[2] = {upper, lower};
    const uint16_t* red = rows[cell.red / 2] + cell.red % 2;
    const uint16_t* green1 = rows[cell.green1 / 2] + cell.green1 % 2;
    const uint16_t* green2 = rows[cell.green2 / 2] + cell.green2 % 2;
    const uint16_t* blue = rows[cell.blue / 2] + cell.blue % 2;
    const size_t advance = 2 * static_cast<size_t>(step);
    size_t x = 0;
    for (int32_t i = 0; i < pixels; ++i, x += advance) {
        const uint32_t g1 = green1[x] & t.mask;
        const uint32_t g2 = green2[x] & t.mask;
        const uint32_t green = Shifts ? (uint32_t{t.green[g1]} + t.green[g2]) >> 1 : t.green[(g1 + g2) >> 1];
        out = put<F>(out, t.red[red[x] & t.mask], green, t.blue[blue[x] & t.mask]);
    }
}

// ---------------------------------------------------------------------------
// Demosaic, in sample units into three planes of a chunk of columns, then
// developed. A chunk's planes stay in the processor's nearest cache whatever
// the width.
constexpr int32_t kChunkPixels = 1024;

// Deepest samples four of which sum within 16 bits.
constexpr int32_t kNarrowBits = 14;

struct Planes {
    uint16_t colour[3][kChunkPixels];
};

// A pixel anywhere, counting the neighbours that exist. `other` is the
// non-green colour of the pixel's row; the column of a green pixel holds the
// remaining one. `x0` is the chunk's first column.
void edgePixel(const uint16_t* up, const uint16_t* cur, const uint16_t* down, int32_t width, int32_t x,
               bool green, Colour other, int32_t x0, Planes& planes)
{
    uint32_t h = 0, nh = 0, v = 0, nv = 0, d = 0, nd = 0;
    if (x > 0) {
        h += cur[x - 1];
        ++nh;
    }
    if (x + 1 < width) {
        h += cur[x + 1];
        ++nh;
    }
    for (const uint16_t* row : {up, down}) {
        if (row == nullptr) {
            continue;
        }
        v += row[x];
        ++nv;
        if (x > 0) {
            d += row[x - 1];
            ++nd;
        }
        if (x + 1 < width) {
            d += row[x + 1];
            ++nd;
        }
    }
    // A valid frame is at least 2 x 2, so every count is at least 1; the
    // guard only keeps a division by zero out of reach.
    const auto mean = [](uint32_t sum, uint32_t count) { return static_cast<uint16_t>(sum / std::max(count, 1u)); };
    const auto at = static_cast<size_t>(x - x0);
    if (green) {
        planes.colour[kGreen][at] = cur[x];
        planes.colour[other][at] = mean(h, nh);
        planes.colour[2 - other][at] = mean(v, nv);
    } else {
        planes.colour[other][at] = cur[x];
        planes.colour[kGreen][at] = mean(h + v, nh + nv);
        planes.colour[2 - other][at] = mean(d, nd);
    }
}

// Columns first .. end - 1 (inside 1 .. width - 2) of a row with rows above
// and below: every count is full (2 in a line, 4 around or across), so the
// means are shifts.
template <int Other>
void interiorScalar(const uint16_t* up, const uint16_t* cur, const uint16_t* down, int32_t first, int32_t end,
                    bool greenOdd, int32_t x0, Planes& planes)
{
    uint16_t* own = planes.colour[Other];
    uint16_t* green = planes.colour[kGreen];
    uint16_t* opposite = planes.colour[2 - Other];
    const int32_t firstGreen = first + (((first & 1) != 0) != greenOdd ? 1 : 0);
    for (int32_t x = firstGreen; x < end; x += 2) {
        const auto at = static_cast<size_t>(x - x0);
        green[at] = cur[x];
        own[at] = static_cast<uint16_t>((cur[x - 1] + cur[x + 1]) >> 1);
        opposite[at] = static_cast<uint16_t>((up[x] + down[x]) >> 1);
    }
    const int32_t firstOther = first + (firstGreen == first ? 1 : 0);
    for (int32_t x = firstOther; x < end; x += 2) {
        const auto at = static_cast<size_t>(x - x0);
        const uint32_t orthogonal = uint32_t{cur[x - 1]} + cur[x + 1] + up[x] + down[x];
        const uint32_t diagonal = uint32_t{up[x - 1]} + up[x + 1] + down[x - 1] + down[x + 1];
        own[at] = cur[x];
        green[at] = static_cast<uint16_t>(orthogonal >> 2);
        opposite[at] = static_cast<uint16_t>(diagonal >> 2);
    }
}

#if defined(PIXMORA_SSE_KERNELS)
// floor((a + b) / 2) of 16-bit lanes without leaving 16 bits: pavgw rounds up,
// the odd sum's carry taken back truncates.
__attribute__((target("sse2"))) inline __m128i meanOf2(__m128i a, __m128i b, __m128i one)
{
    return _mm_sub_epi16(_mm_avg_epu16(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
}

// floor((a + b + c + d) / 4) = floor((h1 + h2 + (r1 & r2)) / 2), where
// a + b = 2 h1 + r1 and c + d = 2 h2 + r2: exact for samples of all 16 bits.
__attribute__((target("sse2"))) inline __m128i meanOf4(__m128i a, __m128i b, __m128i c, __m128i d, __m128i one)
{
    const __m128i h1 = meanOf2(a, b, one);
    const __m128i h2 = meanOf2(c, d, one);
    const __m128i bothOdd = _mm_and_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
    const __m128i takeBack = _mm_andnot_si128(bothOdd, one);
    return _mm_sub_epi16(_mm_avg_epu16(h1, h2), _mm_and_si128(_mm_xor_si128(h1, h2), takeBack));
}

__attribute__((target("sse2"))) inline __m128i load8(const uint16_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// `atGreen` in the lanes `greenLanes` selects, `atOther` in the rest.
__attribute__((target("sse2"))) inline __m128i blend(__m128i greenLanes, __m128i atGreen, __m128i atOther)
{
    return _mm_or_si128(_mm_and_si128(greenLanes, atGreen), _mm_andnot_si128(greenLanes, atOther));
}

// Lanes of green sites in a vector whose first column is `first`: those
// whose column parity is greenOdd's.
__attribute__((target("sse2"))) inline __m128i greenLanesFrom(int32_t first, bool greenOdd)
{
    return ((first & 1) != 0) == greenOdd ? _mm_set1_epi32(0x0000FFFF) : _mm_set1_epi32(static_cast<int32_t>(0xFFFF0000u));
}

// Interior columns x .. x + 7, every formula on every lane and the green
// sites' results blended in: no branch. Samples of up to 14 bits (Narrow) sum
// four to a 16-bit lane; 16-bit ones take the exact means above. `colours`
// by Colour.
template <int Other, bool Narrow>
__attribute__((target("sse2"))) inline void interior8(const uint16_t* up, const uint16_t* cur, const uint16_t* down,
                                                      int32_t x, __m128i greenLanes, __m128i colours[3])
{
    const __m128i left = load8(cur + x - 1);
    const __m128i centre = load8(cur + x);
    const __m128i right = load8(cur + x + 1);
    const __m128i above = load8(up + x);
    const __m128i below = load8(down + x);
    __m128i row, column, around, across;
    if constexpr (Narrow) {
        const __m128i across2 = _mm_add_epi16(_mm_add_epi16(load8(up + x - 1), load8(up + x + 1)),
                                              _mm_add_epi16(load8(down + x - 1), load8(down + x + 1)));
        const __m128i across1 = _mm_add_epi16(left, right);
        const __m128i along = _mm_add_epi16(above, below);
        row = _mm_srli_epi16(across1, 1);
        column = _mm_srli_epi16(along, 1);
        around = _mm_srli_epi16(_mm_add_epi16(across1, along), 2);
        across = _mm_srli_epi16(across2, 2);
    } else {
        const __m128i one = _mm_set1_epi16(1);
        row = meanOf2(left, right, one);
        column = meanOf2(above, below, one);
        around = meanOf4(left, right, above, below, one);
        across = meanOf4(load8(up + x - 1), load8(up + x + 1), load8(down + x - 1), load8(down + x + 1), one);
    }
    colours[Other] = blend(greenLanes, row, centre);
    colours[kGreen] = blend(greenLanes, centre, around);
    colours[2 - Other] = blend(greenLanes, column, across);
}

// Interior columns first .. end - 1, 8 at a time, into the chunk's planes.
// Returns where it stopped; the scalar interior takes the rest.
template <int Other, bool Narrow>
__attribute__((target("sse2"))) int32_t interiorSse2(const uint16_t* up, const uint16_t* cur, const uint16_t* down,
                                                     int32_t first, int32_t end, bool greenOdd, int32_t x0,
                                                     Planes& planes)
{
    const __m128i greenLanes = greenLanesFrom(first, greenOdd);
    int32_t x = first;
    for (; x + 8 <= end; x += 8) {
        __m128i colours[3];
        interior8<Other, Narrow>(up, cur, down, x, greenLanes, colours);
        const auto at = static_cast<size_t>(x - x0);
        for (int32_t c = 0; c < 3; ++c) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(planes.colour[c] + at), colours[c]);
        }
    }
    return x;
}

#endif

// Where row y's greens are (odd or even columns) and its other colour.
struct RowSites {
    bool greenOdd;
    Colour other;
};

RowSites rowSites(const MosaicFrame& frame, int32_t y)
{
    const int32_t rowPosition = (y & 1) * 2;
    const bool greenOdd = colourAtPosition(frame.cell, rowPosition) != kGreen;
    return {greenOdd, colourAtPosition(frame.cell, rowPosition + (greenOdd ? 0 : 1))};
}

// Columns x0 .. x1 - 1 of row y into the chunk's planes.
void demosaicChunk(const MosaicFrame& frame, const uint16_t* up, const uint16_t* cur, const uint16_t* down,
                   int32_t y, int32_t x0, int32_t x1, bool vectors, Planes& planes)
{
    const RowSites sites = rowSites(frame, y);
    const bool greenOdd = sites.greenOdd;
    const Colour other = sites.other;
    const int32_t width = frame.width;
    const auto edge = [&](int32_t x) { edgePixel(up, cur, down, width, x, ((x & 1) != 0) == greenOdd, other, x0, planes); };
    if (up == nullptr || down == nullptr) {
        for (int32_t x = x0; x < x1; ++x) {
            edge(x);
        }
        return;
    }
    const int32_t first = std::max(x0, 1);
    const int32_t end = std::min(x1, width - 1);
    int32_t x = first;
#if defined(PIXMORA_SSE_KERNELS)
    if (vectors) {
        const bool narrow = frame.bits <= kNarrowBits;
        x = other == kRed ? (narrow ? interiorSse2<kRed, true> : interiorSse2<kRed, false>)(up, cur, down, first, end,
                                                                                             greenOdd, x0, planes)
                          : (narrow ? interiorSse2<kBlue, true> : interiorSse2<kBlue, false>)(up, cur, down, first, end,
                                                                                               greenOdd, x0, planes);
    }
#else
    (void)vectors;
#endif
    if (other == kRed) {
        interiorScalar<kRed>(up, cur, down, x, end, greenOdd, x0, planes);
    } else {
        interiorScalar<kBlue>(up, cur, down, x, end, greenOdd, x0, planes);
    }
    if (x0 == 0) {
        edge(0);
    }
    if (x1 == width) {
        edge(width - 1);
    }
}

// Chunk pixels first .. count - 1.
template <PixelFormat F>
void developScalar(const Planes& planes, int32_t first, int32_t count, Lookup t, uint8_t* out)
{
    for (int32_t i = first; i < count; ++i) {
        out = put<F>(out, t.red[planes.colour[kRed][i] & t.mask], t.green[planes.colour[kGreen][i] & t.mask],
                     t.blue[planes.colour[kBlue][i] & t.mask]);
    }
}

#if defined(PIXMORA_SSE_KERNELS)
// pshufb controls that interleave three planes into pixels: [output
// vector][plane][lane]. With 8-bit planes of 16 pixels a pixel is a byte of
// each plane; with 16-bit planes of 8 pixels it is a little-endian word of each
// written big-endian.
struct Interleave {
    int8_t mask[3][3][16];
};

constexpr Interleave makeInterleave(bool words)
{
    Interleave m{};
    const int32_t bytes = words ? 2 : 1;
    for (int32_t v = 0; v < 3; ++v) {
        for (int32_t plane = 0; plane < 3; ++plane) {
            for (int32_t lane = 0; lane < 16; ++lane) {
                const int32_t n = 16 * v + lane;
                const int32_t pixel = n / (3 * bytes);
                const int32_t value = n % (3 * bytes);
                const bool mine = value / bytes == plane;
                const int32_t byte = words ? 2 * pixel + 1 - value % 2 : pixel;
                m.mask[v][plane][lane] = static_cast<int8_t>(mine ? byte : -128);
            }
        }
    }
    return m;
}

constexpr Interleave kInterleaveBytes = makeInterleave(false);
constexpr Interleave kInterleaveWords = makeInterleave(true);

// Output vector `Vector` of the three, at out.
template <int32_t Vector>
__attribute__((target("ssse3"))) inline void storeInterleaved(const Interleave& m, __m128i a, __m128i b, __m128i c,
                                                              uint8_t* out)
{
    const __m128i* mask = reinterpret_cast<const __m128i*>(m.mask[Vector]);
    const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, _mm_loadu_si128(mask)),
                                                    _mm_shuffle_epi8(b, _mm_loadu_si128(mask + 1))),
                                       _mm_shuffle_epi8(c, _mm_loadu_si128(mask + 2)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
}

// Three colour vectors into 48 output bytes: 16 pixels of 8-bit values in the
// low bytes of two vectors each, or 8 pixels of 16-bit values in one each.
template <PixelFormat F>
__attribute__((target("ssse3"))) inline void storePixels(__m128i red, __m128i green, __m128i blue, uint8_t* out)
{
    const Interleave& m = F == PixelFormat::kRgb16BigEndian ? kInterleaveWords : kInterleaveBytes;
    if constexpr (F == PixelFormat::kBgr8) {
        std::swap(red, blue);
    }
    storeInterleaved<0>(m, red, green, blue, out);
    storeInterleaved<1>(m, red, green, blue, out + 16);
    storeInterleaved<2>(m, red, green, blue, out + 32);
}

// Values of shift tables: (v & mask) >> (bits - 8) for 8-bit output,
// (v & mask) << (16 - bits) for 16-bit.
struct Shift {
    __m128i mask;
    __m128i count;
};

Shift shiftFor(const Lookup& t, int32_t bits, PixelFormat format)
{
    const int32_t count = format == PixelFormat::kRgb16BigEndian ? 16 - bits : bits - 8;
    return {_mm_set1_epi16(static_cast<int16_t>(t.mask)), _mm_cvtsi32_si128(count)};
}

template <PixelFormat F>
__attribute__((target("sse2"))) inline __m128i shifted(const Shift& s, __m128i v)
{
    v = _mm_and_si128(v, s.mask);
    return F == PixelFormat::kRgb16BigEndian ? _mm_sll_epi16(v, s.count) : _mm_srl_epi16(v, s.count);
}

// Developed through shift tables: a step of 16 pixels (48 bytes) of 8-bit
// output or 8 (48 bytes) of 16-bit. Returns the pixels done.
template <PixelFormat F>
__attribute__((target("ssse3"))) int32_t developShiftsSsse3(const Planes& planes, int32_t count, const Shift& s,
                                                           uint8_t* out)
{
    const uint16_t* r = planes.colour[kRed];
    const uint16_t* g = planes.colour[kGreen];
    const uint16_t* b = planes.colour[kBlue];
    int32_t i = 0;
    if constexpr (F == PixelFormat::kRgb16BigEndian) {
        for (; i + 8 <= count; i += 8, out += 48) {
            storePixels<F>(shifted<F>(s, load8(r + i)), shifted<F>(s, load8(g + i)), shifted<F>(s, load8(b + i)), out);
        }
    } else {
        for (; i + 16 <= count; i += 16, out += 48) {
            storePixels<F>(_mm_packus_epi16(shifted<F>(s, load8(r + i)), shifted<F>(s, load8(r + i + 8))),
                           _mm_packus_epi16(shifted<F>(s, load8(g + i)), shifted<F>(s, load8(g + i + 8))),
                           _mm_packus_epi16(shifted<F>(s, load8(b + i)), shifted<F>(s, load8(b + i + 8))), out);
        }
    }
    return i;
}

// Interior columns first .. end - 1 of a row demosaicked and developed through
// shift tables straight into its pixels, `out` being column first's: 16
// pixels (8 of 16-bit output) a step, each formed and stored once. Returns
// where it stopped.
template <PixelFormat F, int Other, bool Narrow>
__attribute__((target("ssse3"))) int32_t interiorShiftsSsse3(const uint16_t* up, const uint16_t* cur,
                                                            const uint16_t* down, int32_t first, int32_t end,
                                                            bool greenOdd, const Shift& s, uint8_t* out)
{
    constexpr bool kWords = F == PixelFormat::kRgb16BigEndian;
    constexpr int32_t kStep = kWords ? 8 : 16;
    // Spelled out rather than looped over arrays, which GCC keeps on the stack.
    const Shift local = s;
    const __m128i greenLanes = greenLanesFrom(first, greenOdd);
    int32_t x = first;
    for (; x + kStep <= end; x += kStep, out += 48) {
        __m128i c[3];
        interior8<Other, Narrow>(up, cur, down, x, greenLanes, c);
        __m128i red = shifted<F>(local, c[kRed]);
        __m128i green = shifted<F>(local, c[kGreen]);
        __m128i blue = shifted<F>(local, c[kBlue]);
        if constexpr (!kWords) {
            interior8<Other, Narrow>(up, cur, down, x + 8, greenLanes, c);
            red = _mm_packus_epi16(red, shifted<F>(local, c[kRed]));
            green = _mm_packus_epi16(green, shifted<F>(local, c[kGreen]));
            blue = _mm_packus_epi16(blue, shifted<F>(local, c[kBlue]));
        }
        storePixels<F>(red, green, blue, out);
    }
    return x;
}

#if defined(PIXMORA_AVX2_KERNELS)
__attribute__((target("avx2"))) inline __m256i load16(const uint16_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Shift counts: to 8 bits (s = bits - 8), and with a mean of 2 or of 4 taken
// on the way.
struct ByteShifts {
    __m128i alone;
    __m128i mean2;
    __m128i mean4;
};

// Interior columns x .. x + 15, samples of up to 14 bits, as 8-bit values
// through shift tables in `colours` (by Colour). A mean's truncation and the
// shift to 8 bits are one shift, floor(floor(sum / n) / 2^s) being
// floor(sum / (n 2^s)); samples below 2^bits need no mask.
template <int Other>
__attribute__((target("avx2"))) inline void interior16Bytes(const uint16_t* up, const uint16_t* cur,
                                                            const uint16_t* down, int32_t x, __m256i greenLanes,
                                                            const ByteShifts& by, __m256i colours[3])
{
    const __m256i across1 = _mm256_add_epi16(load16(cur + x - 1), load16(cur + x + 1));
    const __m256i along = _mm256_add_epi16(load16(up + x), load16(down + x));
    const __m256i across2 = _mm256_add_epi16(_mm256_add_epi16(load16(up + x - 1), load16(up + x + 1)),
                                             _mm256_add_epi16(load16(down + x - 1), load16(down + x + 1)));
    const __m256i centre = _mm256_srl_epi16(load16(cur + x), by.alone);
    const __m256i row = _mm256_srl_epi16(across1, by.mean2);
    const __m256i column = _mm256_srl_epi16(along, by.mean2);
    const __m256i around = _mm256_srl_epi16(_mm256_add_epi16(across1, along), by.mean4);
    const __m256i across = _mm256_srl_epi16(across2, by.mean4);
    // At green sites (greenLanes) and at the others.
    colours[Other] = _mm256_blendv_epi8(centre, row, greenLanes);
    colours[kGreen] = _mm256_blendv_epi8(around, centre, greenLanes);
    colours[2 - Other] = _mm256_blendv_epi8(across, column, greenLanes);
}

// Plane `plane`'s pshufb control for output vector `Vector`, in both halves.
template <int32_t Vector>
__attribute__((target("avx2"))) inline __m256i interleaveMask(int32_t plane)
{
    return _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kInterleaveBytes.mask[Vector][plane])));
}

// Output bytes 16 v .. 16 v + 15 of the 16 pixels in each 128-bit half.
template <int32_t Vector>
__attribute__((target("avx2"))) inline __m256i interleaved(__m256i a, __m256i b, __m256i c)
{
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, interleaveMask<Vector>(0)),
                                           _mm256_shuffle_epi8(b, interleaveMask<Vector>(1))),
                           _mm256_shuffle_epi8(c, interleaveMask<Vector>(2)));
}

// Interior columns first .. end - 1 of an 8-bit picture through shift tables,
// samples of up to 14 bits: interiorShiftsSsse3's pixels, 32 a step. Returns
// where it stopped.
template <PixelFormat F, int Other>
__attribute__((target("avx2"))) int32_t interiorBytesAvx2(const uint16_t* up, const uint16_t* cur, const uint16_t* down,
                                                         int32_t first, int32_t end, bool greenOdd, int32_t shift,
                                                         uint8_t* out)
{
    const __m256i greenLanes = ((first & 1) != 0) == greenOdd ? _mm256_set1_epi32(0x0000FFFF)
                                                              : _mm256_set1_epi32(static_cast<int32_t>(0xFFFF0000u));
    const ByteShifts by{_mm_cvtsi32_si128(shift), _mm_cvtsi32_si128(shift + 1), _mm_cvtsi32_si128(shift + 2)};
    constexpr bool kBlueFirst = F == PixelFormat::kBgr8;
    int32_t x = first;
    for (; x + 32 <= end; x += 32, out += 96) {
        __m256i a[3];
        __m256i b[3];
        interior16Bytes<Other>(up, cur, down, x, greenLanes, by, a);
        interior16Bytes<Other>(up, cur, down, x + 16, greenLanes, by, b);
        // packus pairs the inputs' halves: pixels 0-7, 16-23 | 8-15, 24-31
        // until the permute puts the quarters back in order.
        const __m256i red = _mm256_permute4x64_epi64(_mm256_packus_epi16(a[kRed], b[kRed]), 0xD8);
        const __m256i green = _mm256_permute4x64_epi64(_mm256_packus_epi16(a[kGreen], b[kGreen]), 0xD8);
        const __m256i blue = _mm256_permute4x64_epi64(_mm256_packus_epi16(a[kBlue], b[kBlue]), 0xD8);
        const __m256i firstByte = kBlueFirst ? blue : red;
        const __m256i lastByte = kBlueFirst ? red : blue;
        // Each half is 16 pixels, 48 bytes: the first half's go to out, the
        // second's to out + 48.
        const __m256i v0 = interleaved<0>(firstByte, green, lastByte);
        const __m256i v1 = interleaved<1>(firstByte, green, lastByte);
        const __m256i v2 = interleaved<2>(firstByte, green, lastByte);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(v0, v1, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(v2, v0, 0x30));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), _mm256_permute2x128_si256(v1, v2, 0x31));
    }
    return x;
}
#endif

// A row's interior columns 1 .. width - 2 through shift tables into `row`,
// the widest kernel the processor has first. Returns where they stopped.
template <PixelFormat F>
int32_t interiorShifts(const MosaicFrame& frame, const uint16_t* up, const uint16_t* cur, const uint16_t* down,
                       int32_t y, const Shift& s, uint8_t* row)
{
    const RowSites sites = rowSites(frame, y);
    const bool greenOdd = sites.greenOdd;
    const Colour other = sites.other;
    const bool narrow = frame.bits <= kNarrowBits;
    const int32_t end = frame.width - 1;
    int32_t x = 1;
#if defined(PIXMORA_AVX2_KERNELS)
    if (F != PixelFormat::kRgb16BigEndian && narrow && avx2PathsEnabled()) {
        x = (other == kRed ? interiorBytesAvx2<F, kRed> : interiorBytesAvx2<F, kBlue>)(
            up, cur, down, x, end, greenOdd, frame.bits - 8, row + pixelBytes(F));
    }
#endif
    const auto kernel = other == kRed ? (narrow ? interiorShiftsSsse3<F, kRed, true> : interiorShiftsSsse3<F, kRed, false>)
                                      : (narrow ? interiorShiftsSsse3<F, kBlue, true> : interiorShiftsSsse3<F, kBlue, false>);
    return kernel(up, cur, down, x, end, greenOdd, s, row + static_cast<ptrdiff_t>(x) * pixelBytes(F));
}

// Samples 0 .. 15 of p split by column: the 8 even ones and the 8 odd ones.
__attribute__((target("ssse3"))) inline void splitColumns(const uint16_t* p, __m128i* even, __m128i* odd)
{
    const __m128i byParity = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
    const __m128i first = _mm_shuffle_epi8(load8(p), byParity);
    const __m128i second = _mm_shuffle_epi8(load8(p + 8), byParity);
    *even = _mm_unpacklo_epi64(first, second);
    *odd = _mm_unpackhi_epi64(first, second);
}

// The samples of 8 cells from column x of the row holding red and the row
// holding blue, by Colour; greens[0] shares red's row. In a Bayer cell red
// and blue are on opposite rows and columns.
template <bool RedEven>
__attribute__((target("ssse3"), always_inline)) inline void cellSamples(const uint16_t* redRow,
                                                                       const uint16_t* blueRow, size_t x,
                                                                       __m128i samples[3], __m128i greens[2])
{
    __m128i even, odd;
    splitColumns(redRow + x, &even, &odd);
    samples[kRed] = RedEven ? even : odd;
    greens[0] = RedEven ? odd : even;
    splitColumns(blueRow + x, &even, &odd);
    samples[kBlue] = RedEven ? odd : even;
    greens[1] = RedEven ? even : odd;
}

// Red, green and blue of 8 cells through shift tables.
struct ShiftedCells {
    Shift s;

    template <PixelFormat F, bool RedEven>
    __attribute__((target("ssse3"), always_inline)) void make(const uint16_t* redRow, const uint16_t* blueRow,
                                                              size_t x, __m128i colours[3]) const
    {
        __m128i greens[2];
        cellSamples<RedEven>(redRow, blueRow, x, colours, greens);
        colours[kRed] = shifted<F>(s, colours[kRed]);
        colours[kGreen] = meanOf2(shifted<F>(s, greens[0]), shifted<F>(s, greens[1]), _mm_set1_epi16(1));
        colours[kBlue] = shifted<F>(s, colours[kBlue]);
    }
};

// The same through LinearSteps (develop.h), green at the two samples'
// truncated mean. Shifting a sample left by 16 - bits drops the bits the
// tables' mask drops; the mean of two shifted samples is the shifted mean once
// its bits below the shift are cleared.
struct LinearCells {
    __m128i widen;      // shift count 16 - bits
    __m128i black;      // black << (16 - bits)
    __m128i whole;      // the bits of a shifted sample
    __m128i high[3];    // by Colour: the multipliers' halves
    __m128i low[3];
    __m128i narrow[3];  // shift count shift - 1

    __attribute__((target("ssse3"), always_inline)) __m128i developed(int32_t c, __m128i x) const
    {
        x = _mm_subs_epu16(x, black);
        // The carry out of the low half of x * high plus max(1, the high half
        // of x * low) is the top bit of their average rounded up after one
        // is taken off the second.
        const __m128i lowHalves = _mm_subs_epu16(_mm_mulhi_epu16(x, low[c]), _mm_set1_epi16(1));
        const __m128i carry = _mm_srli_epi16(_mm_avg_epu16(_mm_mullo_epi16(x, high[c]), lowHalves), 15);
        const __m128i q = _mm_srl_epi16(_mm_add_epi16(_mm_mulhi_epu16(x, high[c]), carry), narrow[c]);
        return _mm_avg_epu16(q, _mm_setzero_si128());
    }

    template <PixelFormat F, bool RedEven>
    __attribute__((target("ssse3"), always_inline)) void make(const uint16_t* redRow, const uint16_t* blueRow,
                                                              size_t x, __m128i colours[3]) const
    {
        __m128i greens[2];
        cellSamples<RedEven>(redRow, blueRow, x, colours, greens);
        const __m128i green = _mm_and_si128(meanOf2(_mm_sll_epi16(greens[0], widen), _mm_sll_epi16(greens[1], widen),
                                                     _mm_set1_epi16(1)),
                                            whole);
        colours[kRed] = developed(kRed, _mm_sll_epi16(colours[kRed], widen));
        colours[kGreen] = developed(kGreen, green);
        colours[kBlue] = developed(kBlue, _mm_sll_epi16(colours[kBlue], widen));
    }
};

LinearCells linearCellsFor(const DevelopTables& tables)
{
    LinearCells l{};
    const int32_t widen = 16 - tables.inputBits;
    l.widen = _mm_cvtsi32_si128(widen);
    l.black = _mm_set1_epi16(static_cast<int16_t>(tables.black << widen));
    l.whole = _mm_set1_epi16(static_cast<int16_t>(0xFFFFu << widen));
    for (size_t c = 0; c < 3; ++c) {
        const LinearStep& step = tables.steps[c];
        l.high[c] = _mm_set1_epi16(static_cast<int16_t>(step.multiplier >> 16));
        l.low[c] = _mm_set1_epi16(static_cast<int16_t>(step.multiplier & 0xFFFFu));
        l.narrow[c] = _mm_cvtsi32_si128(step.shift - 1);
    }
    return l;
}

// The cell picture, 16 pixels (8 for 16-bit output) a step, by `cells`.
// Returns the pixels done.
template <PixelFormat F, bool RedEven, class Cells>
__attribute__((target("ssse3"))) int32_t cellRowSsse3(const uint16_t* redRow, const uint16_t* blueRow,
                                                     int32_t pixels, const Cells& cells, uint8_t* out)
{
    constexpr bool kWords = F == PixelFormat::kRgb16BigEndian;
    constexpr int32_t kStep = kWords ? 8 : 16;
    int32_t i = 0;
    for (; i + kStep <= pixels; i += kStep, out += 48) {
        __m128i c[3];
        cells.template make<F, RedEven>(redRow, blueRow, 2 * static_cast<size_t>(i), c);
        if constexpr (!kWords) {
            __m128i more[3];
            cells.template make<F, RedEven>(redRow, blueRow, 2 * static_cast<size_t>(i) + 16, more);
            for (int32_t k = 0; k < 3; ++k) {
                c[k] = _mm_packus_epi16(c[k], more[k]);
            }
        }
        storePixels<F>(c[kRed], c[kGreen], c[kBlue], out);
    }
    return i;
}

template <PixelFormat F, class Cells>
int32_t cellRowVectors(const uint16_t* const rows[2], const CellLayout& cell, int32_t pixels, const Cells& cells,
                       uint8_t* out)
{
    const uint16_t* redRow = rows[cell.red / 2];
    const uint16_t* blueRow = rows[cell.blue / 2];
    return cell.red % 2 == 0 ? cellRowSsse3<F, true>(redRow, blueRow, pixels, cells, out)
                             : cellRowSsse3<F, false>(redRow, blueRow, pixels, cells, out);
}

// Red and blue on opposite corners, the greens on the others.
bool isBayerCell(const CellLayout& cell)
{
    return cell.red + cell.blue == 3 && cell.green1 + cell.green2 == 3 && cell.red / 2 != cell.blue / 2 &&
           cell.green1 / 2 == cell.red / 2;
}

#endif

template <PixelFormat F>
void developCells(const MosaicFrame& frame, const SampleRows& band, const DevelopTables& tables, int32_t firstRow,
                  int32_t rowCount, int32_t columnStep, uint8_t* out, int64_t stride)
{
    const Lookup lookup = lookupFor(tables);
    const int32_t pixels = steppedWidth(cellPictureWidth(frame), columnStep);
    const CellLayout& cell = frame.cell;
#if defined(PIXMORA_SSE_KERNELS)
    const bool linear = tables.linear && F != PixelFormat::kRgb16BigEndian;
    const bool vectors = (tables.shifts || linear) && columnStep == 1 && isBayerCell(cell) && ssse3PathsEnabled();
    const ShiftedCells shifts{shiftFor(lookup, frame.bits, F)};
    const LinearCells steps = linearCellsFor(tables);
#endif
    for (int32_t k = 0; k < rowCount; ++k) {
        const int32_t upper = 2 * (firstRow + k) - band.first;
        const uint16_t* rows[2] = {band.rows[upper], band.rows[upper + 1]};
        uint8_t* row = out + k * stride;
        int32_t done = 0;
#if defined(PIXMORA_SSE_KERNELS)
        if (vectors) {
            done = linear ? cellRowVectors<F>(rows, cell, pixels, steps, row)
                          : cellRowVectors<F>(rows, cell, pixels, shifts, row);
        }
#endif
        const size_t skipped = 2 * static_cast<size_t>(done);
        (tables.shifts ? cellRow<F, true> : cellRow<F, false>)(rows[0] + skipped, rows[1] + skipped, cell, lookup,
                                                                pixels - done, columnStep,
                                                                row + static_cast<ptrdiff_t>(done) * pixelBytes(F));
    }
}

template <PixelFormat F>
void demosaicDeveloped(const MosaicFrame& frame, const SampleRows& band, const DevelopTables& tables,
                       int32_t firstRow, int32_t rowCount, uint8_t* out, int64_t stride)
{
    const Lookup lookup = lookupFor(tables);
    const bool vectors = ssse3PathsEnabled();
#if defined(PIXMORA_SSE_KERNELS)
    const Shift shift = shiftFor(lookup, frame.bits, F);
#endif
    Planes planes;
    for (int32_t k = 0; k < rowCount; ++k) {
        const int32_t y = firstRow + k;
        const auto row = [&](int32_t r) { return band.rows[r - band.first]; };
        const uint16_t* up = y > 0 ? row(y - 1) : nullptr;
        const uint16_t* down = y + 1 < frame.height ? row(y + 1) : nullptr;
        uint8_t* pixels = out + k * stride;
        // Columns x0 .. x1 - 1, at most a chunk, through the planes.
        const auto throughPlanes = [&](int32_t x0, int32_t x1) {
            demosaicChunk(frame, up, row(y), down, y, x0, x1, vectors, planes);
            uint8_t* chunk = pixels + static_cast<ptrdiff_t>(x0) * pixelBytes(F);
            int32_t done = 0;
#if defined(PIXMORA_SSE_KERNELS)
            if (vectors && tables.shifts) {
                done = developShiftsSsse3<F>(planes, x1 - x0, shift, chunk);
            }
#endif
            developScalar<F>(planes, done, x1 - x0, lookup, chunk + static_cast<ptrdiff_t>(done) * pixelBytes(F));
        };
#if defined(PIXMORA_SSE_KERNELS)
        if (vectors && tables.shifts && up != nullptr && down != nullptr) {
            const int32_t x = interiorShifts<F>(frame, up, row(y), down, y, shift, pixels);
            throughPlanes(0, 1);
            throughPlanes(x, frame.width);
            continue;
        }
#endif
        for (int32_t x0 = 0; x0 < frame.width; x0 += kChunkPixels) {
            throughPlanes(x0, std::min(frame.width, x0 + kChunkPixels));
        }
    }
}

}  // namespace

bool developCellRows(const MosaicFrame& frame, const SampleRows& band, const DevelopTables& tables,
                     int32_t firstRow, int32_t rowCount, int32_t columnStep, PixelFormat format,
                     uint8_t* out, int64_t stride)
{
    if (!isValidMosaicFrame(frame) || !tablesFit(frame, tables, format) || columnStep < 1 ||
        firstRow < 0 || rowCount < 0 || firstRow > cellPictureHeight(frame) - rowCount ||
        !bandCovers(band, 2 * firstRow, 2 * rowCount) || (rowCount > 0 && out == nullptr)) {
        return false;
    }
    switch (format) {
    case PixelFormat::kRgb8: developCells<PixelFormat::kRgb8>(frame, band, tables, firstRow, rowCount, columnStep, out, stride); break;
    case PixelFormat::kBgr8: developCells<PixelFormat::kBgr8>(frame, band, tables, firstRow, rowCount, columnStep, out, stride); break;
    case PixelFormat::kRgb16BigEndian:
        developCells<PixelFormat::kRgb16BigEndian>(frame, band, tables, firstRow, rowCount, columnStep, out, stride);
        break;
    }
    return true;
}

RowSpan demosaicSampleRows(const MosaicFrame& frame, int32_t first, int32_t count)
{
    const int32_t top = first > 0 ? first - 1 : 0;
    const int32_t end = first + count < frame.height ? first + count + 1 : frame.height;
    return {top, end - top};
}

bool demosaicRows(const MosaicFrame& frame, const SampleRows& band, const DevelopTables& tables,
                  int32_t firstRow, int32_t rowCount, PixelFormat format, uint8_t* out, int64_t stride)
{
    if (!isValidMosaicFrame(frame) || !tablesFit(frame, tables, format) || firstRow < 0 ||
        rowCount < 0 || firstRow > frame.height - rowCount || (rowCount > 0 && out == nullptr)) {
        return false;
    }
    const RowSpan needed = demosaicSampleRows(frame, firstRow, rowCount);
    if (rowCount > 0 && !bandCovers(band, needed.first, needed.count)) {
        return false;
    }
    switch (format) {
    case PixelFormat::kRgb8: demosaicDeveloped<PixelFormat::kRgb8>(frame, band, tables, firstRow, rowCount, out, stride); break;
    case PixelFormat::kBgr8: demosaicDeveloped<PixelFormat::kBgr8>(frame, band, tables, firstRow, rowCount, out, stride); break;
    case PixelFormat::kRgb16BigEndian:
        demosaicDeveloped<PixelFormat::kRgb16BigEndian>(frame, band, tables, firstRow, rowCount, out, stride);
        break;
    }
    return true;
}
