// Unsigned decimal numbers as people type them into options and file names:
// digits only, no sign, no spaces, no base prefix.
#pragma once

#include <cstdint>
#include <string_view>

// The value of `digits`, saturating at INT64_MAX, so a number too large for any
// setting still reads as too large and never wraps to a small one. False for
// an empty text or one with anything but digits.
bool readDecimal(std::string_view digits, int64_t* value);

// readDecimal, and the value within [low, high]. `value` is untouched on false.
bool readDecimalInRange(std::string_view digits, int64_t low, int64_t high, int64_t* value);
