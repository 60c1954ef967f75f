// The window's Bayer pattern list and index tables. The tables tell which of
// the twelve samples of a 6 x 2 block feed each colour of the block's three
// output pixels; they are filled from the core's cell layouts.
#pragma once

#include <cstdint>

#include "raw/cell_layout.h"

constexpr int kBayerItemCount = 5;

// Pattern names in list order; the position is the pattern index. Index 0 means
// no pattern has been chosen.
extern const char* const bayerItems[kBayerItemCount];

// Entry k belongs to output pixel k of a block and indexes the block's samples:
// 0..5 upper row left to right, 6..11 lower row. All zero until a pattern is chosen.
extern int32_t bayer_b[3];
extern int32_t bayer_gb[3];  // the green sharing a row with blue
extern int32_t bayer_gr[3];  // the green sharing a row with red
extern int32_t bayer_r[3];

// Fills the four tables for m_nBayerType; any index outside 1..4 leaves them as
// they were (the last valid pattern's values, or zeros).
void updateBayerType();

// The cell the tables describe, for the decoder: false while they hold no
// pattern's cell (all zero before any pattern is chosen).
bool bayerTablesCell(CellLayout* cell);

// The name for any index; an index outside the list reads as "Select...", so a
// message can never index past the list.
const char* bayerTypeName(int32_t index);
