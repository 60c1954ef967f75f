// Writing the held picture as an uncompressed 24-bit BMP file.
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
// by "bmp" (frame.raw gives frame.bmp, in the same folder). Empty for a path of
// fewer than three characters, which gives no name.
std::string bmpNameFor(const std::string& rawPath);

// The 54 header bytes for a picture. False when its file size would not fit the
// header's 32-bit field.
bool buildBmpHeader(int32_t width, int32_t height, int64_t stride, uint8_t header[kBmpHeaderBytes]);

// Writes the image buffer's picture, at its own size, to `path`, replacing any
// file there only once the whole file has been written. Returns 1 when written;
// 0 when the buffer is empty (the file system is not touched) or any open, write
// or replace failed (an older file at `path` is then intact).
int CDIBBitmap_save(const char* path);

// CDIBBitmap_save's work with the reason: 0, or an errno value (EINVAL for an
// empty buffer or a picture too large for the format).
int CDIBBitmap_saveWithReason(const char* path);
