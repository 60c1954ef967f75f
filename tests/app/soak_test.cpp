#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "control_panel.h"
#include "image_buffer.h"
#include "main_bayer.h"
#include "raw_builder.h"
#include "temp_dir.h"
#include "window_fixture.h"

namespace {

// One row of the process's GDI handle table, as the PEB publishes it on 64-bit
// Windows and Wine alike.
struct GdiHandleEntry {
    uint64_t kernelObject;
    uint16_t processId;
    uint16_t count;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t userObject;
};
static_assert(sizeof(GdiHandleEntry) == 24, "64-bit table layout");

constexpr size_t kPebGdiTableOffset = 0xF8;
constexpr size_t kGdiTableEntries = 0x10000;

// Live GDI objects of this process. Wine's GetGuiResources is a stub that fails
// with ERROR_CALL_NOT_IMPLEMENTED; its handle table, which Wine keeps per
// process, is then counted instead.
DWORD gdiObjectCount()
{
    SetLastError(0);
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) {
        return reported;
    }
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) != 0) {
        return 0;
    }
    const GdiHandleEntry* table = nullptr;
    std::memcpy(&table, reinterpret_cast<const uint8_t*>(basic.PebBaseAddress) + kPebGdiTableOffset,
                sizeof table);
    if (table == nullptr) {
        return 0;
    }
    DWORD live = 0;
    for (size_t i = 0; i < kGdiTableEntries; ++i) {
        live += table[i].type != 0 ? 1 : 0;
    }
    return live;
}

// Committed private memory. Wine reports PrivateUsage as 0 but keeps
// PagefileUsage, which Windows sets to the same figure.
size_t privateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

struct Usage {
    DWORD gdi;
    size_t bytes;
};

Usage usageNow()
{
    return {gdiObjectCount(), privateBytes()};
}

// Room for the allocator and the platform to keep a few freed blocks for reuse
// (each picture here is under 270 KB, each input buffer under 470 KB); well
// below what a leak of a kilobyte per View or paint adds up to over the rounds.
constexpr size_t kMemorySlack = 1u << 20;

struct Geometry {
    const char* width;
    const char* height;
    RawFrame frame;
    std::string raw;
};

class SoakTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        geometries_[0] = {"642", "482", randomFrame(642, 482, 7), windowsPath(dir_.file("a.raw"))};
        geometries_[1] = {"700", "500", randomFrame(700, 500, 8), windowsPath(dir_.file("b.raw"))};
        for (const Geometry& g : geometries_) {
            writeFile(g.raw, packFrame(g.frame));
        }
        click(hHideButton);
    }

    void view(const Geometry& g)
    {
        setSettings(g.width, g.height, kRggb);
        std::strcpy(szFile, g.raw.c_str());
        click(hViewButton);
    }

    void mouse(UINT msg, int x, int y)
    {
        SendMessageA(hwnd_, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
    }

    TempDir dir_;
    Geometry geometries_[2];
};

constexpr int kRounds = 1000;

TEST_F(SoakTest, ManyViewsAndPaintsKeepGdiObjectsAndMemoryFlat)
{
    // The platform creates its stock objects and caches on first use.
    for (const Geometry& g : geometries_) {
        view(g);
        paintNow();
    }
    ASSERT_TRUE(takeBoxes().empty());
    const Usage atStart = usageNow();
    ASSERT_GT(atStart.gdi, 0u) << "GDI objects cannot be counted here";
    ASSERT_GT(atStart.bytes, 0u) << "memory cannot be measured here";
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();

    for (int i = 0; i < kRounds; ++i) {
        view(geometries_[i % 2]);
    }
    EXPECT_TRUE(takeBoxes().empty());
    const Usage afterViews = usageNow();
    const Clock::time_point viewed = Clock::now();

    // Drag in a loop that ends with the picture's corner at (21, 13).
    mouse(WM_LBUTTONDOWN, 300, 300);
    for (int i = 0; i < kRounds; ++i) {
        mouse(WM_MOUSEMOVE, 300 + (i * 37) % 200 - 100, 300 + (i * 53) % 160 - 80);
        paintNow();
    }
    mouse(WM_MOUSEMOVE, 321, 313);
    mouse(WM_LBUTTONUP, 321, 313);
    paintNow();
    const Usage afterPaints = usageNow();
    const std::chrono::duration<double> viewing = viewed - started;
    const std::chrono::duration<double> painting = Clock::now() - viewed;

    std::cout << "GDI objects " << atStart.gdi << " -> " << afterViews.gdi << " after views -> "
              << afterPaints.gdi << " after paints; private bytes " << atStart.bytes << " -> "
              << afterViews.bytes << " -> " << afterPaints.bytes << "; views " << viewing.count()
              << " s, paints " << painting.count() << " s\n";
    EXPECT_EQ(afterViews.gdi, atStart.gdi);
    EXPECT_EQ(afterPaints.gdi, atStart.gdi);
    EXPECT_LE(afterViews.bytes, atStart.bytes + kMemorySlack);
    EXPECT_LE(afterPaints.bytes, atStart.bytes + kMemorySlack);

    // The last View was of the 700 x 500 file. Its corner lies under the ">"
    // button, so the probes keep clear of it.
    const Geometry& last = geometries_[(kRounds - 1) % 2];
    const std::vector<uint8_t> expected = expectedPicture(last.frame, "RGGB");
    ASSERT_EQ(m_nBmpWidth, 351);
    ASSERT_EQ(m_nBmpHeight, 250);
    ASSERT_EQ(static_cast<size_t>(m_nBmpStride * m_nBmpHeight), expected.size());
    EXPECT_EQ(std::memcmp(m_pBmpData, expected.data(), expected.size()), 0);
    ASSERT_EQ(x_draw, 21);
    ASSERT_EQ(y_draw, 13);
    for (const POINT p : {POINT{30, 30}, POINT{350, 0}, POINT{0, 249}, POINT{350, 249}, POINT{175, 120}}) {
        const size_t at = static_cast<size_t>((m_nBmpHeight - 1 - p.y) * m_nBmpStride + 3 * p.x);
        EXPECT_EQ(pixelAt(21 + p.x, 13 + p.y), (ChartColour{expected[at + 2], expected[at + 1], expected[at]}))
            << "picture point " << p.x << ", " << p.y;
    }
}

}  // namespace
