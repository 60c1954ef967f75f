#include "picture/develop.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

double srgbCurve(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

bool isUsableGain(double gain)
{
    return std::isfinite(gain) && gain >= 0.0;
}

bool matchesTable(const LinearStep& step, int32_t bits, uint16_t black, const std::vector<uint16_t>& table)
{
    for (size_t v = 0; v < table.size(); ++v) {
        if (linearStepValue(step, bits, black, static_cast<uint32_t>(v)) != table[v]) {
            return false;
        }
    }
    return true;
}

// The step nearest the slope `k` (output units a sample unit above black) and
// its neighbours, tried against the table: the table's own rounding decides
// which is exact, or none.
bool findLinearStep(double k, int32_t bits, uint16_t black, const std::vector<uint16_t>& table, LinearStep* step)
{
    // multiplier = k * 2^(16 + shift + bits); the largest shift that keeps
    // it below 2^32 is the most precise.
    for (int32_t shift = 8; shift >= 2; --shift) {
        const double ideal = std::ldexp(k, 16 + shift + bits);
        if (ideal > 4294967295.0 - 2.0) {
            continue;
        }
        const auto nearest = static_cast<int64_t>(std::floor(ideal + 0.5));
        for (const int64_t m : {nearest, nearest - 1, nearest + 1}) {
            if (m < 0) {
                continue;
            }
            const LinearStep candidate{static_cast<uint32_t>(m), shift};
            if (matchesTable(candidate, bits, black, table)) {
                *step = candidate;
                return true;
            }
        }
        return false;
    }
    return false;
}

}  // namespace

uint32_t linearStepValue(const LinearStep& step, int32_t bits, uint16_t black, uint32_t v)
{
    const uint32_t above = v > black ? v - black : 0;
    const uint32_t x = above << (16 - bits);
    const uint32_t low = (x * (step.multiplier & 0xFFFFu)) >> 16;
    const uint32_t q = static_cast<uint32_t>((uint64_t{x} * (step.multiplier >> 16) + std::max(low, 1u)) >> 16) >>
                       (step.shift - 1);
    return std::min<uint32_t>(255, (q + 1) >> 1);
}

bool buildDevelopTables(const DevelopSettings& settings, int32_t outputBits, DevelopTables* tables)
{
    if (settings.bits < kMinSampleBits || settings.bits > kMaxSampleBits ||
        (outputBits != 8 && outputBits != 16)) {
        return false;
    }
    const int32_t white = (1 << settings.bits) - 1;
    if (settings.black >= white || !isUsableGain(settings.gains[0]) ||
        !isUsableGain(settings.gains[1]) || !isUsableGain(settings.gains[2])) {
        return false;
    }
    const bool shifts = settings.black == 0 && settings.gains[0] == 1.0 &&
                        settings.gains[1] == 1.0 && settings.gains[2] == 1.0 && !settings.srgb;
    const double stretch = static_cast<double>(white) / static_cast<double>(white - settings.black);
    const double top = outputBits == 8 ? 255.0 : 65535.0;
    const size_t entries = size_t{1} << settings.bits;

    DevelopTables built;
    built.inputBits = settings.bits;
    built.outputBits = outputBits;
    built.shifts = shifts;
    for (size_t c = 0; c < 3; ++c) {
        std::vector<uint16_t>& table = built.colour[c];
        table.resize(entries);
        for (size_t v = 0; v < entries; ++v) {
            if (shifts) {
                table[v] = static_cast<uint16_t>(outputBits == 8 ? v >> (settings.bits - 8)
                                                                 : v << (16 - settings.bits));
                continue;
            }
            const double above = v > settings.black ? static_cast<double>(v - settings.black) : 0.0;
            double x = above * stretch * settings.gains[c];
            if (x > white) {
                x = white;
            }
            double t = x / white;
            if (settings.srgb) {
                t = srgbCurve(t);
            }
            table[v] = static_cast<uint16_t>(std::floor(t * top + 0.5));
        }
    }
    built.black = settings.black;
    built.linear = !shifts && !settings.srgb && outputBits == 8;
    for (size_t c = 0; c < 3 && built.linear; ++c) {
        const double slope = stretch * settings.gains[c] * top / white;
        built.linear = findLinearStep(slope, settings.bits, settings.black, built.colour[c], &built.steps[c]);
    }
    *tables = std::move(built);
    return true;
}

void addColourSums(const MosaicFrame& frame, const SampleRows& band, uint16_t black, ColourSums* sums)
{
    // A row's sums fit 32 bits: 2^15 samples of each parity, each below 2^16.
    const uint32_t floor = black;
    for (int32_t k = 0; k < band.count; ++k) {
        const uint16_t* row = band.rows[k];
        uint32_t parity[2] = {0, 0};
        int32_t x = 0;
#if defined(__SSE2__)
        // Eight samples at a time (x stays even, so even samples are the low
        // halves of the 32-bit lanes); saturating subtraction is max(0, v - black).
        const __m128i floors = _mm_set1_epi16(static_cast<int16_t>(black));
        const __m128i lowHalves = _mm_set1_epi32(0xFFFF);
        __m128i even = _mm_setzero_si128();
        __m128i odd = _mm_setzero_si128();
        for (; x + 8 <= frame.width; x += 8) {
            const __m128i above = _mm_subs_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)), floors);
            even = _mm_add_epi32(even, _mm_and_si128(above, lowHalves));
            odd = _mm_add_epi32(odd, _mm_srli_epi32(above, 16));
        }
        uint32_t lanes[8];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), even);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes + 4), odd);
        parity[0] = lanes[0] + lanes[1] + lanes[2] + lanes[3];
        parity[1] = lanes[4] + lanes[5] + lanes[6] + lanes[7];
#endif
        for (; x < frame.width; ++x) {
            parity[x & 1] += std::max<uint32_t>(row[x], floor) - floor;
        }
        const uint64_t wide[2] = {parity[0], parity[1]};
        addRowSums(frame, band.first + k, wide, sums);
    }
}

void addRowSums(const MosaicFrame& frame, int32_t row, const uint64_t parity[2], ColourSums* sums)
{
    const int32_t rowPosition = (row & 1) * 2;
    const Colour evenColour = colourAtPosition(frame.cell, rowPosition);
    const Colour oddColour = colourAtPosition(frame.cell, rowPosition + 1);
    sums->sum[evenColour] += parity[0];
    sums->sum[oddColour] += parity[1];
    sums->count[evenColour] += static_cast<uint64_t>(frame.width + 1) / 2;
    sums->count[oddColour] += static_cast<uint64_t>(frame.width) / 2;
}

void greyWorldGains(const ColourSums& sums, double gains[3])
{
    gains[kRed] = gains[kGreen] = gains[kBlue] = 1.0;
    if (sums.count[kGreen] == 0 || sums.sum[kGreen] == 0) {
        return;
    }
    const double green = static_cast<double>(sums.sum[kGreen]) / static_cast<double>(sums.count[kGreen]);
    for (const Colour c : {kRed, kBlue}) {
        if (sums.count[c] != 0 && sums.sum[c] != 0) {
            gains[c] = green / (static_cast<double>(sums.sum[c]) / static_cast<double>(sums.count[c]));
        }
    }
}

int32_t pixelBytes(PixelFormat format)
{
    return format == PixelFormat::kRgb16BigEndian ? 6 : 3;
}

int32_t formatBits(PixelFormat format)
{
    return format == PixelFormat::kRgb16BigEndian ? 16 : 8;
}
