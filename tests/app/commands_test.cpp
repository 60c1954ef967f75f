#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bmp_writer.h"
#include "control_panel.h"
#include "conversion_settings.h"
#include "image_buffer.h"
#include "main_bayer.h"
#include "raw_builder.h"
#include "temp_dir.h"
#include "window_fixture.h"

namespace {

using CommandsTest = WindowTest;

// A guard against a loop that never ends: a quit code no handler uses.
constexpr int kLoopStuck = 99;

void CALLBACK quitStuckLoop(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    PostQuitMessage(kLoopStuck);
}

int runLoopWithGuard()
{
    const UINT_PTR guard = SetTimer(nullptr, 0, 5000, quitStuckLoop);
    const int code = runMessageLoop();
    KillTimer(nullptr, guard);
    return code;
}

class ViewTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        raw_ = dir_.file("chart.raw");
        writeChart(raw_);
    }

    // Drops the chart with valid settings: the picture every later step starts from.
    void loadChart()
    {
        setSettings("1000", "600", kRggb);
        drop({windowsPath(raw_)});
        ASSERT_NE(m_hDibBmp, nullptr);
    }

    TempDir dir_;
    std::string raw_;
};

TEST_F(ViewTest, RefusedSettingsShowTheSettingsTextAndLoadNothing)
{
    std::strcpy(szFile, raw_.c_str());
    struct Refused {
        const char* width;
        const char* height;
        int pattern;
    };
    const Refused refused[] = {
        {"640", "600", kRggb}, {"7400", "600", kRggb}, {"1000", "480", kRggb},
        {"1000", "5000", kRggb}, {"1000", "600", 0},
    };
    for (const Refused& r : refused) {
        setSettings(r.width, r.height, r.pattern);
        click(hViewButton);
        const std::vector<ShownBox> shown = takeBoxes();
        ASSERT_EQ(shown.size(), 1u) << r.width << " x " << r.height << " pattern " << r.pattern;
        EXPECT_EQ(shown[0].caption, "Error Hint");
        EXPECT_EQ(shown[0].text, kSettingsErrorText);
    }
    // Valid settings without a file are refused the same way.
    szFile[0] = '\0';
    setSettings("1000", "600", kRggb);
    click(hViewButton);
    const std::vector<ShownBox> shown = takeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, kSettingsErrorText);
    EXPECT_EQ(m_hDibBmp, nullptr);
}

TEST_F(ViewTest, ViewConvertsTheChosenFile)
{
    std::strcpy(szFile, raw_.c_str());
    setSettings("1000", "600", kRggb);
    click(hViewButton);
    EXPECT_TRUE(takeBoxes().empty());
    ASSERT_NE(m_hDibBmp, nullptr);
    EXPECT_EQ(m_nBmpWidth, kChartPictureWidth);
    EXPECT_EQ(m_nBmpHeight, kChartPictureHeight);
    // Top-left pixel of the picture is the chart's; rows are bottom-up.
    const uint8_t* top = CDIBBitmap_topRow(0);
    EXPECT_EQ((ChartColour{top[2], top[1], top[0]}),
              testChartColour(0, 0, kChartPictureWidth, kChartPictureHeight));
}

TEST_F(ViewTest, SaveWritesTheCoresBmpNextToTheRawFile)
{
    loadChart();
    click(hSaveButton);
    const std::string reference = dir_.file("reference.bmp");
    ASSERT_EQ(CDIBBitmap_save(reference.c_str()), 1);
    const std::vector<uint8_t> saved = readFile(dir_.file("chart.bmp"));
    EXPECT_EQ(saved.size(), 54u + 1504u * 300u);
    EXPECT_TRUE(saved == readFile(reference));
    EXPECT_TRUE(takeBoxes().empty());
}

TEST_F(ViewTest, SaveAfterARefusedViewStillWritesThePictureAtItsOwnSize)
{
    loadChart();
    // The refused View rewrites the settings to a smaller geometry.
    setSettings("700", "500", 0);
    click(hViewButton);
    ASSERT_EQ(takeBoxes().size(), 1u);
    click(hSaveButton);
    const std::vector<uint8_t> saved = readFile(dir_.file("chart.bmp"));
    EXPECT_EQ(saved.size(), 54u + 1504u * 300u);
}

TEST_F(ViewTest, SaveNeverOverwritesARawFileWhoseNameEndsInBmp)
{
    const std::string rawNamedBmp = dir_.file("chart.bmp");
    writeChart(rawNamedBmp);
    const std::vector<uint8_t> before = readFile(rawNamedBmp);
    setSettings("1000", "600", kRggb);
    drop({windowsPath(rawNamedBmp)});
    ASSERT_NE(m_hDibBmp, nullptr);
    click(hSaveButton);
    EXPECT_TRUE(readFile(rawNamedBmp) == before);
}

TEST_F(ViewTest, SaveBeforeAnyFileWritesNothing)
{
    // A held picture but an empty path, as after a cancelled Browser.
    loadChart();
    szFile[0] = '\0';
    // A name made from nothing would land in the current folder.
    const std::filesystem::path previous = std::filesystem::current_path();
    TempDir empty;
    std::filesystem::current_path(empty.path());
    click(hSaveButton);
    std::filesystem::current_path(previous);
    EXPECT_TRUE(std::filesystem::is_empty(empty.path()));
}

TEST_F(ViewTest, BrowserFillsThePathWithoutConverting)
{
    dialogPlan = {true, windowsPath(raw_)};
    click(hSelectButton);
    EXPECT_EQ(dialogsSeen, 1);
    EXPECT_EQ(dialogFileType, "Raw File");
    EXPECT_STREQ(szFile, windowsPath(raw_).c_str());
    EXPECT_EQ(textOf(hFilePathEdit), windowsPath(raw_));
    EXPECT_EQ(m_hDibBmp, nullptr);
}

TEST_F(ViewTest, CancelledBrowserKeepsTheFieldButEmptiesThePath)
{
    dialogPlan = {true, windowsPath(raw_)};
    click(hSelectButton);
    ASSERT_EQ(textOf(hFilePathEdit), windowsPath(raw_));

    dialogPlan = {false, ""};
    click(hSelectButton);
    EXPECT_EQ(dialogsSeen, 2);
    EXPECT_STREQ(szFile, "");
    EXPECT_EQ(textOf(hFilePathEdit), windowsPath(raw_));

    setSettings("1000", "600", kRggb);
    click(hViewButton);
    const std::vector<ShownBox> shown = takeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, kSettingsErrorText);
}

TEST_F(CommandsTest, ExitEndsTheLoopWithZeroWithoutDestroyingTheWindow)
{
    // Messages queued before Exit are still dispatched by the loop.
    PostMessageA(hHideButton, BM_CLICK, 0, 0);
    PostMessageA(hExitButton, BM_CLICK, 0, 0);
    EXPECT_EQ(runLoopWithGuard(), 0);
    EXPECT_TRUE(IsWindowVisible(hShowButton));
    EXPECT_TRUE(IsWindow(hwnd_));
    EXPECT_FALSE(GetWindowLongA(hwnd_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(CommandsTest, ClosingTheWindowEndsTheLoopWithZero)
{
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    EXPECT_EQ(runLoopWithGuard(), 0);
    EXPECT_FALSE(IsWindow(hwnd_));
}

}  // namespace
