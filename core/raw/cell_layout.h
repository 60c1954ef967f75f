// Bayer patterns as cell layouts. A colour-filter mosaic repeats one 2 x 2 cell;
// a pattern name lists that cell's colours row by row ("GRBG": green, red over
// blue, green). Every consumer of a pattern (the window's index tables, the
// decoders, the DNG writer) works from the one table behind cellLayoutFor.
#pragma once

#include <cstdint>
#include <string_view>

// A sample's place in its cell: row * 2 + column.
enum CellPosition : int8_t { kUpperLeft = 0, kUpperRight = 1, kLowerLeft = 2, kLowerRight = 3 };

struct CellLayout {
    CellPosition red;
    CellPosition green1;  // the green sharing a row with red
    CellPosition green2;  // the green sharing a row with blue
    CellPosition blue;
};

// Patterns are numbered 1..4 in the order RGGB, GRBG, BGGR, GBRG (the window's
// list order); 0 is no pattern.
constexpr int32_t kPatternCount = 4;

// "RGGB" ... for 1..4; nullptr for any other index.
const char* patternName(int32_t pattern);

// 1..4 for a pattern name in any letter case, 0 for anything else.
int32_t patternByName(std::string_view name);

// The layout of pattern 1..4; any other index gives RGGB's, so callers check
// the index first.
CellLayout cellLayoutFor(int32_t pattern);
