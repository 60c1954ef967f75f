// Every layout through the converter as scripts run it: padded rows, a
// header, several frames and settings from bracketed names. Expected BMPs
// are built here from the known samples.
#include <gtest/gtest.h>

#include "converter_run.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

namespace {

// Odd widths leave a column unused and widths off the group leave a part
// group; odd heights an unpaired row. Rows padded, a header, and three frames,
// every one converted, on both threads' worth of bands.
TEST(Layouts, EveryFrameOfEveryLayoutGivesItsSamplesPicture)
{
    const LayoutDump dumps[] = {
        {RawLayout::Mipi10, 13, 7, 24, 5, 9, 3},   {RawLayout::Mipi12, 11, 5, 18, 0, 5, 3},
        {RawLayout::Mipi14, 18, 9, 35, 3, 10, 3},  {RawLayout::Plain10, 9, 6, 18, 1, 6, 3},
        {RawLayout::Plain12, 10, 4, 22, 2, 7, 3},  {RawLayout::Plain14, 7, 5, 14, 0, 5, 3},
        {RawLayout::Plain16, 12, 6, 30, 8, 6, 3},  {RawLayout::Raw8, 15, 11, 16, 6, 12, 3},
        {RawLayout::Mipi10, 2000, 3000, 2504, 0, 3000, 1},  // several bands on several threads
    };
    TempDir dir;
    const auto text = [](int64_t n) { return std::to_string(n); };
    for (const LayoutDump& d : dumps) {
        const std::string layout = layoutName(d.layout), name = layout + text(d.width);
        const std::vector<TestMosaic> frames = writeLayoutDump(dir.file(name + ".dump"), d, static_cast<uint32_t>(d.width));
        ASSERT_EQ(runConverter({"--layout", layout, "--width", text(d.width), "--height", text(d.height), "--stride",
                                text(d.stride), "--offset", text(d.offset), "--scanlines", text(d.scanlines), "--pattern",
                                "GBRG", "--frame", "all", "-q", name + ".dump"}, dir.path()),
                  (ConverterRun{0, "", ""}));
        for (int32_t f = 0; f <= d.frames; ++f) {
            const std::string output = dir.file(name + "-000" + text(f) + ".bmp");
            EXPECT_EQ(readFile(output), f < d.frames ? expectedBmp(frames[static_cast<size_t>(f)], "GBRG") : std::vector<uint8_t>{}) << output;
        }
    }
}

// A capture stack's name gives everything; --dry-run says so and writes
// nothing; the frame after the last is refused with the sizes.
TEST(Layouts, BracketedNamesGiveTheSettingsAndDryRunTellsTheirSources)
{
    const std::string name = "IMG_w[16]_h[6]_stride[30]_scanline[8]_bggr.RAWMIPI14";
    TempDir dir;
    const std::vector<TestMosaic> frames = writeLayoutDump(dir.file(name), {RawLayout::Mipi14, 16, 6, 30, 0, 8, 2}, 5);
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
    EXPECT_EQ(readFile(dir.file(bmp)), expectedBmp(frames[1], "BGGR"));
    EXPECT_EQ(runConverter({"--frame", "2", name}, dir.path()),
              (ConverterRun{1, "", failed(name, "too short (has 480 bytes; 16 x 6 mipi14, frame 2, needs 658)")}));
}

}  // namespace
