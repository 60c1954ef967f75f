// What a dump of unknown geometry could be: the layouts and common sensor and
// video geometries whose single frame, rows unpadded, is exactly its size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "raw/raw_layout.h"

// "mipi10 4000x3000, plain16 1920x1080": every fit for a file of `bytes`
// bytes, in the given layout only when one is known; empty when none fits.
std::string sizeFits(int64_t bytes, std::optional<RawLayout> layout);
