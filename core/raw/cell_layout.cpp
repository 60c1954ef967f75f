#include "raw/cell_layout.h"

#include "text/ascii.h"

namespace {

struct Pattern {
    const char* name;
    CellLayout cell;
};

constexpr Pattern kPatterns[kPatternCount] = {
    {"RGGB", {kUpperLeft, kUpperRight, kLowerLeft, kLowerRight}},
    {"GRBG", {kUpperRight, kUpperLeft, kLowerRight, kLowerLeft}},
    {"BGGR", {kLowerRight, kLowerLeft, kUpperRight, kUpperLeft}},
    {"GBRG", {kLowerLeft, kLowerRight, kUpperLeft, kUpperRight}},
};

}  // namespace

const char* patternName(int32_t pattern)
{
    return pattern >= 1 && pattern <= kPatternCount ? kPatterns[pattern - 1].name : nullptr;
}

int32_t patternByName(std::string_view name)
{
    for (int32_t i = 0; i < kPatternCount; ++i) {
        if (equalsIgnoringCase(name, kPatterns[i].name)) {
            return i + 1;
        }
    }
    return 0;
}

CellLayout cellLayoutFor(int32_t pattern)
{
    return kPatterns[pattern >= 1 && pattern <= kPatternCount ? pattern - 1 : 0].cell;
}
