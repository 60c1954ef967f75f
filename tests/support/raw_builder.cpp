#include "support/raw_builder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "support/layout_packer.h"

TestMosaic randomFrame(int32_t width, int32_t height, uint32_t seed)
{
    TestMosaic frame{(width + 5) / 6 * 6, height, 10, {}};
    std::mt19937 random(seed);
    frame.samples.resize(static_cast<size_t>(frame.width) * static_cast<size_t>(height));
    for (auto& s : frame.samples) {
        s = static_cast<uint16_t>(random() & 0x3FF);
    }
    return frame;
}

std::vector<uint8_t> packFrame(const TestMosaic& frame)
{
    std::mt19937 noise(static_cast<uint32_t>(frame.width));
    std::vector<uint8_t> bytes;
    for (auto row = frame.samples.begin(); row != frame.samples.end(); row += frame.width) {
        const std::vector<uint8_t> packed = packLayoutRow(RawLayout::Qcom10, {row, row + frame.width}, noise);
        bytes.insert(bytes.end(), packed.begin(), packed.end());
    }
    return bytes;
}

std::vector<TestMosaic> writeLayoutDump(const std::string& path, const LayoutDump& d, uint32_t seed, bool endAtLastSample)
{
    std::mt19937 random(seed);
    const int32_t bits = packedSampleBits(d.layout), columns = d.layout == RawLayout::Qcom10 ? (d.width + 5) / 6 * 6 : d.width;
    std::vector<TestMosaic> frames;
    std::vector<uint8_t> bytes(static_cast<size_t>(d.offset), 0xEE);
    for (int32_t f = 0; f < d.frames; ++f) {
        TestMosaic frame{columns, d.height, bits, std::vector<uint16_t>(static_cast<size_t>(columns * d.height))};
        std::generate(frame.samples.begin(), frame.samples.end(), [&] { return static_cast<uint16_t>(random() % (1u << bits)); });
        for (auto row = frame.samples.begin(); row != frame.samples.end(); row += columns) {
            std::vector<uint8_t> packed = packLayoutRow(d.layout, {row, row + columns}, random);
            const bool last = endAtLastSample && f + 1 == d.frames && row + columns == frame.samples.end();
            packed.resize(last ? packed.size() : static_cast<size_t>(d.stride), 0xDD);
            bytes.insert(bytes.end(), packed.begin(), packed.end());
        }
        bytes.resize(bytes.size() + static_cast<size_t>((d.scanlines - d.height) * d.stride), 0xCC);
        frames.push_back(std::move(frame));
    }
    writeFile(path, bytes);
    return frames;
}

std::vector<uint8_t> bottomUpBgr(const std::vector<uint8_t>& rgb, int32_t width, int32_t height)
{
    const auto w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    const size_t stride = (w * 3 + 3) / 4 * 4;
    std::vector<uint8_t> picture(stride * h, 0);
    for (size_t i = 0; i < w * h; ++i) {
        uint8_t* pixel = &picture[(h - 1 - i / w) * stride + 3 * (i % w)];
        pixel[0] = rgb[3 * i + 2];
        pixel[1] = rgb[3 * i + 1];
        pixel[2] = rgb[3 * i];
    }
    return picture;
}

std::vector<uint8_t> bmpFile(int32_t width, int32_t height, const std::vector<uint8_t>& rows)
{
    // File size, reserved, pixel offset; header size, width, height, planes and
    // bits per pixel; then compression, image size, resolutions and colour counts, all 0.
    const uint32_t fields[] = {static_cast<uint32_t>(54 + rows.size()), 0, 54, 40, static_cast<uint32_t>(width),
                               static_cast<uint32_t>(height), 1 | 24 << 16, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> file = {'B', 'M'};
    for (const uint32_t field : fields) {
        file.insert(file.end(), {static_cast<uint8_t>(field), static_cast<uint8_t>(field >> 8),
                                 static_cast<uint8_t>(field >> 16), static_cast<uint8_t>(field >> 24)});
    }
    file.insert(file.end(), rows.begin(), rows.end());
    return file;
}

std::vector<uint8_t> expectedBmp(const TestMosaic& frame, const std::string& pattern)
{
    const int32_t width = frame.width / 2, height = frame.height / 2;
    return bmpFile(width, height, bottomUpBgr(expectedCells(frame, pattern.c_str(), 8, 1), width, height));
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())).flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
