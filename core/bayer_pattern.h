// Bayer pattern names and the index tables that tell the decoder which of the
// twelve samples of a 6 x 2 block feed each colour of its three output pixels.
#pragma once

#include <cstdint>

constexpr int kBayerItemCount = 5;

// Pattern names in list order; the position is the pattern index. Index 0 means
// no pattern has been chosen. A name lists the 2 x 2 cell row by row: "GRBG" is
// green, red over blue, green.
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

// The name for any index; an index outside the list reads as "Select...", so a
// message can never index past the list.
const char* bayerTypeName(int32_t index);

// Index 1..4 of a pattern name ("RGGB", ...), or 0 when the text names none.
int32_t bayerTypeIndex(const char* name);

// A snapshot of the four tables, so the in-memory decoder does not read module
// state and several conversions can use different patterns.
struct BayerTables {
    int32_t b[3];
    int32_t gb[3];
    int32_t gr[3];
    int32_t r[3];
};

BayerTables currentBayerTables();

// The tables updateBayerType gives for pattern index 1..4 (index 0 gives zeros).
BayerTables bayerTablesFor(int32_t index);
