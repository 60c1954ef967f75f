#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bmp_writer.h"
#include "control_panel.h"
#include "file_replace.h"
#include "image_buffer.h"
#include "main_bayer.h"
#include "raw_builder.h"
#include "temp_dir.h"
#include "window_fixture.h"

namespace {

namespace fs = std::filesystem;

// Everything in a folder: each file's bytes, each subfolder as a marker.
using Snapshot = std::map<std::string, std::vector<uint8_t>>;

Snapshot snapshot(const std::string& folder)
{
    static const std::vector<uint8_t> kFolderMarker = {'<', 'd', 'i', 'r', '>'};
    Snapshot files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        files[name] = entry.is_directory() ? kFolderMarker : readFile(entry.path().string());
    }
    return files;
}

std::vector<uint8_t> chartBytes()
{
    return buildTestChartRaw(kChartWidth, kChartHeight, kRggb);
}

std::vector<uint8_t> chartCutBy(size_t bytes)
{
    std::vector<uint8_t> raw = chartBytes();
    raw.resize(raw.size() - bytes);
    return raw;
}

// One packed row of the chart: 1002 samples at 8 bytes per 6.
constexpr size_t kChartRowBytes = 1002 / 6 * 8;

class BadInputTest : public WindowTest {
protected:
    // The chart, held before each bad input, so a failure must leave it alone.
    void loadChart()
    {
        const std::string raw = windowsPath(chartDir_.file("chart.raw"));
        writeChart(raw);
        setSettings("1000", "600", kRggb);
        drop({raw});
        ASSERT_NE(m_hDibBmp, nullptr);
        ASSERT_TRUE(takeBoxes().empty());
    }

    TempDir chartDir_;
};

enum class Way { View, Drop };

TEST_F(BadInputTest, UnreadableInputShowsTheLoadTextAndTouchesNothing)
{
    struct Row {
        const char* name;
        void (*make)(const std::string& path);
        const char* width;
        const char* height;
        int pattern;
        const char* text;
    };
    const Row rows[] = {
        {"empty file", [](const std::string& p) { writeFile(p, {}); }, "1000", "600", 1,
         "Load Error!Please check [width 1000] [height 600]\n[Type RGGB] is correct."},
        {"folder", [](const std::string& p) { fs::create_directory(p); }, "1000", "600", 4,
         "Load Error!Please check [width 1000] [height 600]\n[Type GBRG] is correct."},
        {"one byte short", [](const std::string& p) { writeFile(p, chartCutBy(1)); }, "1000", "600", 3,
         "Load Error!Please check [width 1000] [height 600]\n[Type BGGR] is correct."},
        {"one row short", [](const std::string& p) { writeFile(p, chartCutBy(kChartRowBytes)); }, "1000",
         "600", 2, "Load Error!Please check [width 1000] [height 600]\n[Type GRBG] is correct."},
        // The largest accepted geometry is read in full or not at all.
        {"largest geometry", [](const std::string& p) { writeFile(p, chartBytes()); }, "7399", "4999", 1,
         "Load Error!Please check [width 7399] [height 4999]\n[Type RGGB] is correct."},
    };
    loadChart();
    const ImageHandle held = m_hDibBmp;
    for (const Row& row : rows) {
        for (const Way way : {Way::View, Way::Drop}) {
            SCOPED_TRACE(std::string(row.name) + (way == Way::View ? " by View" : " by drop"));
            TempDir dir;
            const std::string raw = windowsPath(dir.file("input.raw"));
            row.make(raw);
            const Snapshot before = snapshot(dir.path());
            setSettings(row.width, row.height, row.pattern);
            if (way == Way::View) {
                std::strcpy(szFile, raw.c_str());
                click(hViewButton);
            } else {
                drop({raw});
            }
            const std::vector<ShownBox> shown = takeBoxes();
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].caption, "Error Hint");
            EXPECT_EQ(shown[0].text, row.text);
            EXPECT_EQ(m_hDibBmp, held);
            EXPECT_EQ(m_nBmpWidth, kChartPictureWidth);
            EXPECT_EQ(m_nBmpHeight, kChartPictureHeight);
            EXPECT_EQ(snapshot(dir.path()), before);
        }
    }
}

TEST_F(BadInputTest, SettingsAtEachBoundDecideSilentlyWhetherADropLoads)
{
    struct Row {
        int32_t width;
        int32_t height;
        bool accepted;
    };
    // 640 packs exactly as 641 does, and 7400 as 7399: only the bound refuses them.
    const Row rows[] = {
        {640, 481, false},  {641, 481, true},   {7399, 481, true},  {7400, 481, false},
        {641, 480, false},  {641, 4999, true},  {641, 5000, false}, {7399, 4999, true},
    };
    for (const Row& row : rows) {
        const std::string geometry = std::to_string(row.width) + " x " + std::to_string(row.height);
        SCOPED_TRACE(geometry);
        CDIBBitmap_clear();
        TempDir dir;
        const std::string raw = windowsPath(dir.file("input.raw"));
        const RawFrame frame = randomFrame(row.width, row.height, static_cast<uint32_t>(row.width + row.height));
        writeFile(raw, packFrame(frame));
        const Snapshot before = snapshot(dir.path());
        setSettings(std::to_string(row.width).c_str(), std::to_string(row.height).c_str(), kRggb);
        drop({raw});
        EXPECT_TRUE(takeBoxes().empty());
        EXPECT_EQ(textOf(hFilePathEdit), raw);
        EXPECT_EQ(snapshot(dir.path()), before);
        if (!row.accepted) {
            EXPECT_EQ(m_hDibBmp, nullptr);
            continue;
        }
        ASSERT_NE(m_hDibBmp, nullptr);
        ASSERT_EQ(m_nBmpWidth, frame.alignedWidth / 2);
        ASSERT_EQ(m_nBmpHeight, row.height / 2);
        const std::vector<uint8_t> expected = expectedPicture(frame, "RGGB");
        ASSERT_EQ(static_cast<size_t>(m_nBmpStride * m_nBmpHeight), expected.size());
        EXPECT_EQ(std::memcmp(m_pBmpData, expected.data(), expected.size()), 0);
    }
}

// The name in the system's code page, or "" when a character has no byte there.
std::string inCodePage(const std::wstring& name)
{
    BOOL lost = FALSE;
    char bytes[MAX_PATH] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, bytes, sizeof bytes, nullptr, &lost);
    return length > 0 && !lost ? std::string(bytes) : std::string();
}

TEST_F(BadInputTest, NameWithSpacesAndCodePageLettersIsViewedAndSavedBesideIt)
{
    const std::wstring stem = L"Caf\u00e9 na\u00efve \u00e0 l'\u00e9t\u00e9";
    const std::string narrowStem = inCodePage(stem);
    ASSERT_FALSE(narrowStem.empty()) << "code page " << GetACP() << " lacks the letters";
    TempDir dir;
    const std::string raw = windowsPath(dir.path()) + "\\" + narrowStem + ".raw";
    writeChart(raw);
    // The file must exist under the wide name, or the name was never in the code page.
    const fs::path wideDir = fs::path(dir.path());
    ASSERT_TRUE(fs::exists(wideDir / (stem + L".raw")));

    setSettings("1000", "600", kRggb);
    drop({raw});
    EXPECT_TRUE(takeBoxes().empty());
    EXPECT_EQ(textOf(hFilePathEdit), raw);
    ASSERT_NE(m_hDibBmp, nullptr);
    CDIBBitmap_clear();
    click(hViewButton);
    EXPECT_TRUE(takeBoxes().empty());
    ASSERT_NE(m_hDibBmp, nullptr);

    click(hSaveButton);
    const std::string reference = dir.file("reference.bmp");
    ASSERT_EQ(CDIBBitmap_save(reference.c_str()), 1);
    EXPECT_TRUE(fs::exists(wideDir / (stem + L".bmp")));
    const std::vector<uint8_t> saved = readFile(windowsPath(dir.path()) + "\\" + narrowStem + ".bmp");
    EXPECT_EQ(saved.size(), 54u + 1504u * 300u);
    EXPECT_TRUE(saved == readFile(reference));
}

size_t failingWrite(const void*, size_t, std::FILE*)
{
    errno = ENOSPC;
    return 0;
}

// Puts the core's own write back however the test ends.
struct WriteSeam {
    explicit WriteSeam(FileWriteFunction write) : saved(fileReplaceWrite) { fileReplaceWrite = write; }
    ~WriteSeam() { fileReplaceWrite = saved; }
    WriteSeam(const WriteSeam&) = delete;
    WriteSeam& operator=(const WriteSeam&) = delete;
    FileWriteFunction saved;
};

TEST_F(BadInputTest, SaveThatCannotWriteLeavesTheFolderAsItWasAndSaysNothing)
{
    struct Row {
        const char* name;
        void (*make)(const std::string& bmpPath);
        FileWriteFunction write;  // null: the core's own
    };
    const Row rows[] = {
        {"write error", [](const std::string& p) { writeFile(p, {'o', 'l', 'd'}); }, failingWrite},
        {"BMP name taken by a folder",
         [](const std::string& p) {
             fs::create_directory(p);
             writeFile(p + "/inside.txt", {'k', 'e', 'e', 'p'});
         },
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CDIBBitmap_clear();
        TempDir dir;
        const std::string raw = windowsPath(dir.file("chart.raw"));
        writeChart(raw);
        row.make(windowsPath(dir.file("chart.bmp")));
        setSettings("1000", "600", kRggb);
        drop({raw});
        ASSERT_NE(m_hDibBmp, nullptr);
        const Snapshot before = snapshot(dir.path());
        {
            const WriteSeam seam(row.write != nullptr ? row.write : fileReplaceWrite);
            click(hSaveButton);
        }
        EXPECT_TRUE(takeBoxes().empty());
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

TEST_F(BadInputTest, SaveReplacesTheOlderBmpAndNoNeighbour)
{
    TempDir dir;
    const std::string raw = windowsPath(dir.file("chart.raw"));
    writeChart(raw);
    // Names one character away from the BMP's, as an editor's backup might be.
    for (const char* name : {"chart.bmp", "chart.bm~", "chart.bm!", "chart.bm#"}) {
        writeFile(dir.file(name), {'o', 'l', 'd', static_cast<uint8_t>(name[8])});
    }
    setSettings("1000", "600", kRggb);
    drop({raw});
    ASSERT_NE(m_hDibBmp, nullptr);
    Snapshot expected = snapshot(dir.path());
    const std::string reference = chartDir_.file("reference.bmp");
    ASSERT_EQ(CDIBBitmap_save(reference.c_str()), 1);
    expected["chart.bmp"] = readFile(reference);

    click(hSaveButton);
    EXPECT_TRUE(takeBoxes().empty());
    EXPECT_EQ(snapshot(dir.path()), expected);
}

}  // namespace
