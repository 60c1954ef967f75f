// Building raw dumps from known samples, and the pictures they must decode to,
// without going through the decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Samples of a raw frame, row-major, alignedWidth per row (the padding columns
// included, since the file carries them too).
struct RawFrame {
    int32_t width = 0;          // as typed by the user
    int32_t height = 0;
    int32_t alignedWidth = 0;   // width rounded up to a multiple of 6
    std::vector<uint16_t> samples;

    uint16_t& at(int32_t x, int32_t y) { return samples[static_cast<size_t>(y) * static_cast<size_t>(alignedWidth) + static_cast<size_t>(x)]; }
    uint16_t at(int32_t x, int32_t y) const { return samples[static_cast<size_t>(y) * static_cast<size_t>(alignedWidth) + static_cast<size_t>(x)]; }
};

// A frame of uniformly random 10-bit samples.
RawFrame randomFrame(int32_t width, int32_t height, uint32_t seed);

// The packed bytes of a frame, six samples to 8 bytes, low bits first.
std::vector<uint8_t> packFrame(const RawFrame& frame);

// The bottom-up BGR picture (stride padded to 4, pad zero) the frame must give
// under the named pattern ("RGGB", ...), computed from the pattern's letters.
std::vector<uint8_t> expectedPicture(const RawFrame& frame, const std::string& pattern);

// Writes bytes to a file.
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);  // throws when it cannot

// The whole contents of a file, or an empty vector when it cannot be read.
std::vector<uint8_t> readFile(const std::string& path);

bool fileExists(const std::string& path);

// Little-endian fields of a file's bytes, as BMP headers hold them.
uint32_t le32(const std::vector<uint8_t>& bytes, size_t at);
uint16_t le16(const std::vector<uint8_t>& bytes, size_t at);
