// The window driven as a user drives it: the panel, start and end, View,
// Browser, drops, dragging and Save, with the boxes each shows.
#include <cerrno>
#include <filesystem>
#include <tuple>

#include "conversion_settings.h"
#include "file_replace.h"
#include "settings_check.h"
#include "window_fixture.h"

namespace {

namespace fs = std::filesystem;

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

// Each field into its own setting by the C rule; the bounds themselves are
// the settings rules' tests.
TEST_F(WindowTest, SettingsCheckReadsEachFieldIntoItsSetting)
{
    std::strcpy(szFile, "C:\\x.raw");
    for (const auto& [width, height, pattern, read, accepted] :
         {std::tuple{" 1000abc", "  600px", 2, std::tuple{1000, 600, 2}, 1},
          {"1000000000", "600", 2, {100000000, 600, 2}, 0}, {"641", "5000", 3, {641, 5000, 3}, 0},
          {"5000", "481", 4, {5000, 481, 4}, 1}, {"1000", "600", -1, {1000, 600, -1}, 0}}) {  // -1: no entry selected
        setSettings(width, height, pattern);
        EXPECT_EQ(checkConfig(), accepted) << width << " x " << height;
        EXPECT_EQ(std::tuple(m_nWidth, m_nHeight, m_nBayerType), read);
    }
    // The load text then names no pattern rather than reading past the list.
    update_error_infor();
    EXPECT_EQ(std::string(error_infor), loadErrorText("1000", "600", "Select..."));
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

// A bound, "Select...", and good settings without a file.
TEST_F(WindowTest, RefusedSettingsShowTheSettingsTextAndLoadNothing)
{
    for (const auto& [width, pattern, path] :
         {std::tuple{"640", kRggb, "C:\\chart.raw"}, {"1000", 0, "C:\\chart.raw"}, {"1000", kRggb, ""}}) {
        std::strcpy(szFile, path);
        setSettings(width, "600", pattern);
        click(hViewButton);
        expectOneBox("Error Hint", kSettingsErrorText);
        EXPECT_EQ(m_hDibBmp, nullptr) << width << " " << pattern << " '" << path << "'";
    }
}

// A file one byte short by View and a folder by drop: the load text names the
// settings used, and the previous picture stays.
TEST_F(WindowTest, UnreadableInputShowsTheLoadTextAndKeepsThePicture)
{
    std::vector<uint8_t> chart = buildTestChartRaw(kChartWidth, kChartHeight, kRggb);
    loadChart();
    const ImageHandle held = m_hDibBmp;
    chart.pop_back();
    writeFile(dir_.file("short.raw"), chart);
    std::strcpy(szFile, windowsPath(dir_.file("short.raw")).c_str());
    setSettings("1000", "600", 3);
    click(hViewButton);
    expectOneBox("Error Hint", loadErrorText("1000", "600", "BGGR"));
    fs::create_directory(dir_.file("folder.raw"));
    setSettings("1000", "600", 4);
    drop({windowsPath(dir_.file("folder.raw"))});
    expectOneBox("Error Hint", loadErrorText("1000", "600", "GBRG"));
    EXPECT_EQ(m_hDibBmp, held);
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

// A cancel chooses no file: the path field keeps its text, but Save then
// writes nothing and View refuses the settings.
TEST_F(WindowTest, BrowserChoosesAFileAndACancelChoosesNone)
{
    loadChart();
    const std::string other = windowsPath(dir_.file("other.raw"));
    writeFile(other, {0});
    dialogChoice = other;
    click(hSelectButton);
    EXPECT_EQ(dialogFileType, "Raw File");
    EXPECT_EQ(std::pair(std::string(szFile), textOf(hFilePathEdit)), std::pair(other, other));

    dialogChoice.clear();
    click(hSelectButton);
    EXPECT_EQ(std::pair(std::string(szFile), textOf(hFilePathEdit)), std::pair(std::string(), other));
    const auto before = dir_.contents();
    click(hSaveButton);
    EXPECT_TRUE(dir_.contents() == before);
    click(hViewButton);
    expectOneBox("Error Hint", kSettingsErrorText);
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
    const uint8_t* red = CDIBBitmap_topRow(0) + 3 * (5 * kChartPictureWidth / 8 + 2);
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
    for (const size_t length : {259u, 260u, 300u}) {
        CDIBBitmap_clear();
        std::string name = windowsPath(dir_.path());
        while (length - name.size() > 120) {  // through folders short enough for the file system
            name += "\\" + std::string(100, 'd');
            fs::create_directory(name);
        }
        name += "\\" + std::string(length - name.size() - 5, 'n') + ".raw";
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

TEST_F(WindowTest, SaveWritesTheSamplesBmpOverTheOlderOne)
{
    writeFile(dir_.file("shot.bmp"), {'o', 'l', 'd'});
    const RawFrame frame = randomFrame(kChartWidth, kChartHeight, 1);
    loadChart("shot.raw", packFrame(frame));
    auto expected = dir_.contents();
    click(hSaveButton);
    expected["shot.bmp"] = expectedBmp(frame, "RGGB");
    EXPECT_TRUE(dir_.contents() == expected);
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

TEST_F(WindowTest, CodePageNameIsLoadedAndSavedBesideItself)
{
    const std::wstring stem = L"Caf\u00e9 na\u00efve \u00e0 l'\u00e9t\u00e9";
    char narrow[MAX_PATH] = {};
    BOOL lost = FALSE;
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, stem.c_str(), -1, narrow, sizeof narrow, nullptr, &lost), 0);
    ASSERT_FALSE(lost) << "code page " << GetACP() << " lacks the letters";
    const RawFrame frame = randomFrame(kChartWidth, kChartHeight, 2);
    loadChart(std::string(narrow) + ".raw", packFrame(frame));
    // The file must exist under the wide name, or the name was never in the code page.
    ASSERT_TRUE(fs::exists(fs::path(dir_.path()) / (stem + L".raw")));
    click(hSaveButton);
    EXPECT_TRUE(readFile(windowsPath(dir_.file(std::string(narrow) + ".bmp"))) == expectedBmp(frame, "RGGB"));
}

}  // namespace
