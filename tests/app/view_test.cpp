// View, Browser and dropped files: the picture they draw and drag, and the
// inputs they refuse.

#include "window_fixture.h"

namespace {

// Points of the picture in the bars, the ramp and the detail, clear of the
// ">" button in the folded panel's corner.
const POINT kProbes[] = {{60, 40}, {300, 100}, {450, 20}, {200, 190}, {120, 250}, {401, 280}};

class ViewTest : public WindowTest {
protected:
    void expectChartAt(int32_t x, int32_t y)
    {
        click(hHideButton);  // the folded panel leaves the picture uncovered
        for (const POINT& p : kProbes) {
            EXPECT_EQ(paintedPixelAt(x + p.x, y + p.y),
                      testChartColour(p.x, p.y, kChartPictureWidth, kChartPictureHeight))
                << "picture point " << p.x << ", " << p.y << " drawn at " << x << ", " << y;
        }
    }
    TempDir dir_;
};

TEST_F(ViewTest, RefusedSettingsShowTheSettingsTextAndLoadNothing)
{
    struct Row {
        const char *width, *height;
        int pattern;
        bool withFile;
    };
    // A bound, "Select...", and good settings without a file.
    for (const Row& row : {Row{"640", "600", kRggb, true}, Row{"1000", "600", 0, true},
                           Row{"1000", "600", kRggb, false}}) {
        SCOPED_TRACE(std::string(row.width) + " pattern " + std::to_string(row.pattern));
        std::strcpy(szFile, row.withFile ? "C:\\chart.raw" : "");
        setSettings(row.width, row.height, row.pattern);
        click(hViewButton);
        expectOneBox("Error Hint", kSettingsErrorText);
        EXPECT_EQ(m_hDibBmp, nullptr);
    }
}

std::vector<uint8_t> chartCutBy(size_t bytes)
{
    std::vector<uint8_t> raw = buildTestChartRaw(kChartWidth, kChartHeight, kRggb);
    raw.resize(raw.size() - bytes);
    return raw;
}

TEST_F(ViewTest, UnreadableInputShowsTheLoadTextAndKeepsThePicture)
{
    struct Row {
        const char* name;
        void (*make)(const std::string& path);
        int pattern;
        const char* type;
    };
    const Row rows[] = {
        {"empty file", [](const std::string& p) { writeFile(p, {}); }, 1, "RGGB"},
        {"folder", [](const std::string& p) { std::filesystem::create_directory(p); }, 4, "GBRG"},
        {"one byte short", [](const std::string& p) { writeFile(p, chartCutBy(1)); }, 3, "BGGR"},
        // One packed row: 1002 samples at 8 bytes per 6.
        {"one row short", [](const std::string& p) { writeFile(p, chartCutBy(1002 / 6 * 8)); }, 2, "GRBG"},
    };
    loadChart(dir_);
    const ImageHandle held = m_hDibBmp;
    for (const Row& row : rows) {
        for (const bool byView : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (byView ? " by View" : " by drop"));
            TempDir dir;
            const std::string raw = windowsPath(dir.file("input.raw"));
            row.make(raw);
            setSettings("1000", "600", row.pattern);
            if (byView) {
                std::strcpy(szFile, raw.c_str());
                click(hViewButton);
            } else {
                drop({raw});
            }
            expectOneBox("Error Hint", loadErrorText("1000", "600", row.type));
            EXPECT_EQ(m_hDibBmp, held);
            EXPECT_EQ(m_nBmpWidth, kChartPictureWidth);
        }
    }
}

TEST_F(ViewTest, ViewAndDropDrawTheChartAtTheDrawOffset)
{
    loadChart(dir_);
    expectChartAt(0, 0);

    // View repaints by itself, at the offset then in force.
    CDIBBitmap_clear();
    x_draw = 30;
    y_draw = 40;
    click(hViewButton);
    expectChartAt(30, 40);
}

TEST_F(ViewTest, DraggingMovesThePictureByTheUnsignedCursorDistance)
{
    loadChart(dir_);
    mouse(WM_LBUTTONDOWN, 200, 200);
    mouse(WM_MOUSEMOVE, 230, 210);
    mouse(WM_MOUSEMOVE, 250, 220);
    mouse(WM_LBUTTONUP, 250, 220);
    EXPECT_EQ(x_draw, 50);
    EXPECT_EQ(y_draw, 20);
    expectChartAt(50, 20);

    // After release the mouse moves nothing; a cursor half 0xFFF6 is 65526, not -10.
    mouse(WM_MOUSEMOVE, 10, 10);
    mouse(WM_LBUTTONDOWN, 10, 20);
    SendMessageA(hwnd_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0xFFF6, 0xFFEC));
    EXPECT_EQ(x_draw, 50 + 65526 - 10);
    EXPECT_EQ(y_draw, 20 + 65516 - 20);
}

TEST_F(ViewTest, BrowserChoosesAFileAndACancelKeepsThePathText)
{
    const std::string raw = windowsPath(dir_.file("chart.raw"));
    writeFile(raw, {0});
    dialogChoice = raw;
    click(hSelectButton);
    EXPECT_EQ(dialogFileType, "Raw File");
    EXPECT_STREQ(szFile, raw.c_str());
    EXPECT_EQ(textOf(hFilePathEdit), raw);
    EXPECT_EQ(m_hDibBmp, nullptr) << "nothing is converted until View";

    dialogChoice.clear();
    click(hSelectButton);
    EXPECT_EQ(textOf(hFilePathEdit), raw);
}

TEST_F(ViewTest, DropsOfTwoFilesOrWithSelectChosenLoadNoNewFile)
{
    const std::string raw = loadChart(dir_);
    // Two files keep the previous path and reload it: the changed pattern shows
    // it happened, as under BGGR the chart's red bar turns blue.
    setSettings("1000", "600", 3);
    const std::string other = windowsPath(dir_.file("other.raw"));
    drop({other, other});
    EXPECT_STREQ(szFile, raw.c_str());
    EXPECT_EQ(textOf(hFilePathEdit), raw);
    const uint8_t* red = CDIBBitmap_topRow(0) + 3 * (5 * kChartPictureWidth / 8 + 2);
    EXPECT_EQ((ChartColour{red[2], red[1], red[0]}), (ChartColour{0, 0, 255}));

    // With "Select..." chosen a drop fills the path field and loads nothing, silently.
    CDIBBitmap_clear();
    setSettings("1000", "600", 0);
    drop({raw});
    EXPECT_EQ(m_hDibBmp, nullptr);
    drop({other});
    EXPECT_EQ(textOf(hFilePathEdit), other);
}

// A real chart file whose full name has `length` characters, in folders short
// enough for the file system.
std::string rawNameOfLength(std::string name, size_t length)
{
    while (length - name.size() > 120) {
        name += "\\" + std::string(100, 'd');
        std::filesystem::create_directory(name);
    }
    name += "\\" + std::string(length - name.size() - 5, 'n') + ".raw";
    writeFile(name, buildTestChartRaw(kChartWidth, kChartHeight, kRggb));
    return name;
}

TEST_F(ViewTest, DroppedNamesAreCutTo259Characters)
{
    // 259 characters and the terminator fill the buffer; a longer name keeps
    // its first 259, which name no file here.
    for (const size_t length : {259u, 260u, 300u}) {
        SCOPED_TRACE(length);
        CDIBBitmap_clear();
        const std::string name = rawNameOfLength(windowsPath(dir_.path()), length);
        const std::string kept = name.substr(0, kPathChars - 1);
        setSettings("1000", "600", kRggb);
        drop({name});
        EXPECT_EQ(std::string(szFile), kept);
        EXPECT_EQ(textOf(hFilePathEdit), kept);
        EXPECT_EQ(m_hDibBmp != nullptr, length == 259);
        if (length > 259) {
            expectOneBox("Error Hint", loadErrorText("1000", "600", "RGGB"));
        }
    }
}

}  // namespace
