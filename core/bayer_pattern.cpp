#include "bayer_pattern.h"

#include <cstring>

#include "conversion_settings.h"

const char* const bayerItems[kBayerItemCount] = {"Select...", "RGGB", "GRBG", "BGGR", "GBRG"};

int32_t bayer_b[3] = {0, 0, 0};
int32_t bayer_gb[3] = {0, 0, 0};
int32_t bayer_gr[3] = {0, 0, 0};
int32_t bayer_r[3] = {0, 0, 0};

namespace {

// Block sample index of pixel k's cell: upper-left 2k, upper-right 2k + 1,
// lower-left 6 + 2k, lower-right 7 + 2k.
enum CellPosition { kUpperLeft = 0, kUpperRight = 1, kLowerLeft = 6, kLowerRight = 7 };

struct CellLayout {
    CellPosition b, gb, gr, r;
};

// Indexed by pattern 1..4.
constexpr CellLayout kLayouts[kBayerItemCount] = {
    {kUpperLeft, kUpperLeft, kUpperLeft, kUpperLeft},    // unused
    {kLowerRight, kLowerLeft, kUpperRight, kUpperLeft},  // RGGB
    {kLowerLeft, kLowerRight, kUpperLeft, kUpperRight},  // GRBG
    {kUpperLeft, kUpperRight, kLowerLeft, kLowerRight},  // BGGR
    {kUpperRight, kUpperLeft, kLowerRight, kLowerLeft},  // GBRG
};

void fill(int32_t table[3], CellPosition position)
{
    for (int32_t k = 0; k < 3; ++k) {
        table[k] = position + 2 * k;
    }
}

}  // namespace

void updateBayerType()
{
    if (m_nBayerType < 1 || m_nBayerType >= kBayerItemCount) {
        return;
    }
    const BayerTables t = bayerTablesFor(m_nBayerType);
    std::memcpy(bayer_b, t.b, sizeof t.b);
    std::memcpy(bayer_gb, t.gb, sizeof t.gb);
    std::memcpy(bayer_gr, t.gr, sizeof t.gr);
    std::memcpy(bayer_r, t.r, sizeof t.r);
}

const char* bayerTypeName(int32_t index)
{
    return index >= 0 && index < kBayerItemCount ? bayerItems[index] : bayerItems[0];
}

int32_t bayerTypeIndex(const char* name)
{
    for (int32_t i = 1; i < kBayerItemCount; ++i) {
        if (std::strcmp(name, bayerItems[i]) == 0) {
            return i;
        }
    }
    return 0;
}

BayerTables currentBayerTables()
{
    BayerTables t{};
    std::memcpy(t.b, bayer_b, sizeof t.b);
    std::memcpy(t.gb, bayer_gb, sizeof t.gb);
    std::memcpy(t.gr, bayer_gr, sizeof t.gr);
    std::memcpy(t.r, bayer_r, sizeof t.r);
    return t;
}

BayerTables bayerTablesFor(int32_t index)
{
    BayerTables t{};
    if (index >= 1 && index < kBayerItemCount) {
        const CellLayout& layout = kLayouts[index];
        fill(t.b, layout.b);
        fill(t.gb, layout.gb);
        fill(t.gr, layout.gr);
        fill(t.r, layout.r);
    }
    return t;
}
