// Raw dumps from known samples, and the pictures and BMP files they must give,
// built without the decoder or the BMP writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Samples of a raw frame, row-major, alignedWidth per row (the padding columns
// included, since the file carries them too).
struct RawFrame {
    int32_t width = 0;
    int32_t height = 0;
    int32_t alignedWidth = 0;  // samples a row: width rounded up to a multiple of 6 for qcom10
    std::vector<uint16_t> samples;
    int32_t bits = 10;  // each sample's, of which a picture keeps the top 8
};

// A frame of uniformly random 10-bit samples.
RawFrame randomFrame(int32_t width, int32_t height, uint32_t seed);

// The packed bytes of a frame, six samples to 8 bytes, low bits first
// (layout_packer.h); the four unused top bits of every group are random.
std::vector<uint8_t> packFrame(const RawFrame& frame);

// Top-down RGB pixels as bottom-up BGR rows padded with zeros to 4 bytes, as
// the decoders and BMP files hold a picture.
std::vector<uint8_t> bottomUpBgr(const std::vector<uint8_t>& rgb, int32_t width, int32_t height);


// A 24-bit BMP file of bottom-up padded rows, field by field as the format
// defines it.
std::vector<uint8_t> bmpFile(int32_t width, int32_t height, const std::vector<uint8_t>& rows);

// The BMP file the frame must give under the named pattern ("RGGB", ...),
// computed from the pattern's letters.
std::vector<uint8_t> expectedBmp(const RawFrame& frame, const std::string& pattern);

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);  // throws when it cannot

// The whole contents of a file, or an empty vector when it cannot be read.
std::vector<uint8_t> readFile(const std::string& path);
