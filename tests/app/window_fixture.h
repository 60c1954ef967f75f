// A real Pixmora main window in the test's own process, built as WinMain builds
// it, and the means to act on it as a user would: commands, drops, the mouse,
// the open-file dialog, and the "Error Hint" boxes it shows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "control_panel.h"
#include "image_buffer.h"
#include "main_bayer.h"
#include "raw_builder.h"
#include "temp_dir.h"
#include "test_chart.h"
#include "window_texts.h"

constexpr int32_t kChartWidth = 1000, kChartHeight = 600, kChartPictureWidth = 501, kChartPictureHeight = 300;
constexpr int kRggb = 1;

inline std::string textOf(HWND window)
{
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::string windowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
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
    // Folds the panel away and reads the painted chart back at points in its
    // bars, ramp and detail, drawn with its corner at (x, y).
    void expectChartAt(int32_t x, int32_t y);
    // Writes a 1000 x 600 RGGB dump (by default the chart) as `name` in the
    // test's folder and drops it with matching settings; returns its Windows path.
    std::string loadChart(const std::string& name = "chart.raw",
                          const std::vector<uint8_t>& raw = buildTestChartRaw(kChartWidth, kChartHeight, kRggb));
    // Destroys the window and drops the quit request that posts, which would
    // otherwise end the next message loop at once.
    void closeWindow();

    HWND hwnd_ = nullptr;
    TempDir dir_;
    // What the next open-file dialog does: choose this name, or cancel if empty.
    static std::string dialogChoice;
    static std::string dialogFileType;  // its file-type list's text as it opened

private:
    static LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK fillDialog(HWND, UINT, UINT_PTR, DWORD);
    HHOOK hook_ = nullptr;
};
