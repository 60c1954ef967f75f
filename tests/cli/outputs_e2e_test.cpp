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

std::vector<std::string> with(std::vector<std::string> options, const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

constexpr int32_t kWidth = 40, kHeight = 31, kStride = 64, kOffset = 10;  // LibRaw wants 22 a side

// A frame of random samples behind a header, rows padded but the last, which
// ends the file right after its samples. A qcom10 row's last group is packed
// whole: its half-size pictures show the padding samples too.
TestMosaic writeScene(const std::string& path, RawLayout layout)
{
    std::mt19937 random(12);
    const int32_t columns = layout == RawLayout::Qcom10 ? 42 : kWidth, bits = packedSampleBits(layout);
    TestMosaic scene{columns, kHeight, bits, std::vector<uint16_t>(static_cast<size_t>(columns * kHeight))};
    for (uint16_t& sample : scene.samples) {
        sample = static_cast<uint16_t>(random() & ((1u << bits) - 1));
    }
    std::vector<uint8_t> bytes(kOffset, 0xEE);
    for (int32_t y = 0; y < kHeight; ++y) {
        const auto first = scene.samples.begin() + y * columns;
        std::vector<uint8_t> row = packLayoutRow(layout, {first, first + columns}, random);
        row.resize(y + 1 < kHeight ? kStride : row.size(), 0xDD);
        bytes.insert(bytes.end(), row.begin(), row.end());
    }
    writeFile(path, bytes);
    return scene;
}

std::vector<std::string> sceneOptions(RawLayout layout)
{
    return {"--layout", layoutName(layout), "--width", "40", "--height", "31", "--stride", "64", "--offset", "10",
            "--pattern", "GRBG"};
}

double srgb(double t)
{
    return t <= 0.0031308 ? 12.92 * t : 1.055 * std::pow(t, 1 / 2.4) - 0.055;
}

uint8_t level(double t)
{
    return static_cast<uint8_t>(std::floor(t * 255 + 0.5));
}

// The BMP of the scene's cells through the sRGB curve: the cells at 16 bits
// hold each colour's value in sample units, shifted.
std::vector<uint8_t> srgbCellsBmp(const TestMosaic& scene)
{
    const std::vector<uint8_t> cells = expectedCells(scene, "GRBG", 16, 1);
    const int32_t width = scene.width / 2, height = scene.height / 2, stride = (3 * width + 3) / 4 * 4;
    std::vector<uint8_t> rows(static_cast<size_t>(stride * height), 0);
    for (size_t v = 0; v < cells.size() / 2; ++v) {
        const auto p = static_cast<int32_t>(v / 3), c = static_cast<int32_t>(v % 3);
        const int32_t sample = (cells[2 * v] << 8 | cells[2 * v + 1]) >> (16 - scene.bits);
        rows[static_cast<size_t>((height - 1 - p / width) * stride + 3 * (p % width) + 2 - c)] =
            level(srgb(sample / ((1 << scene.bits) - 1.0)));
    }
    return bmpFile(width, height, rows);
}

// Frames cut right after their last row's samples; qcom10 through the sample
// path too, whose pictures must take its padding samples and no more.
TEST(Outputs, EveryTypeGivesTheFramesSamplesToRealReaders)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("a.b"));
    for (const RawLayout layout : {RawLayout::Mipi12, RawLayout::Qcom10}) {
        SCOPED_TRACE(layoutName(layout));
        const TestMosaic scene = writeScene(dir.file("a.b/scene"), layout);
        const int32_t width = scene.width / 2;
        const std::string size = std::to_string(width) + "x15\n";
        EXPECT_EQ(runConverter(with(sceneOptions(layout), {"--type", "png", "a.b/scene"}), dir.path()),
                  (ConverterRun{0, "a.b/scene -> a.b/scene.png " + size, ""}));
        EXPECT_EQ(readPng(readFile(dir.file("a.b/scene.png")), 8, width, 15), expectedCells(scene, "GRBG", 8, 1));
        EXPECT_EQ(std::get<0>(runConverter(with(sceneOptions(layout), {"--type", "png16", "--output", "deep.png", "a.b/scene"}), dir.path())), 0);
        EXPECT_EQ(readPng(readFile(dir.file("deep.png")), 16, width, 15), expectedCells(scene, "GRBG", 16, 1));
        EXPECT_EQ(std::get<0>(runConverter(with(sceneOptions(layout), {"--gamma", "srgb", "--output", "s.bmp", "a.b/scene"}), dir.path())), 0);
        EXPECT_EQ(readFile(dir.file("s.bmp")), srgbCellsBmp(scene));

        EXPECT_EQ(runConverter(with(sceneOptions(layout), {"--black", "100", "--wb", "2,1,0.5", "--output", "scene.DNG", "a.b/scene"}), dir.path()),
                  (ConverterRun{0, "a.b/scene -> scene.DNG 40x31\n", ""}));
        auto raw = std::make_unique<LibRaw>();
        ASSERT_EQ(raw->open_file(dir.file("scene.DNG").c_str()), LIBRAW_SUCCESS);
        ASSERT_EQ(raw->unpack(), LIBRAW_SUCCESS);
        const libraw_data_t& data = raw->imgdata;
        ASSERT_TRUE(data.sizes.raw_width == kWidth && data.sizes.raw_height == kHeight);
        for (int32_t p = 0; p < 4; ++p) {
            EXPECT_EQ(data.idata.cdesc[raw->COLOR(p / 2, p % 2)], "GRBG"[p]) << "cell position " << p;
        }
        EXPECT_EQ(data.color.black, 100u);
        EXPECT_EQ(data.color.maximum, (1u << scene.bits) - 1);
        EXPECT_NEAR(data.color.cam_mul[0] / data.color.cam_mul[2], 4.0, 1e-6);
        size_t mismatches = 0;
        for (int32_t i = 0; i < kWidth * kHeight; ++i) {
            mismatches += data.rawdata.raw_image[static_cast<size_t>(i / kWidth) * data.sizes.raw_pitch / 2 +
                                                 static_cast<size_t>(i % kWidth)] != scene.at(i % kWidth, i / kWidth);
        }
        EXPECT_EQ(mismatches, 0u);
    }
}

// Flat frames, where every rule gives one value a colour: black stretched so
// white stays white, grey-world gains, the sRGB curve, rounding; --full keeps
// each pixel's own samples and, with equal neighbours, means them exactly.
TEST(Outputs, DevelopAndFullFollowTheirRules)
{
    TempDir dir;
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < 24; ++y) {
        for (int32_t x = 0; x < 24; ++x) {  // RGGB plain10: red 400, greens 200, blue 100
            const uint16_t v = y % 2 == 0 ? (x % 2 == 0 ? 400 : 200) : (x % 2 == 0 ? 200 : 100);
            bytes.push_back(static_cast<uint8_t>(v));
            bytes.push_back(static_cast<uint8_t>(v >> 8 | 0xFC));  // bits above the sample are ignored
        }
    }
    writeFile(dir.file("flat.raw"), bytes);
    const uint8_t grey = level(srgb(200.0 / 1023));
    struct Case { std::vector<std::string> options; int32_t side; std::vector<uint8_t> pixel; };
    const Case cases[] = {
        {{"--black", "64"}, 12, {level(336.0 / 959), level(136.0 / 959), level(36.0 / 959)}},
        {{"--wb", "auto"}, 12, {level(200.0 / 1023), level(200.0 / 1023), level(200.0 / 1023)}},
        {{"--preview"}, 12, {grey, grey, grey}},
        {{"--wb", "3,1,1", "--gamma", "linear"}, 12, {255, level(200.0 / 1023), level(100.0 / 1023)}},
        {{"--full"}, 24, {100, 50, 25}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--layout", "plain10", "--width", "24", "--height", "24", "--pattern", "RGGB",
                                      "--output", "flat.png", "flat.raw"};
        args.insert(args.begin(), c.options.begin(), c.options.end());
        ASSERT_EQ(std::get<0>(runConverter(args, dir.path())), 0);
        std::vector<uint8_t> expected;
        for (int32_t i = 0; i < c.side * c.side; ++i) {
            expected.insert(expected.end(), c.pixel.begin(), c.pixel.end());
        }
        EXPECT_EQ(readPng(readFile(dir.file("flat.png")), 8, c.side, c.side), expected) << c.options[0];
    }
}

// Band edges anywhere, a row or a few a band on several threads, give the
// picture of the usual bands for every type and look; and a developed BMP,
// written bottom-up, has the pixels of the PNG (ImageMagick compares them).
TEST(Outputs, AnyBandSizeGivesTheSameFile)
{
    TempDir dir;
    writeScene(dir.file("scene"), RawLayout::Mipi12);
    const std::vector<uint8_t> dump = readFile(dir.file("scene"));
    const MemorySource source(dump.data());
    const FrameGeometry frame{RawLayout::Mipi12, kWidth, kHeight, kStride, kOffset, kHeight};
    const std::vector<std::vector<std::string>> looks{
        {"--type", "png"}, {"--type", "png16", "--black", "9"}, {"--type", "dng", "--wb", "auto"},
        {"--full", "--preview"}, {"--full", "--preview", "--type", "png"}, {"--type", "png", "--full", "--wb", "3,1,2"}};
    for (size_t i = 0; i < looks.size(); ++i) {
        const Arguments a = parseArguments(with(looks[i], {"scene"}));
        const std::string name = dir.file("look" + std::to_string(i) + typeExtension(a.type));
        std::vector<uint8_t> usual;
        for (const BandPlan plan : {BandPlan{}, BandPlan{1, 3}, BandPlan{4, 2}}) {
            ReplacingFile out(name);
            std::string reason;
            BandFailure failure = BandFailure::None;
            ASSERT_TRUE(out.open() &&
                        writeFrameInBands(out, FrameRequest{source, frame, 0, cellLayoutFor(2), a.type, a.look, plan},
                                          &reason, &failure) &&
                        out.commit())
                << reason;
            // A PNG's bytes follow its bands; its pixels may not.
            const PictureSize size = pictureSize(frame, a.type, a.look);
            std::vector<uint8_t> file = readFile(name);
            if (a.type == OutputType::Png || a.type == OutputType::Png16) {
                file = readPng(file, a.type == OutputType::Png16 ? 16 : 8, size.width, size.height);
            }
            EXPECT_TRUE(plan.rowsPerBand == 0 ? (usual = file, true) : file == usual)
                << ::testing::PrintToString(looks[i]) << " bands of " << plan.rowsPerBand;
        }
    }
    EXPECT_EQ(std::system(("compare -metric AE " + dir.file("look3.bmp") + " " + dir.file("look4.png") + " null: 2>" +
                           dir.file("differ")).c_str()), 0);
    EXPECT_EQ(readFile(dir.file("differ")), std::vector<uint8_t>{'0'});
}

}  // namespace
