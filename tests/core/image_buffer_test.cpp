#include <gtest/gtest.h>

#include "image_buffer.h"

namespace {

class ImageBufferTest : public ::testing::Test {
protected:
    void SetUp() override { CDIBBitmap_clear(); }
    void TearDown() override { CDIBBitmap_clear(); }

    static void expectEmpty()
    {
        EXPECT_EQ(m_hDibBmp, nullptr);
        EXPECT_EQ(m_pBmpData, nullptr);
        EXPECT_EQ(m_nBmpWidth, 0);
        EXPECT_EQ(m_nBmpHeight, 0);
    }
};

TEST_F(ImageBufferTest, ClearingAnEmptyBufferIsHarmless)
{
    CDIBBitmap_clear();
    CDIBBitmap_clear();
    expectEmpty();
    // Drawing nothing does nothing, whatever the target.
    CDIBBitmap_sampleRender(nullptr, 0, 0);
    expectEmpty();
}

TEST_F(ImageBufferTest, NewPictureHasZeroRowPad)
{
    ASSERT_EQ(CDIBBitmap_create(nullptr, 501, 3, 24), 1);
    EXPECT_EQ(m_nBmpStride, 1504);
    for (int32_t row = 0; row < 3; ++row) {
        const uint8_t* pad = CDIBBitmap_topRow(row) + 3 * 501;
        EXPECT_EQ(pad[0], 0);
    }
    // The top row is the last in memory.
    EXPECT_EQ(CDIBBitmap_topRow(0), m_pBmpData + 2 * 1504);
}

TEST_F(ImageBufferTest, FailedCreateLeavesTheBufferEmpty)
{
    ASSERT_EQ(CDIBBitmap_create(nullptr, 10, 10, 24), 1);
    EXPECT_EQ(CDIBBitmap_create(nullptr, 0, 10, 24), 0);
    expectEmpty();
    ASSERT_EQ(CDIBBitmap_create(nullptr, 10, 10, 24), 1);
    EXPECT_EQ(CDIBBitmap_create(nullptr, 10, -1, 24), 0);
    expectEmpty();
    ASSERT_EQ(CDIBBitmap_create(nullptr, 10, 10, 24), 1);
    EXPECT_EQ(CDIBBitmap_create(nullptr, 10, 10, 32), 0);
    expectEmpty();
}

}  // namespace
