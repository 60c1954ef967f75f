// A real Pixmora main window in the test's own process, built as WinMain builds
// it, and the means to act on it as a user would: commands, drops, the mouse,
// the open-file dialog, and the "Error Hint" boxes it shows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "control_panel.h"
#include "image_buffer.h"
#include "main_bayer.h"
#include "raw_builder.h"
#include "temp_dir.h"
#include "test_chart.h"

inline std::string textOf(HWND window)
{
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Fails the test if a box was shown that no check took.
    void TearDown() override;

    static void click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }
    void mouse(UINT msg, int x, int y) { SendMessageA(hwnd_, msg, MK_LBUTTON, MAKELPARAM(x, y)); }
    // Width, height and pattern list entry as a user would type and pick them.
    static void setSettings(const char* width, const char* height, int patternIndex)
    {
        SetWindowTextA(hWithEdit, width);
        SetWindowTextA(hHeightEdit, height);
        SendMessageA(hBayerTypeCombo, CB_SETCURSEL, static_cast<WPARAM>(patternIndex), 0);
    }
    // WM_DROPFILES with a real drop handle holding the names.
    void drop(const std::vector<std::string>& names);
    // Exactly one box with this caption and text was shown (and dismissed with
    // OK) since the last check.
    static void expectOneBox(const std::string& caption, const std::string& text);
    // Paints what is pending, then reads a client-area pixel back.
    ChartColour paintedPixelAt(int x, int y);
    // Writes the 1000 x 600 RGGB chart as `name` in `dir` and drops it with
    // matching settings; returns its Windows path.
    std::string loadChart(const TempDir& dir, const std::string& name = "chart.raw");
    // Destroys the window and drops the quit request that posts, which would
    // otherwise end the next message loop at once.
    void closeWindow();
    static std::string windowsPath(std::string path)
    {
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    }

    HWND hwnd_ = nullptr;
    // What the next open-file dialog does: choose this name, or cancel if empty.
    static std::string dialogChoice;
    static std::string dialogFileType;  // its file-type list's text as it opened

private:
    static LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK fillDialog(HWND, UINT, UINT_PTR, DWORD);
    HHOOK hook_ = nullptr;
};

constexpr int32_t kChartWidth = 1000;
constexpr int32_t kChartHeight = 600;
constexpr int32_t kChartPictureWidth = 501;   // (1000 + 5) / 6 * 6 / 2
constexpr int32_t kChartPictureHeight = 300;
constexpr int kRggb = 1;

constexpr char kSettingsErrorText[] =
    "View Error!Please check [640 < width < 7400] [480 < height < 5000]\n"
    "[Type in [RGGB, GRBG, BGGR, GBRG]] and correct select raw file.";

inline std::string loadErrorText(const std::string& width, const std::string& height, const std::string& type)
{
    return "Load Error!Please check [width " + width + "] [height " + height + "]\n[Type " + type +
           "] is correct.";
}

inline bool operator==(const ChartColour& a, const ChartColour& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}
