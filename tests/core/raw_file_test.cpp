#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bayer_pattern.h"
#include "conversion_settings.h"
#include "image_buffer.h"
#include "memory_cap.h"
#include "raw_builder.h"
#include "raw_file.h"
#include "temp_dir.h"

namespace {

class RawFileTest : public ::testing::Test {
protected:
    void SetUp() override { CDIBBitmap_clear(); }
    void TearDown() override { CDIBBitmap_clear(); }

    static void settings(int32_t width, int32_t height, int32_t pattern)
    {
        m_nWidth = width;
        m_nHeight = height;
        m_nBayerType = pattern;
        updateBayerType();
    }

    static std::vector<uint8_t> held()
    {
        if (m_pBmpData == nullptr) {
            return {};
        }
        return {m_pBmpData, m_pBmpData + m_nBmpStride * m_nBmpHeight};
    }

    TempDir dir;
};

// The panel's example geometry, and an odd height whose unpaired last row is
// not decoded but must still be in the file; bytes past the end are ignored.
TEST_F(RawFileTest, LoadsWholeRowPairsIgnoringExtraBytes)
{
    const struct {
        int32_t width, height, pattern, pictureWidth, pictureHeight, stride;
    } rows[] = {{1000, 600, 1, 501, 300, 1504}, {642, 481, 3, 321, 240, 964}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        const RawFrame frame = randomFrame(row.width, row.height, static_cast<uint32_t>(row.height));
        const std::vector<uint8_t> packed = packFrame(frame);
        std::vector<uint8_t> longer = packed;
        longer.insert(longer.end(), 1000, 0x5A);
        const std::string path = dir.file("frame.raw");
        writeFile(path, longer);
        settings(row.width, row.height, row.pattern);
        ASSERT_EQ(CDIBBitmap_load(nullptr, path.c_str()), 1);
        EXPECT_EQ(m_nBmpWidth, row.pictureWidth);
        EXPECT_EQ(m_nBmpHeight, row.pictureHeight);
        EXPECT_EQ(m_nBmpStride, row.stride);
        EXPECT_EQ(held(), expectedPicture(frame, bayerItems[row.pattern]));

        writeFile(path, std::vector<uint8_t>(packed.begin(), packed.end() - 1));
        EXPECT_EQ(CDIBBitmap_load(nullptr, path.c_str()), 0);
    }
}

TEST_F(RawFileTest, FailuresBeforeTheNewPictureKeepTheOldOne)
{
    const RawFrame frame = randomFrame(700, 500, 13);
    const std::vector<uint8_t> packed = packFrame(frame);
    const std::string good = dir.file("good.raw");
    writeFile(good, packed);
    settings(700, 500, 2);
    ASSERT_EQ(CDIBBitmap_load(nullptr, good.c_str()), 1);
    const std::vector<uint8_t> picture = held();

    const std::string shortByOne = dir.file("short.raw");
    writeFile(shortByOne, std::vector<uint8_t>(packed.begin(), packed.end() - 1));
    const std::string empty = dir.file("empty.raw");
    writeFile(empty, {});
    for (const std::string& path : {shortByOne, empty, dir.file("missing.raw"), dir.path()}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(CDIBBitmap_load(nullptr, path.c_str()), 0);
        EXPECT_EQ(held(), picture);
    }
    // Settings that give no picture fail before touching the file or the buffer.
    settings(0, 500, 2);
    EXPECT_EQ(CDIBBitmap_load(nullptr, good.c_str()), 0);
    EXPECT_EQ(held(), picture);
}

}  // namespace

#if defined(PIXMORA_HAVE_MEMORY_CAP)
namespace {

// The largest panel geometry needs 49 MB of input: with the address space
// capped below that, the load must fail cleanly, keeping the old picture.
TEST_F(RawFileTest, AllocationFailureForTheLargestGeometryIsReported)
{
    const std::string small = dir.file("small.raw");
    writeFile(small, packFrame(randomFrame(700, 500, 15)));
    const std::string large = dir.file("large.raw");
    ASSERT_TRUE(makeSparseFile(large, rawGeometry(7399, 4999).inputBytes));
    settings(700, 500, 1);
    ASSERT_EQ(CDIBBitmap_load(nullptr, small.c_str()), 1);

    const int status = exitStatusUnderMemoryCap(16u << 20, [&] {
        settings(7399, 4999, 1);
        const int loaded = CDIBBitmap_load(nullptr, large.c_str());
        return loaded == 0 && m_nBmpWidth == 351 && m_nBmpHeight == 250 ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << (status < 0 ? "the load crashed" : "the load did not fail cleanly");
}

}  // namespace
#endif
