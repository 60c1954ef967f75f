#include "window_fixture.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "control_panel.h"
#include "conversion_settings.h"
#include "image_buffer.h"
#include "main_bayer.h"
#include "raw_builder.h"

DialogPlan WindowTest::dialogPlan;
int WindowTest::dialogsSeen = 0;
std::string WindowTest::dialogFileType;
std::vector<ShownBox> WindowTest::boxes;
HWND WindowTest::pendingDialog = nullptr;
int WindowTest::dialogTicks = 0;

namespace {

std::string classOf(HWND hwnd)
{
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

bool isFileDialog(HWND dialog)
{
    return GetDlgItem(dialog, cmb13) != nullptr || GetDlgItem(dialog, edt1) != nullptr;
}

// The message text of a message box: its one static control that is not the icon.
std::string messageBoxText(HWND box)
{
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (classOf(child) == "Static" && (style & SS_TYPEMASK) != SS_ICON) {
            char buffer[1024] = {};
            GetWindowTextA(child, buffer, sizeof buffer);
            text = buffer;
            if (!text.empty()) {
                break;
            }
        }
    }
    return text;
}

}  // namespace

std::string WindowTest::textOf(HWND control)
{
    char text[1024] = {};
    GetWindowTextA(control, text, sizeof text);
    return text;
}

LRESULT CALLBACK WindowTest::cbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND activated = reinterpret_cast<HWND>(wParam);
        if (classOf(activated) == "#32770") {
            if (isFileDialog(activated)) {
                // The dialog is still being set up; fill it from its own loop.
                ++dialogsSeen;
                pendingDialog = activated;
                dialogTicks = 0;
                SetTimer(nullptr, 0, 50, fillDialog);
            } else {
                boxes.push_back({textOf(activated), messageBoxText(activated)});
                PostMessageA(activated, WM_COMMAND, IDOK, 0);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK WindowTest::fillDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = pendingDialog;
    if (dialog == nullptr || !IsWindow(dialog)) {
        KillTimer(nullptr, timer);
        return;
    }
    // The dialog fills its lists after it first shows; typing a name before
    // that is lost. Its file-type list showing the filter means it is ready.
    dialogFileType = textOf(GetDlgItem(dialog, cmb1));
    if (dialogFileType.empty() && ++dialogTicks < kDialogTicksMax) {
        return;
    }
    KillTimer(nullptr, timer);
    pendingDialog = nullptr;
    if (!dialogPlan.choose) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    HWND field = GetDlgItem(dialog, cmb13);
    if (field == nullptr) {
        field = GetDlgItem(dialog, edt1);
    }
    SetWindowTextA(field, dialogPlan.fileName.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
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
    dialogPlan = DialogPlan{};
    dialogsSeen = 0;
    dialogFileType.clear();

    HINSTANCE instance = GetModuleHandleA(nullptr);
    static const ATOM registered = registerMainWindowClass(instance);
    ASSERT_NE(registered, 0);
    hwnd_ = createMainWindow(instance);
    ASSERT_NE(hwnd_, nullptr);
    ASSERT_EQ(CreateControls(hwnd_, instance), 1);
    hook_ = SetWindowsHookExA(WH_CBT, cbtHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook_, nullptr);
}

void WindowTest::TearDown()
{
    if (hook_ != nullptr) {
        UnhookWindowsHookEx(hook_);
    }
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        DestroyWindow(hwnd_);
    }
    // Destroying the window posts the quit request; it must not end a later
    // test's message loop.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_TRUE(boxes.empty()) << "unexpected box: " << boxes.front().caption << ": "
                               << boxes.front().text;
}

void WindowTest::click(HWND button)
{
    SendMessageA(button, BM_CLICK, 0, 0);
}

void WindowTest::setSettings(const char* width, const char* height, int patternIndex)
{
    SetWindowTextA(hWithEdit, width);
    SetWindowTextA(hHeightEdit, height);
    SendMessageA(hBayerTypeCombo, CB_SETCURSEL, static_cast<WPARAM>(patternIndex), 0);
}

void WindowTest::drop(const std::vector<std::string>& names)
{
    size_t chars = 1;  // the list ends with an empty name
    for (const std::string& name : names) {
        chars += name.size() + 1;
    }
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars);
    ASSERT_NE(memory, nullptr);
    auto* block = static_cast<DROPFILES*>(GlobalLock(memory));
    block->pFiles = sizeof(DROPFILES);
    block->fWide = FALSE;
    char* cursor = reinterpret_cast<char*>(block) + sizeof(DROPFILES);
    for (const std::string& name : names) {
        std::memcpy(cursor, name.c_str(), name.size() + 1);
        cursor += name.size() + 1;
    }
    GlobalUnlock(memory);
    // The window releases the handle with DragFinish.
    SendMessageA(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

std::vector<ShownBox> WindowTest::takeBoxes()
{
    std::vector<ShownBox> taken;
    taken.swap(boxes);
    return taken;
}

void WindowTest::paintNow()
{
    UpdateWindow(hwnd_);
    GdiFlush();
}

ChartColour WindowTest::pixelAt(int x, int y)
{
    HDC dc = GetDC(hwnd_);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd_, dc);
    return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

void WindowTest::writeChart(const std::string& path)
{
    writeFile(path, buildTestChartRaw(kChartWidth, kChartHeight, kRggb));
}

std::string WindowTest::windowsPath(std::string path)
{
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}
