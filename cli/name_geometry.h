// Settings read from a dump's file name. Capture tools often name dumps after
// their settings (frame_4000x3000_RGGB.raw, or
// IMG_w[4096]_h[3072]_stride[7168]_scanline[3072].RAWMIPI14), so one call can
// convert a batch of mixed sizes and layouts.
#pragma once

#include <cstdint>
#include <string>

#include "raw/raw_layout.h"

// One setting as the name gives it. A name may repeat a value (a size token
// and w[]/h[] that agree); only when all its mentions agree does it give one.
struct NameValue {
    int distinct = 0;   // different values seen
    int64_t value = 0;  // the value, when distinct == 1

    bool given() const { return distinct == 1; }
    void see(int64_t v);
};

struct NameSettings {
    NameValue width;
    NameValue height;
    NameValue stride;
    NameValue scanlines;
    NameValue layout;   // a RawLayout
    NameValue pattern;  // pattern 1..4 (cell_layout.h)
};

// Looks only at the last component of `path` (after the last '/' or '\'), its
// extension included. A token is a maximal run of ASCII letters and digits,
// read in any letter case:
//   <W>x<H>                        width and height
//   w[W] h[H] stride[S] scanline[R] the bracketed forms capture stacks write
//   mipi10, RAWMIPI14, rawplain16  a layout name, alone or after "raw"
//   RGGB, gbrg ...                 a pattern name (cell_layout.h)
// Numbers too long for any dimension read as INT64_MAX, which range checks
// refuse instead of wrapping.
NameSettings settingsFromName(const std::string& path);
