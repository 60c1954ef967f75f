// WinMain itself, called in the test process: its start-up failure boxes and a
// whole run from start to Exit.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "control_panel.h"
#include "main_bayer.h"
#include "window_fixture.h"

namespace {

class EntryTest : public WindowTest {
protected:
    // Leaves the class unregistered, as at process start.
    void unregisterClass()
    {
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
        // The destroyed window's quit request would end WinMain's loop at once.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        ASSERT_TRUE(UnregisterClassA(kWindowClassName, GetModuleHandleA(nullptr)));
    }

    // Later tests find the class registered, as the fixture left it.
    void TearDown() override
    {
        registerMainWindowClass(GetModuleHandleA(nullptr));
        WindowTest::TearDown();
    }

    static int runWinMain()
    {
        char commandLine[] = "";
        return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWMINIMIZED);
    }
};

LRESULT CALLBACK refuseMainWindow(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        char name[64] = {};
        GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
        if (std::string(name) == kWindowClassName) {
            return 1;  // the creation fails
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool exitPressed = false;

void CALLBACK pressExit(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    exitPressed = true;
    PostMessageA(hExitButton, BM_CLICK, 0, 0);
}

TEST_F(EntryTest, RegistrationFailureIsReportedAndEndsWithZero)
{
    // The fixture's class is still registered, so registering it again fails.
    EXPECT_EQ(runWinMain(), 0);
    const std::vector<ShownBox> shown = takeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Error!");
    EXPECT_EQ(shown[0].text, "Window Registration Failed!");
}

TEST_F(EntryTest, CreationFailureIsReportedAndEndsWithZero)
{
    unregisterClass();
    HHOOK refuse = SetWindowsHookExA(WH_CBT, refuseMainWindow, nullptr, GetCurrentThreadId());
    const int code = runWinMain();
    UnhookWindowsHookEx(refuse);
    EXPECT_EQ(code, 0);
    const std::vector<ShownBox> shown = takeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Error!");
    EXPECT_EQ(shown[0].text, "Window Creation Failed!");
}

TEST_F(EntryTest, RunsTheVisibleWindowWithItsPanelUntilExit)
{
    unregisterClass();
    exitPressed = false;
    SetTimer(nullptr, 0, 10, pressExit);
    EXPECT_EQ(runWinMain(), 0);
    EXPECT_TRUE(exitPressed) << "the loop ended before Exit was pressed";
    // Exit leaves the window in place; the show state asked for was ignored.
    HWND window = FindWindowA(kWindowClassName, "Pixmora");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(GetParent(hExitButton), window);
    EXPECT_EQ(textOf(hExitButton), "Exit");
    DestroyWindow(window);
}

}  // namespace
