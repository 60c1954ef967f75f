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

RECT clientRectOf(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
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

TEST_F(PanelTest, ControlsSitWhereTheLayoutPutsThemWithTheirIdentifiers)
{
    struct Expected {
        HWND control;
        RECT rect;
        int id;
        DWORD style;
    };
    const Expected expected[] = {
        {hHideButton, {455, 10, 480, 35}, kCmdHide, 0x50000000},
        {hWithEdit, {80, 10, 160, 35}, kCmdWidthEdit, 0x50830000},
        {hHeightEdit, {80, 40, 160, 65}, kCmdHeightEdit, 0x50830000},
        {hFilePathEdit, {80, 100, 480, 125}, kCmdPathEdit, 0x50830800},
        {hSelectButton, {10, 130, 90, 155}, kCmdBrowser, 0x50000000},
        {hViewButton, {105, 130, 185, 155}, kCmdView, 0x50000000},
        {hSaveButton, {200, 130, 280, 155}, kCmdSave, 0x50000000},
        {hExitButton, {295, 130, 375, 155}, kCmdExit, 0x50000000},
        {hShowControls[0], {5, 5, 485, 160}, 0, 0x50000000},
        {hShowControls[14], {170, 10, 450, 95}, 0, 0x50000000},
    };
    for (const Expected& e : expected) {
        const RECT r = clientRectOf(e.control);
        SCOPED_TRACE(textOf(e.control));
        EXPECT_EQ(r.left, e.rect.left);
        EXPECT_EQ(r.top, e.rect.top);
        EXPECT_EQ(r.right, e.rect.right);
        EXPECT_EQ(r.bottom, e.rect.bottom);
        EXPECT_EQ(GetDlgCtrlID(e.control), e.id);
        // Edit fields draw their border themselves and take WS_BORDER out of
        // the style they report.
        const auto style = static_cast<DWORD>(GetWindowLongA(e.control, GWL_STYLE));
        EXPECT_EQ(style & ~static_cast<DWORD>(WS_BORDER), e.style & ~static_cast<DWORD>(WS_BORDER));
    }
    // The list is a drop-down that cannot be typed into.
    EXPECT_EQ(GetWindowLongA(hBayerTypeCombo, GWL_STYLE) & CBS_DROPDOWNLIST, CBS_DROPDOWNLIST);
    EXPECT_EQ(GetDlgCtrlID(hBayerTypeCombo), kCmdBayerCombo);
    // ">" takes the corner that "Width:" holds while the panel is out.
    const RECT show = clientRectOf(hShowButton);
    EXPECT_EQ(show.left, 10);
    EXPECT_EQ(show.top, 10);
}

TEST_F(PanelTest, FoldingHidesThePanelAndUnfoldingBringsItBackWithItsContents)
{
    setSettings("1000", "600", 3);
    command(kCmdHide);
    EXPECT_TRUE(panelHidden());
    EXPECT_TRUE(IsWindowVisible(hShowButton));

    command(kCmdShow);
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
