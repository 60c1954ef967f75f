#include <gtest/gtest.h>

#include "support/mosaic_samples.h"
#include "picture/picture_rows.h"
#include "platform/vector_paths.h"

namespace {

// Cell pictures through develop tables (black, a gain a colour, the curve) at
// every depth, pattern and format, on the vector and scalar paths: each pixel
// must be its colours' table entries, green's at the truncated mean of the two
// green samples. Widths cover no vector step, one, several and every tail;
// rows are written bottom-up with a gap between them, which must stay as it
// was. Samples at or above 2^bits (outside the input's contract) must give the
// same bytes on both paths.
TEST(DevelopKernelTest, TablesCellsOnBothPathsAreTheTablesEntries)
{
    const PixelFormat formats[] = {PixelFormat::kRgb8, PixelFormat::kBgr8, PixelFormat::kRgb16BigEndian};
    const int32_t widths[] = {2, 17, 18, 34, 35, 36, 67, 101};
    constexpr int32_t kHeight = 6;
    constexpr int32_t kGap = 5;
    uint32_t seed = 7;
    for (int32_t bits = kMinSampleBits; bits <= kMaxSampleBits; ++bits) {
        for (const PixelFormat format : formats) {
            DevelopTables tables;
            ASSERT_TRUE(buildDevelopTables({bits, static_cast<uint16_t>(bits * 3), {1.7, 0.9, 2.3}, bits % 2 == 0},
                                           formatBits(format), &tables));
            for (int32_t pattern = 1; pattern <= 4; ++pattern) {
                for (const int32_t width : widths) {
                    SCOPED_TRACE(testing::Message() << "bits " << bits << " format " << static_cast<int>(format)
                                                    << " pattern " << pattern << " width " << width);
                    TestMosaic m = randomMosaic(width, kHeight, bits, seed++);
                    const MosaicFrame frame = m.frame(pattern);
                    const int32_t pixels = cellPictureWidth(frame);
                    const int64_t stride = int64_t{pixels} * pixelBytes(format) + kGap;
                    const auto rowsBytes = static_cast<size_t>(stride * cellPictureHeight(frame));
                    std::vector<const uint16_t*> rows;
                    const auto develop = [&](bool vector) {
                        std::vector<uint8_t> out(rowsBytes, 0xA5);
                        setVectorPathsEnabled(vector);
                        EXPECT_TRUE(developCellRows(frame, m.band(0, kHeight, &rows), tables, 0, kHeight / 2, 1,
                                                    format, out.data() + rowsBytes - stride, -stride));
                        setVectorPathsEnabled(true);
                        return out;
                    };
                    std::vector<uint8_t> expected;
                    const CellLayout& cell = frame.cell;
                    for (int32_t j = kHeight / 2 - 1; j >= 0; --j) {
                        for (int32_t i = 0; i < pixels; ++i) {
                            const auto at = [&](int32_t p) { return m.at(2 * i + p % 2, 2 * j + p / 2); };
                            uint32_t v[3] = {tables.colour[kRed][at(cell.red)],
                                             tables.colour[kGreen][(at(cell.green1) + at(cell.green2)) / 2u],
                                             tables.colour[kBlue][at(cell.blue)]};
                            if (format == PixelFormat::kBgr8) {
                                std::swap(v[0], v[2]);
                            }
                            for (const uint32_t value : v) {
                                putValue(&expected, value, formatBits(format));
                            }
                        }
                        expected.insert(expected.end(), kGap, 0xA5);
                    }
                    EXPECT_EQ(develop(true), expected);
                    EXPECT_EQ(develop(false), expected);
                    for (size_t s = 0; s < m.samples.size(); s += 3) {
                        m.samples[s] = static_cast<uint16_t>(m.samples[s] | 0xFF00u);
                    }
                    EXPECT_EQ(develop(true), develop(false));
                }
            }
        }
    }
}

}  // namespace
