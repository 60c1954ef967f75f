#include "window/bayer_pattern.h"

#include "window/conversion_settings.h"

const char* const bayerItems[kBayerItemCount] = {"Select...", "RGGB", "GRBG", "BGGR", "GBRG"};

int32_t bayer_b[3] = {0, 0, 0};
int32_t bayer_gb[3] = {0, 0, 0};
int32_t bayer_gr[3] = {0, 0, 0};
int32_t bayer_r[3] = {0, 0, 0};

namespace {

// Block sample index of pixel k's sample at a cell position: the upper row
// holds samples 0..5, the lower row 6..11, and pixel k's cell starts at 2k.
void fill(int32_t table[3], CellPosition position)
{
    const int32_t row = position / 2;
    const int32_t column = position % 2;
    for (int32_t k = 0; k < 3; ++k) {
        table[k] = 6 * row + 2 * k + column;
    }
}

// The cell position of pixel 0's entry, the inverse of fill.
CellPosition positionOf(const int32_t table[3])
{
    return static_cast<CellPosition>(table[0] / 6 * 2 + table[0] % 2);
}

}  // namespace

void updateBayerType()
{
    if (m_nBayerType < 1 || m_nBayerType >= kBayerItemCount) {
        return;
    }
    const CellLayout cell = cellLayoutFor(m_nBayerType);
    fill(bayer_b, cell.blue);
    fill(bayer_gb, cell.green2);
    fill(bayer_gr, cell.green1);
    fill(bayer_r, cell.red);
}

bool bayerTablesCell(CellLayout* cell)
{
    const CellLayout tables{positionOf(bayer_r), positionOf(bayer_gr), positionOf(bayer_gb), positionOf(bayer_b)};
    for (int32_t pattern = 1; pattern <= kPatternCount; ++pattern) {
        const CellLayout known = cellLayoutFor(pattern);
        if (known.red == tables.red && known.green1 == tables.green1 && known.green2 == tables.green2 &&
            known.blue == tables.blue) {
            *cell = known;
            return true;
        }
    }
    return false;
}

const char* bayerTypeName(int32_t index)
{
    return index >= 0 && index < kBayerItemCount ? bayerItems[index] : bayerItems[0];
}
