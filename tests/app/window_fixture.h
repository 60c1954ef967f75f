// A real Pixmora main window in the test's own process, built as WinMain builds
// it, and the means to act on it as a user would: commands, drops, the mouse,
// the open-file dialog, and the "Error Hint" boxes it shows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_chart.h"

// A modal box or dialog seen while the window handled a message.
struct ShownBox {
    std::string caption;
    std::string text;
};

// What the open-file dialog should do when it appears.
struct DialogPlan {
    bool choose = false;     // false: cancel it
    std::string fileName;    // typed into its file-name field when choosing
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Clicks a panel button, which sends its command to the window.
    static void click(HWND button);

    // Width, height and pattern list entry as a user would type and pick them.
    void setSettings(const char* width, const char* height, int patternIndex);

    // WM_DROPFILES with a real drop handle holding the names.
    void drop(const std::vector<std::string>& names);

    // Boxes shown (and dismissed with OK) since the last call.
    std::vector<ShownBox> takeBoxes();

    // Runs pending paint so the client area shows what the window drew.
    void paintNow();

    // The client-area pixel at (x, y) as red, green, blue.
    ChartColour pixelAt(int x, int y);

    // Writes the 1000 x 600 RGGB chart to `path`.
    static void writeChart(const std::string& path);

    // Backslashed Windows form of a test path.
    static std::string windowsPath(std::string path);

    static std::string textOf(HWND control);

    HWND hwnd_ = nullptr;

    // Set before a command that opens the file dialog.
    static DialogPlan dialogPlan;
    static int dialogsSeen;
    static std::string dialogFileType;  // the file-type list's text as it opened

private:
    static LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK fillDialog(HWND, UINT, UINT_PTR, DWORD);
    static std::vector<ShownBox> boxes;
    static HWND pendingDialog;
    static int dialogTicks;
    static constexpr int kDialogTicksMax = 100;  // 5 s at 50 ms
    HHOOK hook_ = nullptr;
};

// The chart geometry the window tests use.
constexpr int32_t kChartWidth = 1000;
constexpr int32_t kChartHeight = 600;
constexpr int32_t kChartPictureWidth = 501;   // (1000 + 5) / 6 * 6 / 2
constexpr int32_t kChartPictureHeight = 300;
constexpr int kRggb = 1;

// What the window must say when View's settings are refused.
constexpr char kSettingsErrorText[] =
    "View Error!Please check [640 < width < 7400] [480 < height < 5000]\n"
    "[Type in [RGGB, GRBG, BGGR, GBRG]] and correct select raw file.";

inline bool operator==(const ChartColour& a, const ChartColour& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

inline bool operator!=(const ChartColour& a, const ChartColour& b)
{
    return !(a == b);
}

inline std::ostream& operator<<(std::ostream& os, const ChartColour& c)
{
    return os << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")";
}
