// PNG files read back through libpng, not through the writer under test.
#pragma once

#include <cstdint>
#include <vector>

// The samples of an 8- or 16-bit RGB PNG in file order, each big-endian at
// 16 bits, as the writers lay out a 16-bit row. Any libpng warning (a bad
// Adler-32 is only one), another size or another format fails the test.
std::vector<uint8_t> readPng(const std::vector<uint8_t>& file, int32_t depth, int32_t width, int32_t height);
