#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "control_panel.h"
#include "image_buffer.h"
#include "main_bayer.h"
#include "raw_builder.h"
#include "temp_dir.h"
#include "window_fixture.h"

namespace {

class DropTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        raw_ = windowsPath(dir_.file("chart.raw"));
        writeChart(raw_);
    }

    TempDir dir_;
    std::string raw_;
};

TEST_F(DropTest, DroppedFileIsConvertedAtOnceAndDrawn)
{
    setSettings("1000", "600", kRggb);
    drop({raw_});
    EXPECT_TRUE(takeBoxes().empty());
    EXPECT_STREQ(szFile, raw_.c_str());
    EXPECT_EQ(textOf(hFilePathEdit), raw_);
    ASSERT_NE(m_hDibBmp, nullptr);
    click(hHideButton);
    paintNow();
    EXPECT_EQ(pixelAt(100, 60), testChartColour(100, 60, kChartPictureWidth, kChartPictureHeight));
}

TEST_F(DropTest, DropWithNoPatternChosenOnlyFillsThePath)
{
    setSettings("1000", "600", 0);
    drop({raw_});
    EXPECT_TRUE(takeBoxes().empty());
    EXPECT_EQ(textOf(hFilePathEdit), raw_);
    EXPECT_EQ(m_hDibBmp, nullptr);
}

TEST_F(DropTest, TwoFilesKeepThePreviousPathAndReloadIt)
{
    setSettings("1000", "600", kRggb);
    drop({raw_});
    ASSERT_NE(m_hDibBmp, nullptr);
    // A changed pattern shows the reload really happened.
    setSettings("1000", "600", 3);
    const std::string other = windowsPath(dir_.file("other.raw"));
    drop({other, other});
    EXPECT_TRUE(takeBoxes().empty());
    EXPECT_STREQ(szFile, raw_.c_str());
    EXPECT_EQ(textOf(hFilePathEdit), raw_);
    // Under BGGR the chart's white bar stays white but its red bar turns blue.
    const int redBar = 5 * kChartPictureWidth / 8 + 2;
    const uint8_t* top = CDIBBitmap_topRow(0);
    EXPECT_EQ((ChartColour{top[3 * redBar + 2], top[3 * redBar + 1], top[3 * redBar]}),
              (ChartColour{0, 0, 255}));
}

TEST_F(DropTest, FailedLoadShowsTheLoadTextAndKeepsThePicture)
{
    setSettings("1000", "600", kRggb);
    drop({raw_});
    const ImageHandle before = m_hDibBmp;
    ASSERT_NE(before, nullptr);

    setSettings("1000", "602", 2);  // the file is two rows short of this
    drop({raw_});
    const std::vector<ShownBox> shown = takeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Error Hint");
    EXPECT_EQ(shown[0].text, "Load Error!Please check [width 1000] [height 602]\n[Type GRBG] is correct.");
    EXPECT_EQ(m_hDibBmp, before);
}

TEST_F(DropTest, OverlongNameIsCutToThePathBuffer)
{
    // Guard bytes after the buffer would change if the name ran past it.
    const std::string longName = "C:\\" + std::string(320, 'n') + ".raw";
    setSettings("1000", "600", kRggb);
    drop({longName});
    EXPECT_EQ(std::strlen(szFile), static_cast<size_t>(kPathChars - 1));
    EXPECT_EQ(std::string(szFile), longName.substr(0, kPathChars - 1));
    EXPECT_EQ(textOf(hFilePathEdit), longName.substr(0, kPathChars - 1));
    const std::vector<ShownBox> shown = takeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Load Error!Please check [width 1000] [height 600]\n[Type RGGB] is correct.");
}

}  // namespace
