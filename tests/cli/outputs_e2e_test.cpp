// Every output type through the converter, read back by real readers (libpng,
// LibRaw) against what the frame's known samples must give.
#include <libraw/libraw.h>

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/arguments.h"
#include "converter_run.h"
#include "cli/picture_stream.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"
#include "support/layout_packer.h"
#include "support/mosaic_samples.h"
#include "support/png_reader.h"

namespace {

std::vector<std::string> with(std::vector<std::string> options, const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

constexpr int32_t kWidth = 40, kHeight = 31, kStride = 64, kOffset = 10;  // LibRaw wants 22 a side

// A GRBG mipi12 frame of random samples behind a header, rows padded.
std::vector<uint16_t> writeScene(const std::string& path)
{
    std::mt19937 random(12);
    std::vector<uint16_t> samples(kWidth * kHeight);
    std::vector<uint8_t> bytes(kOffset, 0xEE);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            samples[static_cast<size_t>(y * kWidth + x)] = static_cast<uint16_t>(random() & 0xFFF);
        }
        std::vector<uint8_t> row = packLayoutRow(RawLayout::Mipi12, {samples.begin() + y * kWidth, samples.begin() + (y + 1) * kWidth}, random);
        row.resize(kStride, 0xDD);
        bytes.insert(bytes.end(), row.begin(), row.end());
    }
    writeFile(path, bytes);
    return samples;
}

const std::vector<std::string> kScene{"--layout", "mipi12", "--width", "40", "--height", "31", "--stride", "64",
                                      "--offset", "10", "--pattern", "GRBG"};

// Names keep their folder (dots and all) and gain the type's extension.
TEST(Outputs, EveryTypeGivesTheFramesSamplesToRealReaders)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("a.b"));
    const std::vector<uint16_t> samples = writeScene(dir.file("a.b/scene"));
    EXPECT_EQ(runConverter(with(kScene, {"--type", "png", "a.b/scene"}), dir.path()),
              (ConverterRun{0, "a.b/scene -> a.b/scene.png 20x15\n", ""}));
    EXPECT_EQ(readPng(readFile(dir.file("a.b/scene.png")), 8, 20, 15), expectedCells(TestMosaic{kWidth, kHeight, 12, samples}, "GRBG", 8, 1));
    EXPECT_EQ(std::get<0>(runConverter(with(kScene, {"--type", "png16", "--output", "deep.png", "a.b/scene"}), dir.path())), 0);
    EXPECT_EQ(readPng(readFile(dir.file("deep.png")), 16, 20, 15), expectedCells(TestMosaic{kWidth, kHeight, 12, samples}, "GRBG", 16, 1));

    EXPECT_EQ(runConverter(with(kScene, {"--black", "100", "--wb", "2,1,0.5", "--output", "scene.DNG", "a.b/scene"}), dir.path()),
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
    EXPECT_EQ(data.color.maximum, 4095u);
    EXPECT_NEAR(data.color.cam_mul[0] / data.color.cam_mul[2], 4.0, 1e-6);
    size_t mismatches = 0;
    for (int32_t i = 0; i < kWidth * kHeight; ++i) {
        mismatches += data.rawdata.raw_image[static_cast<size_t>(i / kWidth) * data.sizes.raw_pitch / 2 +
                                             static_cast<size_t>(i % kWidth)] != samples[static_cast<size_t>(i)];
    }
    EXPECT_EQ(mismatches, 0u);
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
    const auto srgb = [](double t) { return t <= 0.0031308 ? 12.92 * t : 1.055 * std::pow(t, 1 / 2.4) - 0.055; };
    const auto level = [](double t) { return static_cast<uint8_t>(std::floor(t * 255 + 0.5)); };
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

// Band edges anywhere, one to a few rows a band on several threads, give the
// same file as the usual bands for every type and look; and a developed BMP,
// written bottom-up, has the pixels of the PNG (ImageMagick compares them).
TEST(Outputs, AnyBandSizeGivesTheSameFile)
{
    TempDir dir;
    writeScene(dir.file("scene"));
    const std::vector<uint8_t> dump = readFile(dir.file("scene"));
    const FrameGeometry frame{RawLayout::Mipi12, kWidth, kHeight, kStride, kOffset, kHeight};
    const std::vector<std::vector<std::string>> looks{
        {"--type", "png"}, {"--type", "png16", "--black", "9"}, {"--type", "dng", "--wb", "auto"},
        {"--full", "--preview", "--output", "x.bmp"}, {"--full", "--preview", "--output", "x.png"},
        {"--type", "png", "--full", "--wb", "3,1,2"}};
    for (const std::vector<std::string>& options : looks) {
        const Arguments a = parseArguments(with(options, {"scene"}));
        std::vector<uint8_t> usual;
        for (int64_t bandBytes : {int64_t{0}, int64_t{1}, int64_t{700}}) {
            ReplacingFile out(dir.file("banded"));
            std::string reason;
            BandFailure failure = BandFailure::None;
            ASSERT_TRUE(out.open() &&
                        writePictureInBands(out, MemorySource(dump.data()), frame, 0, cellLayoutFor(2), a.type, a.look,
                                            &reason, &failure, bandBytes) &&
                        out.commit())
                << reason;
            // A PNG's bytes follow its bands; its pixels may not.
            const PictureSize size = pictureSize(frame, a.type, a.look);
            const int32_t depth = a.type == OutputType::Png16 ? 16 : 8;
            std::vector<uint8_t> file = readFile(dir.file("banded"));
            if (a.type == OutputType::Png || a.type == OutputType::Png16) {
                file = readPng(file, depth, size.width, size.height);
            }
            EXPECT_TRUE(bandBytes == 0 ? (usual = file, true) : file == usual)
                << ::testing::PrintToString(options) << " bands of " << bandBytes;
        }
        ASSERT_EQ(std::get<0>(runConverter(with(kScene, with(options, {"scene"})), dir.path())), 0);
    }
    EXPECT_EQ(std::system(("compare -metric AE " + dir.file("x.bmp") + " " + dir.file("x.png") + " null: 2>" +
                           dir.file("differ")).c_str()), 0);
    EXPECT_EQ(readFile(dir.file("differ")), std::vector<uint8_t>{'0'});
}

}  // namespace
