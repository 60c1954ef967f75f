// Every output type through the converter, read back by real readers (libpng,
// LibRaw) against what the frame's known samples must give.
#include <libraw/libraw.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "cli/arguments.h"
#include "cli/frame_writer.h"
#include "converter_run.h"
#include "support/layout_packer.h"
#include "support/mosaic_samples.h"
#include "support/png_reader.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

namespace {

constexpr int32_t kWidth = 40, kHeight = 31, kStride = 64, kOffset = 10;  // LibRaw wants 22 a side

std::vector<std::string> sceneArgs(RawLayout layout, std::vector<std::string> more)
{
    more.insert(more.begin(), {"--layout", layoutName(layout), "--width", "40", "--height", "31", "--stride", "64",
                               "--offset", "10", "--pattern", "GRBG"});
    return more;
}

double srgb(double t) { return t <= 0.0031308 ? 12.92 * t : 1.055 * std::pow(t, 1 / 2.4) - 0.055; }
uint8_t level(double t) { return static_cast<uint8_t>(std::floor(t * 255 + 0.5)); }

// The BMP of the scene's cells through the sRGB curve, from the 16-bit cells:
// each colour's value in sample units, shifted.
std::vector<uint8_t> srgbCellsBmp(const TestMosaic& scene)
{
    const std::vector<uint8_t> cells = expectedCells(scene, "GRBG", 16, 1);
    std::vector<uint8_t> rgb;
    for (size_t v = 0; v < cells.size(); v += 2) {
        rgb.push_back(level(srgb(((cells[v] << 8 | cells[v + 1]) >> (16 - scene.bits)) / ((1 << scene.bits) - 1.0))));
    }
    return bmpFile(scene.width / 2, scene.height / 2, bottomUpBgr(rgb, scene.width / 2, scene.height / 2));
}

// Frames cut right after their last row's samples; qcom10 through the sample
// path too, whose pictures must take its padding samples and no more. The
// converter writes a PNG and a DNG as scripts run it; the other types are
// written in process in bands of a row or two on several threads.
TEST(Outputs, EveryTypeGivesTheFramesSamplesToRealReaders)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("a.b"));
    for (const RawLayout layout : {RawLayout::Mipi12, RawLayout::Qcom10}) {
        SCOPED_TRACE(layoutName(layout));
        const TestMosaic scene = writeLayoutDump(dir.file("a.b/scene"), {layout, kWidth, kHeight, kStride, kOffset, kHeight, 1}, 12, true)[0];
        const int32_t width = scene.width / 2;
        EXPECT_EQ(runConverter(sceneArgs(layout, {"--type", "png", "a.b/scene"}), dir.path()),
                  (ConverterRun{0, "a.b/scene -> a.b/scene.png " + std::to_string(width) + "x15\n", ""}));
        EXPECT_EQ(readPng(readFile(dir.file("a.b/scene.png")), 8, width, 15), expectedCells(scene, "GRBG", 8, 1));
        EXPECT_EQ(runConverter(sceneArgs(layout, {"--black", "100", "--wb", "2,1,0.5", "--output", "scene.DNG", "a.b/scene"}), dir.path()),
                  (ConverterRun{0, "a.b/scene -> scene.DNG 40x31\n", ""}));
        const std::vector<uint8_t> dump = readFile(dir.file("a.b/scene"));
        const auto write = [&](const std::vector<std::string>& options, const BandPlan& plan) {
            const Arguments a = parseArguments(sceneArgs(layout, options));
            ReplacingFile out(dir.file("banded"));
            std::string reason;
            BandFailure failure = BandFailure::None;
            EXPECT_TRUE(out.open() &&
                        writeFrameInBands(out, FrameRequest{MemorySource(dump.data()), {layout, kWidth, kHeight, kStride, kOffset, kHeight},
                                                            0, cellLayoutFor(2), a.type, a.look, plan}, &reason, &failure) &&
                        out.commit()) << reason;
            return readFile(dir.file("banded"));
        };
        TestMosaic frame{kWidth, kHeight, scene.bits, {}};  // the frame's own samples, without qcom10's padding
        for (auto row = scene.samples.begin(); row != scene.samples.end(); row += scene.width) {
            frame.samples.insert(frame.samples.end(), row, row + kWidth);
        }
        EXPECT_EQ(readPng(write({"--type", "png16", "in"}, {1, 3}), 16, width, 15), expectedCells(scene, "GRBG", 16, 1));
        EXPECT_EQ(readPng(write({"--type", "png", "--full", "in"}, {2, 3}), 8, kWidth, kHeight), expectedDemosaic(frame, "GRBG", 8));
        EXPECT_EQ(write({"--gamma", "srgb", "in"}, {2, 2}), srgbCellsBmp(scene));
        EXPECT_EQ(write({"--black", "100", "--wb", "2,1,0.5", "--type", "dng", "in"}, {1, 3}), readFile(dir.file("scene.DNG")));

        auto raw = std::make_unique<LibRaw>();
        ASSERT_TRUE(raw->open_file(dir.file("scene.DNG").c_str()) == LIBRAW_SUCCESS && raw->unpack() == LIBRAW_SUCCESS);
        const libraw_data_t& data = raw->imgdata;
        ASSERT_TRUE(data.sizes.raw_width == kWidth && data.sizes.raw_height == kHeight);
        for (int32_t p = 0; p < 4; ++p) {
            EXPECT_EQ(data.idata.cdesc[raw->COLOR(p / 2, p % 2)], "GRBG"[p]) << "cell position " << p;
        }
        EXPECT_EQ(std::tuple(data.color.black, data.color.maximum), std::tuple(100u, (1u << scene.bits) - 1));
        EXPECT_NEAR(data.color.cam_mul[0] / data.color.cam_mul[2], 4.0, 1e-6);
        std::vector<uint16_t> samples;
        for (size_t y = 0; y < kHeight; ++y) {
            const uint16_t* row = data.rawdata.raw_image + y * data.sizes.raw_pitch / 2;
            samples.insert(samples.end(), row, row + kWidth);
        }
        EXPECT_TRUE(samples == frame.samples);
    }
}

// Flat frames, where every rule gives one value a colour: black stretched so
// white stays white, grey-world gains, the sRGB curve, rounding; --full keeps
// each pixel's own samples and, with equal neighbours, means them exactly.
// The same frame as plain10 and as qcom10, whose grey world sums packed groups
// unless there is black to take off first.
TEST(Outputs, DevelopAndFullFollowTheirRules)
{
    TempDir dir;
    std::vector<uint8_t> plain, packed;
    std::mt19937 noise(3);
    for (int32_t y = 0; y < 24; ++y) {  // RGGB: red 400, greens 200, blue 100
        std::vector<uint16_t> row;
        for (int32_t x = 0; x < 24; ++x) {
            row.push_back(static_cast<uint16_t>(400 >> (y % 2 + x % 2)));
            plain.insert(plain.end(), {static_cast<uint8_t>(row.back()), static_cast<uint8_t>(row.back() >> 8 | 0xFC)});  // bits above a sample are ignored
        }
        const std::vector<uint8_t> bytes = packLayoutRow(RawLayout::Qcom10, row, noise);
        packed.insert(packed.end(), bytes.begin(), bytes.end());
    }
    writeFile(dir.file("plain10.raw"), plain);
    writeFile(dir.file("qcom10.raw"), packed);
    const uint8_t grey = level(srgb(200.0 / 1023));
    const uint8_t balanced = level(136.0 / 959);
    struct Case { std::vector<std::string> options; int32_t side; std::vector<uint8_t> pixel; };
    const Case cases[] = {
        {{"--black", "64"}, 12, {level(336.0 / 959), level(136.0 / 959), level(36.0 / 959)}},
        {{"--wb", "auto"}, 12, {level(200.0 / 1023), level(200.0 / 1023), level(200.0 / 1023)}},
        {{"--black", "64", "--wb", "auto"}, 12, {balanced, balanced, balanced}},
        {{"--preview"}, 12, {grey, grey, grey}},
        {{"--wb", "3,1,1", "--gamma", "linear"}, 12, {255, level(200.0 / 1023), level(100.0 / 1023)}},
        {{"--full"}, 24, {100, 50, 25}},
    };
    for (const char* layout : {"plain10", "qcom10"}) {
        for (Case c : cases) {
            c.options.insert(c.options.end(), {"--layout", layout, "--width", "24", "--height", "24", "--pattern", "RGGB",
                                               "--output", "flat.png", std::string(layout) + ".raw"});
            ASSERT_EQ(std::get<0>(runConverter(c.options, dir.path())), 0);
            std::vector<uint8_t> expected;
            for (int32_t i = 0; i < c.side * c.side; ++i) {
                expected.insert(expected.end(), c.pixel.begin(), c.pixel.end());
            }
            EXPECT_EQ(readPng(readFile(dir.file("flat.png")), 8, c.side, c.side), expected) << layout << " " << c.options[0];
        }
    }
}

}  // namespace
