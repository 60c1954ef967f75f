#include <gtest/gtest.h>

#include <string>

#include "control_panel.h"
#include "image_buffer.h"
#include "main_bayer.h"
#include "temp_dir.h"
#include "window_fixture.h"

namespace {

// Points of the picture in the bars, the ramp and the detail, all clear of the
// ">" button in the folded panel's corner.
const POINT kProbes[] = {{60, 40}, {300, 100}, {450, 20}, {200, 190}, {120, 250}, {401, 280}};

class PictureViewTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        const std::string raw = windowsPath(dir_.file("chart.raw"));
        writeChart(raw);
        setSettings("1000", "600", kRggb);
        drop({raw});
        ASSERT_NE(m_hDibBmp, nullptr);
        click(hHideButton);
    }

    // Every probe of the picture shows the chart at the draw offset.
    void expectChartAt(int32_t x, int32_t y)
    {
        paintNow();
        for (const POINT& p : kProbes) {
            EXPECT_EQ(pixelAt(x + p.x, y + p.y),
                      testChartColour(p.x, p.y, kChartPictureWidth, kChartPictureHeight))
                << "picture point " << p.x << ", " << p.y << " drawn at " << x << ", " << y;
        }
    }

    ChartColour background()
    {
        const COLORREF c = GetSysColor(COLOR_WINDOW);
        return {GetRValue(c), GetGValue(c), GetBValue(c)};
    }

    void mouse(UINT msg, int x, int y)
    {
        SendMessageA(hwnd_, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
    }

    TempDir dir_;
};

TEST_F(PictureViewTest, PictureIsDrawnUnscaledAtTheDrawOffset)
{
    expectChartAt(0, 0);
    // Just past its right edge the window's background shows.
    EXPECT_EQ(pixelAt(kChartPictureWidth + 2, 100), background());
}

TEST_F(PictureViewTest, DraggingMovesThePictureWithTheCursor)
{
    mouse(WM_LBUTTONDOWN, 200, 200);
    mouse(WM_MOUSEMOVE, 230, 210);
    mouse(WM_MOUSEMOVE, 250, 220);
    EXPECT_EQ(x_draw, 50);
    EXPECT_EQ(y_draw, 20);
    expectChartAt(50, 20);
    EXPECT_EQ(pixelAt(20, 100), background());

    // After release the mouse moves nothing; the next drag starts from here.
    mouse(WM_LBUTTONUP, 250, 220);
    mouse(WM_MOUSEMOVE, 10, 10);
    EXPECT_EQ(x_draw, 50);
    EXPECT_EQ(y_draw, 20);
    mouse(WM_LBUTTONDOWN, 100, 100);
    mouse(WM_MOUSEMOVE, 90, 95);
    EXPECT_EQ(x_draw, 40);
    EXPECT_EQ(y_draw, 15);
}

TEST_F(PictureViewTest, CursorHalvesAreReadAsUnsignedNumbers)
{
    mouse(WM_LBUTTONDOWN, 10, 20);
    // 0xFFF6 is 65526 and 0xFFEC 65516, not -10 and -20.
    SendMessageA(hwnd_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0xFFF6, 0xFFEC));
    EXPECT_EQ(x_draw, 65526 - 10);
    EXPECT_EQ(y_draw, 65516 - 20);
}

TEST_F(PictureViewTest, ANewPictureKeepsTheDrawOffset)
{
    mouse(WM_LBUTTONDOWN, 0, 0);
    mouse(WM_MOUSEMOVE, 30, 40);
    mouse(WM_LBUTTONUP, 30, 40);
    drop({std::string(szFile)});
    ASSERT_TRUE(takeBoxes().empty());
    expectChartAt(30, 40);
}

TEST_F(PictureViewTest, DrawingAfterARefusedViewKeepsThePictureWhole)
{
    // The refused View shrinks the settings; the picture still draws in full.
    setSettings("642", "482", 0);
    click(hViewButton);
    ASSERT_EQ(takeBoxes().size(), 1u);
    InvalidateRect(hwnd_, nullptr, TRUE);
    expectChartAt(0, 0);
}

}  // namespace
