// Any small frame of any layout through the converter's band writers, every
// type and look, read back. The first 8 bytes choose the geometry, the frame,
// the pattern, the decoder's path, the type, the look and the bands' sizes;
// the rest is the dump, in a buffer of exactly its size so
// AddressSanitizer sees any read past it. The plain BMP and the 8-bit PNG
// without a look must be exactly the cell picture the layouts' rule makes from
// unpackRow's samples and the DNG's raw strip those samples; every other
// picture must have the size and form its reader finds, the DNG its planned
// size.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "encode/bmp_format.h"
#include "encode/dng_writer.h"
#include "fuzz_target.h"
#include "cli/frame_writer.h"
#include "support/png_reader.h"
#include "raw/raw_geometry.h"
#include "platform/vector_paths.h"

namespace {

constexpr size_t kHeadBytes = 8;

// A folder a process, so parallel jobs never share a file.
struct Scratch {
    char dir[32] = "/tmp/pixmora-convert-XXXXXX";
    Scratch() { FUZZ_CHECK(mkdtemp(dir) != nullptr); }
    ~Scratch() { rmdir(dir); }
};

uint32_t little(const std::vector<uint8_t>& bytes, size_t at, size_t count)
{
    return count == 0 ? 0 : little(bytes, at + 1, count - 1) << 8 | bytes[at];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeadBytes) {
        return 0;
    }
    const auto layout = static_cast<RawLayout>(data[0] % kRawLayoutCount);
    const int32_t width = 1 + data[1] % 70;
    const int32_t height = 2 + data[2] % 23;
    const FrameGeometry f{layout, width, height, minimumRowBytes(layout, width) + (data[3] & 15), data[4] & 31,
                          height + (data[3] >> 4 & 3)};
    const int64_t k = (data[3] >> 6) % 3;
    const CellLayout cell = cellLayoutFor(1 + (data[4] >> 5 & 3));
    setVectorPathsEnabled((data[4] & 0x80) == 0);
    const BandPlan plan{1 + (data[6] & 3), 1 + (data[5] >> 6) % 3u};
    const int32_t bits = layoutInfo(f.layout).sampleBits;
    // The type and look come through the argument parser, so they are what a
    // user can ask for; --full and sRGB, which it refuses for a DNG, are not
    // even asked for one.
    const bool dng = (data[5] & 3) == 3;
    const double red = (1 + (data[6] >> 3)) / 8.0;
    const std::string gains = std::to_string(red) + ",1," + std::to_string(2 / red);
    const char* const types[] = {"bmp", "png", "png16", "dng"};
    std::vector<std::string> options{"--layout", layoutName(f.layout), "--width", std::to_string(f.width),
                                     "--type", types[data[5] & 3], "dump"};
    const auto add = [&](bool given, std::initializer_list<std::string> option) {
        options.insert(options.end(), given ? option : std::initializer_list<std::string>{});
    };
    add((data[5] & 4) != 0 && !dng, {"--full"});
    add((data[5] & 8) != 0 && !dng, {"--gamma", "srgb"});
    add((data[5] >> 4 & 3) % 3 != 0, {"--wb", (data[5] & 16) != 0 ? gains : "auto"});
    add((data[6] & 4) != 0, {"--black", std::to_string(data[7] * ((int64_t{1} << bits) - 1) / 256)});
    const Arguments a = parseArguments(options);
    const std::vector<uint8_t> dump(data + kHeadBytes, data + size);
    const auto bytes = static_cast<int64_t>(dump.size());
    if (a.command != Command::Convert || !isReadableFrame(f)) {
        return 0;
    }
    const int64_t held = framesHeld(f, bytes);
    FUZZ_CHECK(held >= 0 && (held == 0 || frameEnd(f, held - 1) <= bytes) && frameEnd(f, held) > bytes);
    if (held <= k) {
        return 0;
    }

    static const Scratch scratch;
    // readPng's GoogleTest assertions would only print outside a test; thrown,
    // any of them ends the run as a finding.
    GTEST_FLAG_SET(throw_on_failure, true);
    const std::string path = scratch.dir + std::string("/picture");
    ReplacingFile out(path);
    const MemorySource source(dump.data());
    std::string reason = "cannot create " + path;
    BandFailure failure = BandFailure::None;
    if (!out.open() ||
        !writeFrameInBands(out, FrameRequest{source, f, k, cell, a.type, a.look, plan}, &reason, &failure) ||
        !out.commit()) {
        fuzzFailure(reason.c_str());
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    unlink(path.c_str());

    // The cell picture as RGB rows, top first, and as the BMP's bottom-up BGR
    // rows; a qcom10 row's last group is unpacked whole, padding samples too.
    const auto pw = static_cast<size_t>(framePictureWidth(f));
    const auto ph = static_cast<size_t>(framePictureHeight(f));
    const auto columns = static_cast<size_t>(f.width);
    const size_t unpacked = f.layout == RawLayout::Qcom10 ? 2 * pw : columns;
    std::vector<uint16_t> samples(unpacked * static_cast<size_t>(f.height));
    for (size_t r = 0; r < samples.size() / unpacked; ++r) {
        const auto at = static_cast<size_t>(frameStart(f, k) + static_cast<int64_t>(r) * f.stride);
        unpackRow(f.layout, dump.data() + at, static_cast<int32_t>(unpacked), samples.data() + r * unpacked);
    }
    const auto bmpStride = static_cast<size_t>(pictureStride(static_cast<int64_t>(pw)));
    std::vector<uint8_t> rgb(3 * pw * ph);
    std::vector<uint8_t> bmp(bmpStride * ph, 0);
    for (size_t p = 0; p < pw * ph; ++p) {
        const auto top = [&](CellPosition at) {
            const size_t row = 2 * (p / pw) + static_cast<size_t>(at / 2);
            return samples[row * unpacked + 2 * (p % pw) + static_cast<size_t>(at % 2)] >> (bits - 8);
        };
        const int v[3] = {top(cell.red), (top(cell.green1) + top(cell.green2)) / 2, top(cell.blue)};
        for (size_t c = 0; c < 3; ++c) {
            rgb[3 * p + c] = static_cast<uint8_t>(v[c]);
            bmp[(ph - 1 - p / pw) * bmpStride + 3 * (p % pw) + 2 - c] = static_cast<uint8_t>(v[c]);
        }
    }

    const bool noLook = !a.look.full && a.look.black == 0 && a.look.balance == Balance::None && !a.look.srgb;
    const PictureSize picture = pictureSize(f, a.type, a.look);
    if (a.type == OutputType::Bmp) {
        const size_t expected = kBmpHeaderBytes + static_cast<size_t>(pictureStride(picture.width) * picture.height);
        FUZZ_CHECK(file.size() == expected && little(file, 2, 4) == expected && little(file, 10, 4) == kBmpHeaderBytes);
        FUZZ_CHECK(little(file, 18, 4) == static_cast<uint32_t>(picture.width) &&
                   little(file, 22, 4) == static_cast<uint32_t>(picture.height) && little(file, 28, 2) == 24);
        FUZZ_CHECK(!noLook || std::vector<uint8_t>(file.begin() + kBmpHeaderBytes, file.end()) == bmp);
    } else if (a.type != OutputType::Dng) {
        const int32_t depth = a.type == OutputType::Png ? 8 : 16;
        const std::vector<uint8_t> pixels = readPng(file, depth, picture.width, picture.height);
        FUZZ_CHECK(a.type != OutputType::Png || !noLook || pixels == rgb);
    } else {
        const DngDescription description{MosaicFrame{f.width, f.height, bits, cell},
                                         static_cast<uint16_t>(a.look.black), {1.0, 1.0, 1.0}, layoutName(f.layout)};
        DngLayout dngLayout;
        FUZZ_CHECK(planDng(description, &dngLayout) && file.size() == dngLayout.fileBytes);
        for (size_t s = 0; s < columns * static_cast<size_t>(f.height); ++s) {
            FUZZ_CHECK(little(file, dngLayout.rawOffset + 2 * s, 2) == samples[s / columns * unpacked + s % columns]);
        }
    }
    return 0;
}
