#include "window_fixture.h"

#include <shlobj.h>

#include "conversion_settings.h"

std::string WindowTest::dialogChoice;
std::string WindowTest::dialogFileType;

namespace {

// Caption and text of each box shown and not yet checked.
std::vector<std::pair<std::string, std::string>> boxes;
HWND pendingDialog = nullptr;
int dialogTicks = 0;
constexpr int kDialogTicksMax = 100;  // 5 s at 50 ms

}  // namespace

LRESULT CALLBACK WindowTest::cbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    HWND activated = reinterpret_cast<HWND>(wParam);
    char name[8] = {};
    if (code == HCBT_ACTIVATE && GetClassNameA(activated, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0) {
        if (GetDlgItem(activated, cmb13) != nullptr || GetDlgItem(activated, edt1) != nullptr) {
            // The open-file dialog is still being set up; fill it from its own loop.
            pendingDialog = activated;
            dialogTicks = 0;
            SetTimer(nullptr, 0, 50, fillDialog);
        } else {
            boxes.emplace_back(textOf(activated), textOf(GetDlgItem(activated, 0xFFFF)));  // the message's static
            PostMessageA(activated, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK WindowTest::fillDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = pendingDialog;
    // The dialog fills its lists after it first shows; typing a name before
    // that is lost. Its file-type list showing the filter means it is ready.
    dialogFileType = textOf(GetDlgItem(dialog, cmb1));
    if (IsWindow(dialog) && dialogFileType.empty() && ++dialogTicks < kDialogTicksMax) {
        return;
    }
    KillTimer(nullptr, timer);
    if (!IsWindow(dialog)) {
        return;
    }
    if (!dialogChoice.empty()) {
        HWND field = GetDlgItem(dialog, cmb13);
        SetWindowTextA(field != nullptr ? field : GetDlgItem(dialog, edt1), dialogChoice.c_str());
    }
    PostMessageA(dialog, WM_COMMAND, dialogChoice.empty() ? IDCANCEL : IDOK, 0);
}

void WindowTest::SetUp()
{
    // Module state lives as long as the process; each test starts as a fresh one.
    szFile[0] = '\0';
    x_draw = y_draw = 0;
    button_down = x_offset = y_offset = x_curr = y_curr = 0;
    m_nWidth = m_nHeight = m_nBayerType = 0;
    CDIBBitmap_clear();
    boxes.clear();
    dialogChoice.clear();
    dialogFileType.clear();
    // Registering again fails harmlessly, and restores the class after a test
    // that removed it.
    HINSTANCE instance = GetModuleHandleA(nullptr);
    registerMainWindowClass(instance);
    hwnd_ = createMainWindow(instance);
    ASSERT_NE(hwnd_, nullptr);
    ASSERT_EQ(CreateControls(hwnd_, instance), 1);
    hook_ = SetWindowsHookExA(WH_CBT, cbtHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook_, nullptr);
}

void WindowTest::TearDown()
{
    UnhookWindowsHookEx(hook_);
    closeWindow();
    EXPECT_TRUE(boxes.empty()) << "unexpected box: " << boxes.front().first << ": " << boxes.front().second;
}

void WindowTest::closeWindow()
{
    DestroyWindow(hwnd_);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

void WindowTest::drop(const std::vector<std::string>& names)
{
    std::string list;  // each name with its zero, then an empty name
    for (const std::string& name : names) {
        list += name + '\0';
    }
    list += '\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    auto* block = static_cast<DROPFILES*>(GlobalLock(memory));
    block->pFiles = sizeof(DROPFILES);
    block->fWide = FALSE;
    std::memcpy(block + 1, list.data(), list.size());
    GlobalUnlock(memory);
    // The window releases the handle with DragFinish.
    SendMessageA(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

void WindowTest::expectOneBox(const std::string& caption, const std::string& text)
{
    EXPECT_EQ(boxes, (std::vector<std::pair<std::string, std::string>>{{caption, text}}));
    boxes.clear();
}

void WindowTest::expectChartAt(int32_t x, int32_t y)
{
    click(hHideButton);
    UpdateWindow(hwnd_);
    HDC dc = GetDC(hwnd_);
    // Clear of the ">" button in the folded panel's corner.
    for (const POINT p : {POINT{60, 40}, {300, 100}, {450, 20}, {200, 190}, {120, 250}, {401, 280}}) {
        const COLORREF c = GetPixel(dc, x + p.x, y + p.y);
        const ChartColour want = testChartColour(p.x, p.y, kChartPictureWidth, kChartPictureHeight);
        EXPECT_EQ(c, RGB(want.r, want.g, want.b)) << "picture point " << p.x << ", " << p.y << " drawn at " << x << ", " << y;
    }
    ReleaseDC(hwnd_, dc);
}

std::string WindowTest::loadChart(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::string raw = windowsPath(dir_.file(name));
    writeFile(raw, bytes);
    setSettings("1000", "600", kRggb);
    drop({raw});
    EXPECT_NE(m_hDibBmp, nullptr) << raw;
    return raw;
}
