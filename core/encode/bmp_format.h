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
// by "bmp" (frame.raw gives frame.bmp, in the same folder). Characters are
// UTF-8 ones, the window's code page, so a name ending in "é" or "日本" still
// gives a valid name. Empty for a path of fewer than three characters, which
// gives no name.
std::string bmpNameFor(const std::string& rawPath);

// The 54 header bytes for a picture. False when its file size would not fit the
// header's 32-bit field.
bool buildBmpHeader(int32_t width, int32_t height, int64_t stride, uint8_t header[kBmpHeaderBytes]);
