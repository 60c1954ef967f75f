// Geometry and pattern read from a dump's file name. Capture tools often name
// dumps after their settings (frame_4000x3000_RGGB.raw), so one call can
// convert a batch of mixed sizes.
#pragma once

#include <cstdint>
#include <string>

struct NameSettings {
    // Number of <W>x<H> tokens and of pattern-name tokens in the name; a value
    // is only taken when its count is exactly 1.
    int sizeTokens = 0;
    int patternTokens = 0;
    // Valid when sizeTokens == 1. Digits too many for any dimension read as
    // INT32_MAX, so that range checks refuse them instead of wrapping.
    int32_t width = 0;
    int32_t height = 0;
    int32_t pattern = 0;  // pattern 1..4, valid when patternTokens == 1
};

// Looks only at the last component of `path` (after the last '/' or '\'). A
// token is a maximal run of ASCII letters and digits; a size token is digits,
// 'x' or 'X', digits; a pattern token is RGGB, GRBG, BGGR or GBRG in any case.
NameSettings settingsFromName(const std::string& path);
