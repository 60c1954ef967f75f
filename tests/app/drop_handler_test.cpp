#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
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

// A real file whose full name has `length` characters; each part of it stays
// short enough for the file system.
std::string rawNameOfLength(const std::string& folder, size_t length)
{
    std::string name = folder;
    while (length - name.size() > 120) {
        name += "\\" + std::string(100, 'd');
        std::filesystem::create_directory(name);
    }
    name += "\\" + std::string(length - name.size() - 5, 'n') + ".raw";
    writeFile(name, buildTestChartRaw(kChartWidth, kChartHeight, kRggb));
    return name;
}

TEST_F(DropTest, NamesFittingThePathBufferLoadAndLongerOnesAreCutToIt)
{
    struct Row {
        size_t length;
        bool loads;
    };
    // 259 characters and the terminator fill the buffer; a longer name keeps
    // its first 259, which name no file here.
    for (const Row row : {Row{259, true}, Row{260, false}, Row{300, false}}) {
        SCOPED_TRACE(row.length);
        CDIBBitmap_clear();
        const std::string name = rawNameOfLength(windowsPath(dir_.path()), row.length);
        const std::string kept = name.substr(0, kPathChars - 1);
        setSettings("1000", "600", kRggb);
        drop({name});
        EXPECT_EQ(std::strlen(szFile), kept.size());
        EXPECT_EQ(std::string(szFile), kept);
        EXPECT_EQ(textOf(hFilePathEdit), kept);
        const std::vector<ShownBox> shown = takeBoxes();
        if (!row.loads) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].text, "Load Error!Please check [width 1000] [height 600]\n[Type RGGB] is correct.");
            EXPECT_EQ(m_hDibBmp, nullptr);
            continue;
        }
        EXPECT_TRUE(shown.empty());
        ASSERT_NE(m_hDibBmp, nullptr);
        click(hSaveButton);
        EXPECT_EQ(readFile(name.substr(0, name.size() - 3) + "bmp").size(), 54u + 1504u * 300u);
    }
}

}  // namespace
