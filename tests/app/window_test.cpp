// The window driven as a user drives it, in the test's own process: a real
// main window built as WinMain builds it, its panel, start and end, View,
// Browser, drops, dragging and Save, the "Error Hint" boxes each shows, and a
// long run of Views and paints that must not leak.
#include <windows.h>

#include <psapi.h>
#include <shlobj.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "app/control_panel.h"
#include "window/conversion_settings.h"
#include "platform/file_replace.h"
#include "window/image_buffer.h"
#include "app/main_bayer.h"
#include "support/raw_builder.h"
#include "app/settings_check.h"
#include "support/temp_dir.h"
#include "chart/test_chart.h"
#include "window_texts.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kChartWidth = 1000, kChartHeight = 600, kChartPictureWidth = 501, kChartPictureHeight = 300;
constexpr int kRggb = 1;
constexpr int kDialogTicksMax = 100;  // 5 s at 50 ms

std::string textOf(HWND window)
{
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string windowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Caption and text of each box shown and not yet checked.
std::vector<std::pair<std::string, std::string>> boxes;
// What the next open-file dialog does: choose this name, or cancel if empty;
// and its file-type list's text as it opened.
std::string dialogChoice;
std::string dialogFileType;
HWND pendingDialog = nullptr;
int dialogTicks = 0;

void CALLBACK fillDialog(HWND, UINT, UINT_PTR timer, DWORD)
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

// Boxes are noted and dismissed with OK; the open-file dialog is filled in.
LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    HWND activated = reinterpret_cast<HWND>(wParam);
    char name[8] = {};
    if (code == HCBT_ACTIVATE && GetClassNameA(activated, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0) {
        if (GetDlgItem(activated, cmb13) != nullptr || GetDlgItem(activated, edt1) != nullptr) {
            // Still being set up: it is filled from its own loop.
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

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
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
        // Registering again fails harmlessly, and restores the class after a
        // test that removed it.
        HINSTANCE instance = GetModuleHandleA(nullptr);
        registerMainWindowClass(instance);
        hwnd_ = createMainWindow(instance);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_EQ(CreateControls(hwnd_, instance), 1);
        hook_ = SetWindowsHookExA(WH_CBT, cbtHook, nullptr, GetCurrentThreadId());
        ASSERT_NE(hook_, nullptr);
    }

    // Fails the test if a box was shown that no check took.
    void TearDown() override
    {
        UnhookWindowsHookEx(hook_);
        closeWindow();
        EXPECT_TRUE(boxes.empty()) << "unexpected box: " << boxes.front().first << ": " << boxes.front().second;
    }

    // Destroys the window and drops the quit request that posts, which would
    // otherwise end the next message loop at once.
    void closeWindow()
    {
        DestroyWindow(hwnd_);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    static void click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }
    void mouse(UINT msg, int x, int y) { SendMessageA(hwnd_, msg, MK_LBUTTON, MAKELPARAM(x, y)); }

    // Width, height and pattern list entry as a user would type and pick them.
    static void setSettings(const char* width, const char* height, int patternIndex)
    {
        SetWindowTextA(hWithEdit, width);
        SetWindowTextA(hHeightEdit, height);
        SendMessageA(hBayerTypeCombo, CB_SETCURSEL, static_cast<WPARAM>(patternIndex), 0);
    }

    // WM_DROPFILES with a real drop handle holding the names in UTF-16, as
    // Explorer gives them, which the window releases with DragFinish.
    void drop(const std::vector<std::string>& names)
    {
        std::wstring list;  // each name with its zero, then an empty name
        for (const std::string& name : names) {
            std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0)), L'\0');
            MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
            list += wide;
        }
        list += L'\0';
        const size_t bytes = list.size() * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + bytes);
        auto* block = static_cast<DROPFILES*>(GlobalLock(memory));
        block->pFiles = sizeof(DROPFILES);
        block->fWide = TRUE;
        std::memcpy(block + 1, list.data(), bytes);
        GlobalUnlock(memory);
        SendMessageA(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }

    // Exactly one box with this caption and text was shown since the last check.
    static void expectOneBox(const std::string& caption, const std::string& text)
    {
        EXPECT_EQ(boxes, (std::vector<std::pair<std::string, std::string>>{{caption, text}}));
        boxes.clear();
    }

    // Folds the panel away and reads the painted chart back at points in its
    // bars, ramp and detail, clear of the ">" button, drawn with its corner at (x, y).
    void expectChartAt(int32_t x, int32_t y)
    {
        click(hHideButton);
        UpdateWindow(hwnd_);
        HDC dc = GetDC(hwnd_);
        for (const POINT p : {POINT{60, 40}, {300, 100}, {450, 20}, {200, 190}, {120, 250}, {401, 280}}) {
            const ChartColour want = testChartColour(p.x, p.y, kChartPictureWidth, kChartPictureHeight);
            EXPECT_EQ(GetPixel(dc, x + p.x, y + p.y), RGB(want.r, want.g, want.b))
                << "picture point " << p.x << ", " << p.y << " drawn at " << x << ", " << y;
        }
        ReleaseDC(hwnd_, dc);
    }

    // Writes a 1000 x 600 RGGB dump (by default the chart) as `name` in the
    // test's folder and drops it with matching settings; returns its Windows path.
    std::string loadChart(const std::string& name = "chart.raw",
                          const std::vector<uint8_t>& bytes = buildTestChartRaw(kChartWidth, kChartHeight, kRggb))
    {
        std::string raw = windowsPath(dir_.file(name));
        writeFile(raw, bytes);
        setSettings("1000", "600", kRggb);
        drop({raw});
        EXPECT_NE(m_hDibBmp, nullptr) << raw;
        return raw;
    }

    HWND hwnd_ = nullptr;
    HHOOK hook_ = nullptr;
    TempDir dir_;
};

bool panelVisible(bool visible)
{
    return std::all_of(std::begin(hShowControls), std::end(hShowControls),
                       [visible](HWND control) { return (IsWindowVisible(control) != FALSE) == visible; }) &&
           (IsWindowVisible(hShowButton) != FALSE) != visible;
}

TEST_F(WindowTest, StartsUnfoldedWithNoPatternChosenAndFolds)
{
    EXPECT_EQ(SendMessageA(hBayerTypeCombo, CB_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(panelVisible(true)) << "unfolded, with \">\" hidden";
    click(hHideButton);
    EXPECT_TRUE(panelVisible(false));
    click(hShowButton);
    EXPECT_TRUE(panelVisible(true));
    // Only Browser and drops set the path: typing into it changes nothing.
    SetWindowTextA(hFilePathEdit, "C:\\a.raw");
    SendMessageA(hFilePathEdit, WM_CHAR, 'x', 0);
    EXPECT_EQ(textOf(hFilePathEdit), "C:\\a.raw");
}

// Each field into its own setting by its first nine characters; no pattern
// selected is refused like "Select...". The rules themselves are the settings
// rules' tests.
TEST_F(WindowTest, SettingsCheckReadsEachFieldIntoItsSetting)
{
    std::strcpy(szFile, "C:\\x.raw");
    setSettings("000000641abc", "  600px", 2);
    EXPECT_EQ(checkConfig(), 1);
    EXPECT_EQ(std::tuple(m_nWidth, m_nHeight, m_nBayerType), std::tuple(641, 600, 2));
    setSettings("1000", "600", -1);
    EXPECT_EQ(checkConfig(), 0);
    EXPECT_EQ(m_nBayerType, -1);
}

TEST_F(WindowTest, ExitAndClosingTheWindowEndTheLoopWithZero)
{
    for (const bool viaExit : {true, false}) {
        PostMessageA(viaExit ? hExitButton : hwnd_, viaExit ? BM_CLICK : WM_CLOSE, 0, 0);
        // A guard against a loop that never ends: a quit code no handler uses.
        const UINT_PTR guard = SetTimer(nullptr, 0, 5000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(99); });
        EXPECT_EQ(runMessageLoop(), 0) << (viaExit ? "Exit" : "close");
        KillTimer(nullptr, guard);
        // Exit leaves the window for the process end to take; closing destroys it.
        EXPECT_EQ(IsWindow(hwnd_) != FALSE, viaExit);
    }
}

TEST_F(WindowTest, StartUpFailuresAreReportedAndEndWithZero)
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
        return code == HCBT_CREATEWND && std::string(name) == kWindowClassName ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
    };
    HHOOK refuse = SetWindowsHookExA(WH_CBT, refuseMainWindow, nullptr, GetCurrentThreadId());
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOW), 0);
    UnhookWindowsHookEx(refuse);
    expectOneBox("Error!", "Window Creation Failed!");
}

TEST_F(WindowTest, DropViewAndDragDrawTheChartAtTheDrawOffset)
{
    loadChart();
    expectChartAt(0, 0);
    // View repaints by itself, at the offset then in force.
    CDIBBitmap_clear();
    x_draw = 30;
    y_draw = 40;
    click(hViewButton);
    expectChartAt(30, 40);

    mouse(WM_LBUTTONDOWN, 200, 200);
    mouse(WM_MOUSEMOVE, 230, 210);
    mouse(WM_MOUSEMOVE, 250, 220);
    mouse(WM_LBUTTONUP, 250, 220);
    expectChartAt(80, 60);
    // After release the mouse moves nothing; a cursor half 0xFFF6 is 65526, not -10.
    mouse(WM_MOUSEMOVE, 10, 10);
    mouse(WM_LBUTTONDOWN, 10, 20);
    SendMessageA(hwnd_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0xFFF6, 0xFFEC));
    EXPECT_EQ(std::pair(x_draw, y_draw), std::pair(80 + 65526 - 10, 60 + 65516 - 20));
}

// View refuses settings out of bounds whatever the file. A cancel chooses no
// file: the path field keeps its text, but Save then writes nothing and View
// refuses the settings.
TEST_F(WindowTest, BrowserChoosesAFileAndACancelChoosesNone)
{
    loadChart();
    const std::string other = windowsPath(dir_.file("other.raw"));
    writeFile(other, {0});
    dialogChoice = other;
    click(hSelectButton);
    EXPECT_EQ(dialogFileType, "Raw File");
    EXPECT_EQ(std::pair(std::string(szFile), textOf(hFilePathEdit)), std::pair(other, other));
    setSettings("640", "600", kRggb);  // a bound: refused before any load
    click(hViewButton);
    expectOneBox("Error Hint", kSettingsErrorText);

    setSettings("1000", "600", kRggb);
    dialogChoice.clear();
    click(hSelectButton);
    EXPECT_EQ(std::pair(std::string(szFile), textOf(hFilePathEdit)), std::pair(std::string(), other));
    const auto before = dir_.contents();
    click(hSaveButton);
    EXPECT_TRUE(dir_.contents() == before);
    click(hViewButton);
    expectOneBox("Error Hint", kSettingsErrorText);
    EXPECT_EQ(m_nBmpWidth, kChartPictureWidth) << "the picture stays";
}

TEST_F(WindowTest, DropsOfTwoFilesOrWithSelectChosenLoadNoNewFile)
{
    const std::string raw = loadChart();
    // Two files keep the previous path and reload it: the changed pattern shows
    // it happened, as under BGGR the chart's red bar turns blue.
    setSettings("1000", "600", 3);
    const std::string other = windowsPath(dir_.file("other.raw"));
    drop({other, other});
    EXPECT_EQ(std::pair(std::string(szFile), textOf(hFilePathEdit)), std::pair(raw, raw));
    const uint8_t* red = CDIBBitmap_topRow(0) + 945;  // pixel 315, in the sixth of the eight bars: red
    EXPECT_EQ(std::tuple(red[0], red[1], red[2]), std::tuple(255, 0, 0)) << "blue, green, red";

    // With "Select..." chosen a drop fills the path field and loads nothing, silently.
    CDIBBitmap_clear();
    setSettings("1000", "600", 0);
    drop({other});
    EXPECT_EQ(m_hDibBmp, nullptr);
    EXPECT_EQ(textOf(hFilePathEdit), other);
}

// 259 characters and the terminator fill the path buffer; a longer name keeps
// its first 259, which name no file here.
TEST_F(WindowTest, DroppedNamesAreCutTo259Characters)
{
    // Through a folder, so that no single name passes the file system's limit.
    const std::string folder = windowsPath(dir_.file(std::string(100, 'd')));
    fs::create_directory(folder);
    for (const size_t length : {259u, 260u, 300u}) {
        CDIBBitmap_clear();
        const std::string name = folder + "\\" + std::string(length - folder.size() - 5, 'n') + ".raw";
        writeFile(name, buildTestChartRaw(kChartWidth, kChartHeight, kRggb));
        setSettings("1000", "600", kRggb);
        drop({name});
        EXPECT_EQ(std::pair(std::string(szFile), textOf(hFilePathEdit)), std::pair(name.substr(0, 259), name.substr(0, 259)));
        EXPECT_EQ(m_hDibBmp != nullptr, length == 259) << length;
        if (length > 259) {
            expectOneBox("Error Hint", loadErrorText("1000", "600", "RGGB"));
        }
    }
}

size_t failingWrite(const void*, size_t, std::FILE*)
{
    errno = ENOSPC;
    return 0;
}

// Whether it may not or cannot write, Save says nothing and changes nothing.
// A raw file named .BMP, in any case, is the file its BMP's name reaches.
TEST_F(WindowTest, SaveThatMustNotWriteLeavesTheFolderAsItWas)
{
    const FileWriteFunction coresWrite = fileReplaceWrite;
    loadChart("shot.BMP");
    auto before = dir_.contents();
    click(hSaveButton);
    EXPECT_TRUE(dir_.contents() == before);

    loadChart("keep.raw");
    writeFile(dir_.file("keep.bmp"), {'o', 'l', 'd'});
    before = dir_.contents();
    fileReplaceWrite = failingWrite;
    click(hSaveButton);
    fileReplaceWrite = coresWrite;
    EXPECT_TRUE(dir_.contents() == before);
}

// Chosen with Browser or dropped, a dump in a folder named in another script
// loads, and Save writes its BMP beside it with the name's last three
// characters, not bytes, replaced.
TEST_F(WindowTest, NamesInAnyScriptAreViewedAndSavedBesideThemselves)
{
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "no UTF-8 manifest";
    const std::string folder = windowsPath(dir_.file("写真 Φωτογραφίες"));
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    uint32_t seed = 4;  // a picture of each file's own, so that a failed load shows
    for (const auto& [raw, bmp, browse] : {std::tuple{"测试_café.raw", "测试_café.bmp", true},
                                           {"カメラ λήψη", "カメラ λbmp", false}, {"📷.r📷w", "📷.bmp", true}}) {
        const std::string path = folder + "\\" + raw;
        const TestMosaic frame = randomFrame(kChartWidth, kChartHeight, ++seed);
        writeFile(path, packFrame(frame));
        setSettings("1000", "600", kRggb);
        if (browse) {
            dialogChoice = path;
            click(hSelectButton);
            click(hViewButton);
        } else {
            drop({path});
        }
        EXPECT_EQ(textOf(hFilePathEdit), path);
        click(hSaveButton);
        EXPECT_TRUE(readFile(folder + "\\" + bmp) == expectedBmp(frame, "RGGB")) << bmp;
    }
}

// A long run of Views and paints must not leak.
// Live GDI objects of this process. Wine's GetGuiResources is a stub that fails
// with ERROR_CALL_NOT_IMPLEMENTED; the process's GDI handle table, which the PEB
// publishes on 64-bit Windows and Wine alike (0x10000 rows of 24 bytes, the
// object type at byte 14), is counted instead.
DWORD gdiObjectCount()
{
    SetLastError(0);
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    PROCESS_BASIC_INFORMATION basic{};
    if (reported != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED ||
        NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) {
        return reported;
    }
    const uint8_t* table = nullptr;
    std::memcpy(&table, reinterpret_cast<const uint8_t*>(basic.PebBaseAddress) + 0xF8, sizeof table);
    DWORD live = 0;
    for (size_t i = 0; table != nullptr && i < 0x10000; ++i) {
        live += table[24 * i + 14] != 0 ? 1 : 0;
    }
    return live;
}

// Committed private memory. Wine reports PrivateUsage as 0 but keeps
// PagefileUsage, which Windows sets to the same figure.
size_t privateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

// Room for the allocator to keep a few freed blocks (each picture is under
// 270 KB, each input under 470 KB); far below a kilobyte leaked per round.
constexpr size_t kMemorySlack = 1u << 20;
constexpr int kRounds = 1000;

TEST_F(WindowTest, ManyViewsAndPaintsKeepGdiObjectsAndMemoryFlat)
{
    const std::string raws[] = {windowsPath(dir_.file("a.raw")), windowsPath(dir_.file("b.raw"))};
    writeFile(raws[0], packFrame(randomFrame(642, 482, 7)));
    writeFile(raws[1], packFrame(randomFrame(700, 500, 8)));
    const auto view = [&raws](int i) {
        setSettings(i % 2 == 0 ? "642" : "700", i % 2 == 0 ? "482" : "500", kRggb);
        std::snprintf(szFile, sizeof szFile, "%s", raws[i % 2].c_str());
        click(hViewButton);
    };
    click(hHideButton);
    // The platform creates its stock objects and caches on first use.
    for (int i = 0; i < 2; ++i) {
        view(i);
        UpdateWindow(hwnd_);
    }
    const DWORD gdiAtStart = gdiObjectCount();
    const size_t bytesAtStart = privateBytes();
    ASSERT_GT(gdiAtStart, 0u) << "GDI objects cannot be counted here";
    ASSERT_GT(bytesAtStart, 0u) << "memory cannot be measured here";

    for (int i = 0; i < kRounds; ++i) {
        view(i);
    }
    EXPECT_EQ(gdiObjectCount(), gdiAtStart) << "after Views";
    EXPECT_LE(privateBytes(), bytesAtStart + kMemorySlack) << "after Views";

    mouse(WM_LBUTTONDOWN, 300, 300);
    for (int i = 0; i < kRounds; ++i) {
        mouse(WM_MOUSEMOVE, 200 + (i * 37) % 200, 220 + (i * 53) % 160);
        UpdateWindow(hwnd_);
    }
    EXPECT_EQ(gdiObjectCount(), gdiAtStart) << "after paints";
    EXPECT_LE(privateBytes(), bytesAtStart + kMemorySlack) << "after paints";
}

}  // namespace
