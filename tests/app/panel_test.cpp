// The panel as it starts and folds, how the settings check reads its fields,
// and how the program starts and ends.

#include "conversion_settings.h"
#include "settings_check.h"
#include "window_fixture.h"

namespace {

using PanelTest = WindowTest;

bool panelVisible(bool visible)
{
    for (HWND control : hShowControls) {
        if (IsWindowVisible(control) != visible) {
            return false;
        }
    }
    return IsWindowVisible(hShowButton) != visible;
}

TEST_F(PanelTest, StartsUnfoldedWithItsTextsAndNoPatternChosen)
{
    const std::pair<HWND, const char*> texts[] = {
        {hHideButton, "<"},         {hShowButton, ">"},        {hSelectButton, "Browser"},
        {hViewButton, "View"},      {hSaveButton, "Save"},     {hExitButton, "Exit"},
        {hShowControls[2], "Width:"}, {hShowControls[4], "Height:"}, {hShowControls[6], "Type:"},
        {hShowControls[8], "File:"},  {hFilePathEdit, ""},
    };
    for (const auto& [control, text] : texts) {
        EXPECT_EQ(textOf(control), text);
    }
    std::vector<std::string> entries;
    for (int i = 0; i < SendMessageA(hBayerTypeCombo, CB_GETCOUNT, 0, 0); ++i) {
        char text[64] = {};
        SendMessageA(hBayerTypeCombo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        entries.emplace_back(text);
    }
    EXPECT_EQ(entries, (std::vector<std::string>{"Select...", "RGGB", "GRBG", "BGGR", "GBRG"}));
    EXPECT_EQ(SendMessageA(hBayerTypeCombo, CB_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(panelVisible(true)) << "unfolded, with \">\" hidden";

    // Only Browser and drops set the path: typing into it changes nothing.
    SetWindowTextA(hFilePathEdit, "C:\\a.raw");
    SendMessageA(hFilePathEdit, WM_CHAR, 'x', 0);
    SendMessageA(hFilePathEdit, WM_CHAR, VK_BACK, 0);
    EXPECT_EQ(textOf(hFilePathEdit), "C:\\a.raw");
}

TEST_F(PanelTest, FoldsWithLessThanAndUnfoldsWithGreaterThan)
{
    click(hHideButton);
    EXPECT_TRUE(panelVisible(false));
    click(hShowButton);
    EXPECT_TRUE(panelVisible(true));
}

TEST_F(PanelTest, ReadsFieldsByTheCRuleAndAcceptsOnlySettingsInsideTheBounds)
{
    struct Row {
        const char *width, *height;
        int pattern;
        int32_t readWidth, readHeight;
        int accepted;
    };
    const Row rows[] = {
        // Leading blanks are skipped and trailing letters end the number.
        {" 1000abc", "  600px", 2, 1000, 600, 1},
        // "1" and nine zeros: only the first nine characters count.
        {"1000000000", "600", 2, 100000000, 600, 0},
        // The bounds are exclusive.
        {"640", "481", 2, 640, 481, 0},   {"641", "481", 2, 641, 481, 1},
        {"7399", "4999", 2, 7399, 4999, 1}, {"7400", "4999", 2, 7400, 4999, 0},
        {"641", "480", 2, 641, 480, 0},   {"641", "5000", 2, 641, 5000, 0},
        // No entry selected at all is refused like "Select...".
        {"1000", "600", -1, 1000, 600, 0},
    };
    std::strcpy(szFile, "C:\\x.raw");
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.width) + " x " + row.height);
        setSettings(row.width, row.height, row.pattern);
        EXPECT_EQ(checkConfig(), row.accepted);
        EXPECT_EQ(m_nWidth, row.readWidth);
        EXPECT_EQ(m_nHeight, row.readHeight);
        EXPECT_EQ(m_nBayerType, row.pattern);
    }
    // The load text then names no pattern rather than reading past the list.
    update_error_infor();
    EXPECT_EQ(std::string(error_infor), loadErrorText("1000", "600", "Select..."));
}

TEST_F(PanelTest, ExitAndClosingTheWindowEndTheLoopWithZero)
{
    for (const bool viaExit : {true, false}) {
        SCOPED_TRACE(viaExit ? "Exit" : "close");
        PostMessageA(viaExit ? hExitButton : hwnd_, viaExit ? BM_CLICK : WM_CLOSE, 0, 0);
        // A guard against a loop that never ends: a quit code no handler uses.
        const UINT_PTR guard = SetTimer(nullptr, 0, 5000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(99); });
        EXPECT_EQ(runMessageLoop(), 0);
        KillTimer(nullptr, guard);
        // Exit leaves the window for the process end to take; closing destroys it.
        EXPECT_EQ(IsWindow(hwnd_) != FALSE, viaExit);
    }
}

TEST_F(PanelTest, StartUpFailuresAreReportedAndEndWithZero)
{
    char commandLine[] = "";
    // WinMain called as a function: the fixture's class is still registered, so
    // registering it again fails.
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOW), 0);
    expectOneBox("Error!", "Window Registration Failed!");

    closeWindow();
    ASSERT_TRUE(UnregisterClassA(kWindowClassName, GetModuleHandleA(nullptr)));
    // Only the main window's creation fails; the box reporting it goes ahead.
    const auto refuseMainWindow = [](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
        char name[64] = {};
        GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
        return code == HCBT_CREATEWND && std::string(name) == kWindowClassName
                   ? 1
                   : CallNextHookEx(nullptr, code, wParam, lParam);
    };
    HHOOK refuse = SetWindowsHookExA(WH_CBT, refuseMainWindow, nullptr, GetCurrentThreadId());
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOW), 0);
    UnhookWindowsHookEx(refuse);
    expectOneBox("Error!", "Window Creation Failed!");
}

}  // namespace
