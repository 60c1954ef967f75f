// Raw dumps from known samples, and the pictures and BMP files they must give,
// built without the decoder or the BMP writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raw/raw_layout.h"
#include "support/mosaic_samples.h"

// A qcom10 frame of uniformly random 10-bit samples, its width rounded up to
// whole groups of 6 (the padding columns, which the file carries too).
TestMosaic randomFrame(int32_t width, int32_t height, uint32_t seed);

// The packed bytes of a frame, six samples to 8 bytes, low bits first
// (layout_packer.h); the four unused top bits of every group are random.
std::vector<uint8_t> packFrame(const TestMosaic& frame);

// Frames of one layout in a dump: rows `stride` bytes apart after an `offset`
// of header, frames `scanlines` rows apart.
struct LayoutDump { RawLayout layout; int32_t width, height; int64_t stride, offset, scanlines; int32_t frames; };

// Writes a dump of random samples over the layout's range and returns its
// frames' samples, qcom10's rows whole groups wide (the padding samples its
// half-size pictures show): a header of 0xEE, rows padded with 0xDD to the
// stride, scanlines past the height of 0xCC; the file ends right after the last
// row's samples when `endAtLastSample`.
std::vector<TestMosaic> writeLayoutDump(const std::string& path, const LayoutDump& d, uint32_t seed, bool endAtLastSample = false);

// Top-down RGB pixels as bottom-up BGR rows padded with zeros to 4 bytes, as
// the decoders and BMP files hold a picture.
std::vector<uint8_t> bottomUpBgr(const std::vector<uint8_t>& rgb, int32_t width, int32_t height);


// A 24-bit BMP file of bottom-up padded rows, field by field as the format
// defines it.
std::vector<uint8_t> bmpFile(int32_t width, int32_t height, const std::vector<uint8_t>& rows);

// The BMP file the frame must give under the named pattern ("RGGB", ...),
// computed from the pattern's letters.
std::vector<uint8_t> expectedBmp(const TestMosaic& frame, const std::string& pattern);

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);  // throws when it cannot

// The whole contents of a file, or an empty vector when it cannot be read.
std::vector<uint8_t> readFile(const std::string& path);
