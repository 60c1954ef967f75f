#include "raw_builder.h"

#include <cstdio>
#include <random>
#include <stdexcept>

RawFrame randomFrame(int32_t width, int32_t height, uint32_t seed)
{
    RawFrame frame;
    frame.width = width;
    frame.height = height;
    frame.alignedWidth = (width + 5) / 6 * 6;
    std::mt19937 random(seed);
    frame.samples.resize(static_cast<size_t>(frame.alignedWidth) * static_cast<size_t>(height));
    for (auto& s : frame.samples) {
        s = static_cast<uint16_t>(random() & 0x3FF);
    }
    return frame;
}

std::vector<uint8_t> packFrame(const RawFrame& frame)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(frame.samples.size() / 6 * 8);
    for (size_t i = 0; i < frame.samples.size(); i += 6) {
        uint64_t bits = 0;
        for (size_t j = 0; j < 6; ++j) {
            bits |= static_cast<uint64_t>(frame.samples[i + j]) << (10 * j);
        }
        for (int b = 0; b < 8; ++b) {
            bytes.push_back(static_cast<uint8_t>(bits >> (8 * b)));
        }
    }
    return bytes;
}

std::vector<uint8_t> expectedPicture(const RawFrame& frame, const std::string& pattern)
{
    const int32_t w = frame.alignedWidth / 2;
    const int32_t h = frame.height / 2;
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> picture(stride * static_cast<size_t>(h), 0);
    for (int32_t j = 0; j < h; ++j) {
        uint8_t* row = &picture[static_cast<size_t>(h - 1 - j) * stride];
        for (int32_t i = 0; i < w; ++i) {
            unsigned red = 0, blue = 0, greens = 0;
            for (int cell = 0; cell < 4; ++cell) {
                const unsigned value = frame.at(2 * i + cell % 2, 2 * j + cell / 2) >> 2;
                switch (pattern.at(static_cast<size_t>(cell))) {
                case 'R': red = value; break;
                case 'B': blue = value; break;
                default: greens += value; break;
                }
            }
            row[3 * i] = static_cast<uint8_t>(blue);
            row[3 * i + 1] = static_cast<uint8_t>(greens / 2);
            row[3 * i + 2] = static_cast<uint8_t>(red);
        }
    }
    return picture;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())) {
        if (f != nullptr) {
            std::fclose(f);
        }
        throw std::runtime_error("cannot write " + path);
    }
    std::fclose(f);
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return bytes;
    }
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(f);
    return bytes;
}

bool fileExists(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f != nullptr) {
        std::fclose(f);
    }
    return f != nullptr;
}

uint32_t le32(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes.at(at)) | static_cast<uint32_t>(bytes.at(at + 1)) << 8 |
           static_cast<uint32_t>(bytes.at(at + 2)) << 16 | static_cast<uint32_t>(bytes.at(at + 3)) << 24;
}

uint16_t le16(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}
