#include "bayer_pattern.h"

#include "cell_layout.h"
#include "conversion_settings.h"

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

const char* bayerTypeName(int32_t index)
{
    return index >= 0 && index < kBayerItemCount ? bayerItems[index] : bayerItems[0];
}
