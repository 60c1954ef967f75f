// Every layout through the converter as scripts run it: padded rows, a
// header, several frames, settings from bracketed names, and what a nameless
// dump's size fits. Expected BMPs are built here from the known samples.
#include <random>

#include <gtest/gtest.h>

#include <filesystem>

#include "converter_run.h"
#include "raw_builder.h"
#include "temp_dir.h"
#include "layout_packer.h"

namespace {

std::vector<std::string> with(std::vector<std::string> options, const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

struct Dump {
    RawLayout layout;
    int32_t width, height;
    int64_t stride, offset, scanlines;
    int32_t frames;
};

// Samples of every frame, row-major, and the file holding them: a header of
// 0xEE, rows padded with 0xDD to the stride, scanlines past the height of 0xCC.
struct Written {
    std::vector<std::vector<uint16_t>> frames;
    std::vector<uint8_t> bytes;
};

Written makeDump(const Dump& d, uint32_t seed)
{
    std::mt19937 random(seed);
    const int32_t bits = packedSampleBits(d.layout);
    Written w;
    w.bytes.assign(static_cast<size_t>(d.offset), 0xEE);
    for (int32_t f = 0; f < d.frames; ++f) {
        std::vector<uint16_t> samples(static_cast<size_t>(d.width) * static_cast<size_t>(d.height));
        for (uint16_t& s : samples) {
            s = static_cast<uint16_t>(random() & ((1u << bits) - 1));
        }
        for (int64_t y = 0; y < d.scanlines; ++y) {
            std::vector<uint8_t> row(static_cast<size_t>(d.stride), y < d.height ? 0xDD : 0xCC);
            if (y < d.height) {
                const auto first = samples.begin() + y * d.width;
                const std::vector<uint8_t> packed = packLayoutRow(d.layout, {first, first + d.width}, random);
                std::copy(packed.begin(), packed.end(), row.begin());
            }
            w.bytes.insert(w.bytes.end(), row.begin(), row.end());
        }
        w.frames.push_back(std::move(samples));
    }
    return w;
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// The BMP of one frame by the rule: a cell a pixel, each sample's top 8 bits,
// green the truncated mean of the two, rows bottom-up padded to 4 bytes.
std::vector<uint8_t> bmpOf(const Dump& d, const std::vector<uint16_t>& s, const char* pattern)
{
    const int32_t shift = packedSampleBits(d.layout) - 8;
    const int32_t w = d.width / 2, h = d.height / 2;
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> b(54 + stride * static_cast<size_t>(h), 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<uint32_t>(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, static_cast<uint32_t>(w));
    put32(b, 22, static_cast<uint32_t>(h));
    b[26] = 1;
    b[28] = 24;
    for (int32_t j = 0; j < h; ++j) {
        for (int32_t i = 0; i < w; ++i) {
            int32_t colour[3] = {0, 0, 0};  // blue, green sum, red
            for (int32_t c = 0; c < 4; ++c) {
                const int32_t v = s[static_cast<size_t>((2 * j + c / 2) * d.width + 2 * i + c % 2)] >> shift;
                colour[pattern[c] == 'B' ? 0 : pattern[c] == 'G' ? 1 : 2] += v;
            }
            uint8_t* px = &b[54 + static_cast<size_t>(h - 1 - j) * stride + static_cast<size_t>(i) * 3];
            px[0] = static_cast<uint8_t>(colour[0]);
            px[1] = static_cast<uint8_t>(colour[1] / 2);
            px[2] = static_cast<uint8_t>(colour[2]);
        }
    }
    return b;
}

std::string text(int64_t n)
{
    return std::to_string(n);
}

// Odd widths leave a column unused and widths off the group leave a part
// group; odd heights an unpaired row. Rows padded, a header, and three frames,
// every one converted, on both threads' worth of bands.
TEST(Layouts, EveryFrameOfEveryLayoutGivesItsSamplesPicture)
{
    const Dump dumps[] = {
        {RawLayout::Mipi10, 13, 7, 24, 5, 9, 3},   {RawLayout::Mipi12, 11, 5, 18, 0, 5, 3},
        {RawLayout::Mipi14, 18, 9, 35, 3, 10, 3},  {RawLayout::Plain10, 9, 6, 18, 1, 6, 3},
        {RawLayout::Plain12, 10, 4, 22, 2, 7, 3},  {RawLayout::Plain14, 7, 5, 14, 0, 5, 3},
        {RawLayout::Plain16, 12, 6, 30, 8, 6, 3},  {RawLayout::Raw8, 15, 11, 16, 6, 12, 3},
        {RawLayout::Mipi10, 2000, 3000, 2504, 0, 3000, 1},  // several bands on several threads
    };
    TempDir dir;
    for (const Dump& d : dumps) {
        const std::string layout = layoutName(d.layout), name = layout + text(d.width);
        const Written w = makeDump(d, static_cast<uint32_t>(d.width));
        writeFile(dir.file(name + ".dump"), w.bytes);
        const std::vector<std::string> args{"--layout", layout, "--width", text(d.width), "--height", text(d.height),
                                            "--stride", text(d.stride), "--offset", text(d.offset), "--scanlines",
                                            text(d.scanlines), "--pattern", "GBRG", "--frame", "all", "-q", name + ".dump"};
        ASSERT_EQ(runConverter(args, dir.path()), (ConverterRun{0, "", ""}));
        for (int32_t f = 0; f < d.frames; ++f) {
            const std::string output = name + "-000" + text(f) + ".bmp";
            EXPECT_EQ(readFile(dir.file(output)), bmpOf(d, w.frames[static_cast<size_t>(f)], "GBRG")) << output;
        }
        EXPECT_FALSE(std::filesystem::exists(dir.file(name + "-000" + text(d.frames) + ".bmp")));
    }
}

// A capture stack's name gives everything; --dry-run says so and writes
// nothing; the frame after the last is refused with the sizes.
TEST(Layouts, BracketedNamesGiveTheSettingsAndDryRunTellsTheirSources)
{
    const Dump d{RawLayout::Mipi14, 16, 6, 30, 0, 8, 2};
    const std::string name = "IMG_w[16]_h[6]_stride[30]_scanline[8]_bggr.RAWMIPI14";
    TempDir dir;
    const Written w = makeDump(d, 5);
    writeFile(dir.file(name), w.bytes);
    EXPECT_EQ(runConverter({"--dry-run", "--frame=all", name}, dir.path()),
              (ConverterRun{0,
                            name + "\n  layout     mipi14 (name)\n  width      16 (name)\n  height     6 (name)\n"
                                   "  pattern    BGGR (name)\n  stride     30 bytes (name)\n"
                                   "  offset     0 bytes (default)\n  scanlines  8 (name)\n"
                                   "  frames     2 in 480 bytes; converting all (option)\n"
                                   "  output     IMG_w[16]_h[6]_stride[30]_scanline[8]_bggr-0000.bmp to "
                                   "IMG_w[16]_h[6]_stride[30]_scanline[8]_bggr-0001.bmp\n",
                            ""}));
    EXPECT_EQ(dir.contents().size(), 1u);
    const std::string bmp = "IMG_w[16]_h[6]_stride[30]_scanline[8]_bggr.bmp";
    EXPECT_EQ(runConverter({"--frame", "1", name}, dir.path()), (ConverterRun{0, name + " -> " + bmp + " 8x3\n", ""}));
    EXPECT_EQ(readFile(dir.file(bmp)), bmpOf(d, w.frames[1], "BGGR"));
    EXPECT_EQ(runConverter({"--frame", "2", name}, dir.path()),
              (ConverterRun{1, "", failed(name, "too short (has 480 bytes; 16 x 6 mipi14, frame 2, needs 658)")}));
}

// Refusals: each with its exact words, and nothing written.
TEST(Layouts, RefusesWhatCannotBeReadSayingWhy)
{
    TempDir dir;
    writeFile(dir.file("a.dump"), std::vector<uint8_t>(307200, 1));  // raw8 640x480, and no other
    writeFile(dir.file("b.dump"), std::vector<uint8_t>(1000, 1));
    writeFile(dir.file("w[20]_w[22]_h[4]_stride[20]_RGGB.mipi10"), std::vector<uint8_t>(200, 1));
    writeFile(dir.file("c_1x4_RGGB.raw"), std::vector<uint8_t>(64, 1));
    const std::string size = "width and height unknown: pass --width and --height, or name the file with one <W>x<H> token";
    EXPECT_EQ(runConverter({"--pattern", "RGGB", "a.dump", "b.dump"}, dir.path()),
              (ConverterRun{1, "", failed("a.dump", size + "; its 307200 bytes fit raw8 640x480") +
                                       failed("b.dump", size + "; its 1000 bytes fit none of the common sensor geometries") +
                                       "pixmora-convert: 2 of 2 inputs failed\n"}));
    EXPECT_EQ(runConverter({"w[20]_w[22]_h[4]_stride[20]_RGGB.mipi10"}, dir.path()),
              (ConverterRun{1, "", failed("w[20]_w[22]_h[4]_stride[20]_RGGB.mipi10",
                                          "width unknown: pass --width, or name the file with one <W>x<H> token "
                                          "(its name gives more than one); its 200 bytes fit none of the common "
                                          "sensor geometries")}));
    EXPECT_EQ(runConverter({"--width", "30", "w[20]_w[22]_h[4]_stride[20]_RGGB.mipi10"}, dir.path()),
              (ConverterRun{1, "", failed("w[20]_w[22]_h[4]_stride[20]_RGGB.mipi10",
                                          "stride 20 is not from the 40 bytes a row of 30 mipi10 samples needs to 1048576")}));
    const std::vector<std::string> ok{"--width", "8", "--height", "4", "--pattern", "RGGB", "b.dump"};
    EXPECT_EQ(runConverter(with({"--layout", "mipi10", "--stride", "9"}, ok), dir.path()),
              usageError("--stride 9 is less than the 10 bytes a row of 8 mipi10 samples needs"));
    EXPECT_EQ(runConverter(with({"--layout", "raw8", "--width", "1"}, {"b.dump"}), dir.path()),
              usageError("--width 1 is too narrow for raw8, which needs at least 2 samples a row"));
    // A whole qcom10 group makes a half-size picture of a 1-sample row, but no full-size one.
    EXPECT_EQ(runConverter(with(ok, {"--width", "1", "--type", "dng"}), dir.path()),
              usageError("--width 1 is too narrow for a DNG, which needs at least 2 samples a row"));
    EXPECT_EQ(runConverter({"--full", "c_1x4_RGGB.raw"}, dir.path()),
              (ConverterRun{1, "", failed("c_1x4_RGGB.raw", "width 1 is too narrow for --full, which needs at least 2 samples a row")}));
    EXPECT_EQ(runConverter(with({"--scanlines", "3"}, ok), dir.path()), usageError("--scanlines 3 is less than the height 4"));
    EXPECT_EQ(runConverter(with({"--layout", "mipi16"}, ok), dir.path()),
              usageError("--layout 'mipi16' is not one of qcom10, mipi10, mipi12, mipi14, plain10, plain12, plain14, plain16, raw8"));
    EXPECT_EQ(runConverter(with({"--frame", "-1"}, ok), dir.path()),
              usageError("--frame '-1' is neither all nor a whole number from 0 to 1048575"));
    EXPECT_EQ(dir.contents().size(), 4u);
}

}  // namespace
