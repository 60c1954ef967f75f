// The uncompressed 24-bit BMP format and the name a raw file's BMP takes.
//
// Layout: 14-byte file header ("BM", file size 54 + stride * height, two zero
// reserved words, pixel offset 54), 40-byte information header (size 40, width,
// positive height for bottom-up rows, 1 plane, 24 bits, no compression, image
// size, resolutions and colour counts 0), then the picture's rows in memory
// order, each with its pad to a multiple of 4 bytes. All fields little-endian.
#pragma once

#include <cstdint>
#include <string>

constexpr int kBmpHeaderBytes = 54;

// Where a raw file's BMP goes: its path with the last three characters replaced
// by "bmp" (frame.raw gives frame.bmp, in the same folder). With `utf8` a
// character is a whole UTF-8 one, so "shot.日本" gives "shotbmp", a valid name;
// without, as the window counts in a code page other than UTF-8 (Windows older
// than 10 version 1903 ignores the manifest), a byte. Empty for a path of fewer
// than three characters, which gives no name.
std::string bmpNameFor(const std::string& rawPath, bool utf8);

// The 54 header bytes for a picture. False when its file size would not fit the
// header's 32-bit field.
bool buildBmpHeader(int32_t width, int32_t height, int64_t stride, uint8_t header[kBmpHeaderBytes]);
