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
    const int32_t widths[] = {2, 17, 18, 34, 35, 36, 62, 67, 101};
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

// Every sample value as each colour of a cell: each pixel must be the
// tables' entries. The vector path takes the tables as integer steps where
// the steps give every entry, checked when the tables are built; so this holds
// the vector kernel to that check for every value. A black of 77 with a gain
// of 2.2 rounds some halves up and others down, which no step does: tables.
TEST(DevelopKernelTest, LinearStepsOnEveryValueAreTheTablesEntries)
{
    struct Case { DevelopSettings settings; bool linear; };
    const Case cases[] = {{{10, 49, {1, 1, 1}, false}, true},         {{10, 64, {2, 1, 1.5}, false}, true},
                          {{10, 77, {2.2, 1, 2.2}, false}, false},    {{12, 256, {2.5, 1, 0.6}, false}, true},
                          {{14, 1024, {1.9, 1, 1.4}, false}, true},   {{16, 4096, {1.9, 1, 1.4}, false}, true},
                          {{16, 100, {0.7, 2.2, 1.3}, false}, true}};
    for (const auto& [s, linear] : cases) {
        DevelopTables tables;
        ASSERT_TRUE(buildDevelopTables(s, 8, &tables));
        EXPECT_EQ(tables.linear, linear) << s.bits << " " << s.black;
        // Cells of one value each, kMaxMosaicDimension / 2 to a row pair.
        constexpr int32_t kCells = kMaxMosaicDimension / 2;
        const int32_t values = 1 << s.bits;
        const int32_t height = 2 * ((values + kCells - 1) / kCells);
        TestMosaic m{2 * std::min(values, kCells), height, s.bits, {}};
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < m.width; ++x) {
                m.samples.push_back(static_cast<uint16_t>((y / 2 * kCells + x / 2) % values));
            }
        }
        std::vector<const uint16_t*> rows;
        std::vector<uint8_t> out(static_cast<size_t>(values) * 3), expected;
        EXPECT_TRUE(developCellRows(m.frame(1), m.band(0, height, &rows), tables, 0, height / 2, 1, PixelFormat::kRgb8,
                                    out.data(), int64_t{m.width} / 2 * 3));
        for (int32_t v = 0; v < values; ++v) {
            for (const Colour c : {kRed, kGreen, kBlue}) {
                expected.push_back(static_cast<uint8_t>(tables.colour[c][static_cast<size_t>(v)]));
            }
        }
        EXPECT_EQ(out, expected) << s.bits << " " << s.black;
    }
}

}  // namespace
