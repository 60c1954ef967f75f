#include <gtest/gtest.h>
#include <libraw/libraw.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "encode/dng_writer.h"
#include "support/mosaic_samples.h"
#include "picture/picture_rows.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

namespace {

// The head, the raw rows, and the preview rows (which a converter keeps aside
// while the bands go by) at the end.
std::vector<uint8_t> buildDng(const DngDescription& d, const TestMosaic& m, const DngLayout& layout)
{
    std::vector<uint8_t> file = dngHead(d, layout);
    EXPECT_EQ(file.size(), layout.rawOffset);
    file.resize(layout.previewOffset);
    for (int32_t y = 0; y < m.height; ++y) {
        const size_t at = static_cast<size_t>(y * m.width);
        dngRawRow(&m.samples[at], m.width, &file[layout.rawOffset + 2 * at]);
    }
    const DevelopTables tables = shiftTables(m.bits, 8);
    std::vector<const uint16_t*> rows;
    for (int32_t cellRow = 0; cellRow < m.height / 2; ++cellRow) {
        if (isDngPreviewCellRow(layout, cellRow)) {
            std::vector<uint8_t> row(3 * static_cast<size_t>(layout.previewWidth));
            EXPECT_TRUE(developCellRows(d.frame, m.band(2 * cellRow, 2, &rows), tables, cellRow, 1,
                                        layout.previewStep, PixelFormat::kRgb8, row.data(), 0));
            file.insert(file.end(), row.begin(), row.end());
        }
    }
    EXPECT_EQ(file.size(), layout.fileBytes);
    return file;
}

// Frames of random samples in every pattern and several depths, written as a
// converter writes them; LibRaw reads back every sample, the pattern, the
// levels, the white balance, the orientation and the preview, and exiftool
// finds nothing to warn about and the matrix's illuminant D65. ColorMatrix1
// holds sRGB's own XYZ matrix, so the conversion from camera colours to sRGB
// LibRaw derives from it must change nothing. (LibRaw refuses frames under 22
// samples a side.) Frames the file cannot describe are refused.
TEST(DngWriterTest, LibRawReadsBackEverySample)
{
    struct Case { int32_t pattern, bits, width, height; uint16_t black; double gains[3]; int32_t previewStep; };
    const Case cases[] = {
        {1, 10, 64, 48, 0, {1, 1, 1}, 1},       {2, 12, 37, 29, 64, {2, 1, 1.5}, 1},
        {3, 16, 22, 22, 1000, {0.5, 2, 4}, 1},  {4, 8, 2100, 24, 16, {1.25, 1, 3}, 2},
        {1, 14, 23, 4200, 512, {1, 1, 1}, 3},
    };
    TempDir dir;
    uint32_t seed = 40;
    for (const Case& c : cases) {
        const char* pattern = patternName(c.pattern);
        SCOPED_TRACE(testing::Message() << pattern << " " << c.width << "x" << c.height << " bits " << c.bits);
        const TestMosaic m = randomMosaic(c.width, c.height, c.bits, seed++);
        DngDescription d{m.frame(c.pattern), c.black, {c.gains[0], c.gains[1], c.gains[2]}, "MIPI RAW10"};
        DngLayout layout;
        ASSERT_TRUE(planDng(d, &layout));
        const std::string path = dir.file(std::string("frame-") + pattern + ".dng");
        writeFile(path, buildDng(d, m, layout));

        auto raw = std::make_unique<LibRaw>();
        ASSERT_EQ(raw->open_file(path.c_str()), LIBRAW_SUCCESS);
        ASSERT_EQ(raw->unpack(), LIBRAW_SUCCESS);
        const libraw_data_t& data = raw->imgdata;
        ASSERT_TRUE(data.sizes.raw_width == c.width && data.sizes.raw_height == c.height);
        for (int32_t p = 0; p < 4; ++p) {
            EXPECT_EQ(data.idata.cdesc[raw->COLOR(p / 2, p % 2)], pattern[p]) << "cell position " << p;
        }
        EXPECT_EQ(data.sizes.flip, 0);  // top row first
        EXPECT_EQ(data.color.black, c.black);
        EXPECT_EQ(data.color.maximum, (1u << c.bits) - 1);
        for (int32_t i = 0; i < 9; ++i) {
            EXPECT_NEAR(data.color.rgb_cam[i / 3][i % 3], i % 4 == 0 ? 1 : 0, 2e-3) << "rgb_cam " << i;
        }
        for (int32_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(data.color.cam_mul[i] / data.color.cam_mul[1], c.gains[i] / c.gains[1], 1e-6);
        }
        size_t mismatches = 0;
        for (int32_t i = 0; i < c.width * c.height; ++i) {
            const size_t at = static_cast<size_t>(i / c.width) * data.sizes.raw_pitch / 2 + static_cast<size_t>(i % c.width);
            mismatches += data.rawdata.raw_image[at] != m.samples[static_cast<size_t>(i)];
        }
        EXPECT_EQ(mismatches, 0u);

        ASSERT_EQ(raw->unpack_thumb(), LIBRAW_SUCCESS);
        EXPECT_EQ(data.thumbnail.tformat, LIBRAW_THUMBNAIL_BITMAP);
        EXPECT_EQ(data.thumbnail.twidth, layout.previewWidth);
        EXPECT_EQ(data.thumbnail.theight, layout.previewHeight);
        EXPECT_EQ(std::vector<uint8_t>(data.thumbnail.thumb, data.thumbnail.thumb + data.thumbnail.tlength),
                  expectedCells(m, pattern, 8, c.previewStep));

        const std::string reportPath = path + ".txt";
        std::string command = "exiftool -validate -warning -error -a -CalibrationIlluminant1 ";
        command.append(path).append(" >").append(reportPath).append(" 2>&1");
        EXPECT_EQ(std::system(command.c_str()), 0);
        const std::vector<uint8_t> text = readFile(reportPath);
        const std::string report(text.begin(), text.end());
        EXPECT_TRUE(report.find("Validate") != std::string::npos && report.find(": OK") != std::string::npos &&
                    report.find("Warning") == std::string::npos && report.find("Error") == std::string::npos &&
                    report.find(": D65") != std::string::npos)
            << report;
    }
    DngLayout layout;  // refused: black at white, no inverse for AsShotNeutral, 8 GB
    const MosaicFrame frame{64, 48, 10, cellLayoutFor(1)};
    EXPECT_FALSE(planDng({frame, 1023, {1, 1, 1}, ""}, &layout));
    EXPECT_FALSE(planDng({frame, 0, {1, 0, 1}, ""}, &layout));
    EXPECT_FALSE(planDng({{65536, 65536, 16, cellLayoutFor(1)}, 0, {1, 1, 1}, ""}, &layout));
}

}  // namespace
