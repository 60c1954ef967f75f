#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control_panel.h"
#include "main_bayer.h"
#include "window_fixture.h"

namespace {

using PanelTest = WindowTest;

std::vector<std::string> listEntries(HWND list)
{
    std::vector<std::string> entries;
    const auto count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
        char text[64] = {};
        SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.emplace_back(text);
    }
    return entries;
}

bool panelShown()
{
    for (HWND control : hShowControls) {
        if (!IsWindowVisible(control)) {
            return false;
        }
    }
    return true;
}

bool panelHidden()
{
    for (HWND control : hShowControls) {
        if (IsWindowVisible(control)) {
            return false;
        }
    }
    return true;
}

TEST_F(PanelTest, MainWindowIsTheVisiblePixmoraWindowAcceptingDrops)
{
    EXPECT_EQ(textOf(hwnd_), "Pixmora");
    EXPECT_TRUE(IsWindowVisible(hwnd_));
    RECT r;
    GetWindowRect(hwnd_, &r);
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.bottom - r.top, 480);
    const LONG exStyle = GetWindowLongA(hwnd_, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(exStyle & WS_EX_ACCEPTFILES) << "drops are switched on at creation";
}

TEST_F(PanelTest, StartsUnfoldedWithEmptyFieldsAndNoPatternChosen)
{
    EXPECT_TRUE(panelShown());
    EXPECT_FALSE(IsWindowVisible(hShowButton));
    EXPECT_EQ(textOf(hWithEdit), "");
    EXPECT_EQ(textOf(hHeightEdit), "");
    EXPECT_EQ(textOf(hFilePathEdit), "");
    EXPECT_EQ(listEntries(hBayerTypeCombo),
              (std::vector<std::string>{"Select...", "RGGB", "GRBG", "BGGR", "GBRG"}));
    EXPECT_EQ(SendMessageA(hBayerTypeCombo, CB_GETCURSEL, 0, 0), 0);

    EXPECT_EQ(textOf(hHideButton), "<");
    EXPECT_EQ(textOf(hShowButton), ">");
    EXPECT_EQ(textOf(hSelectButton), "Browser");
    EXPECT_EQ(textOf(hViewButton), "View");
    EXPECT_EQ(textOf(hSaveButton), "Save");
    EXPECT_EQ(textOf(hExitButton), "Exit");
    EXPECT_EQ(textOf(hShowControls[2]), "Width:");
    EXPECT_EQ(textOf(hShowControls[4]), "Height:");
    EXPECT_EQ(textOf(hShowControls[6]), "Type:");
    EXPECT_EQ(textOf(hShowControls[8]), "File:");
    const std::string info = textOf(hShowControls[14]);
    EXPECT_EQ(info.rfind("This ver. only fit Qualcomm\n10 bit packed data.\nAuthors:", 0), 0u) << info;
    EXPECT_NE(info.find(" E-mail:"), std::string::npos) << info;
    EXPECT_NE(info.back(), '\n');
}

TEST_F(PanelTest, FoldingHidesThePanelAndUnfoldingBringsItBackWithItsContents)
{
    setSettings("1000", "600", 3);
    click(hHideButton);
    EXPECT_TRUE(panelHidden());
    EXPECT_TRUE(IsWindowVisible(hShowButton));

    click(hShowButton);
    EXPECT_TRUE(panelShown());
    EXPECT_FALSE(IsWindowVisible(hShowButton));
    EXPECT_EQ(textOf(hWithEdit), "1000");
    EXPECT_EQ(textOf(hHeightEdit), "600");
    EXPECT_EQ(SendMessageA(hBayerTypeCombo, CB_GETCURSEL, 0, 0), 3);
}

TEST_F(PanelTest, PathFieldCannotBeTypedInto)
{
    SendMessageA(hFilePathEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("C:\\a.raw"));
    SetFocus(hFilePathEdit);
    SendMessageA(hFilePathEdit, WM_CHAR, 'x', 0);
    SendMessageA(hFilePathEdit, WM_CHAR, VK_BACK, 0);
    EXPECT_EQ(textOf(hFilePathEdit), "C:\\a.raw");

    // The width field, by contrast, takes typing.
    SetFocus(hWithEdit);
    SendMessageA(hWithEdit, WM_CHAR, '7', 0);
    EXPECT_EQ(textOf(hWithEdit), "7");
}

}  // namespace
