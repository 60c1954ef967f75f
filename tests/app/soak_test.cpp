// A long run of Views and paints must not leak.
#include "window_fixture.h"

#include <psapi.h>
#include <winternl.h>

namespace {

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

using SoakTest = WindowTest;

TEST_F(SoakTest, ManyViewsAndPaintsKeepGdiObjectsAndMemoryFlat)
{
    const std::string raws[] = {windowsPath(dir_.file("a.raw")), windowsPath(dir_.file("b.raw"))};
    writeFile(raws[0], packFrame(randomFrame(642, 482, 7)));
    writeFile(raws[1], packFrame(randomFrame(700, 500, 8)));
    const auto view = [&raws](int i) {
        setSettings(i % 2 == 0 ? "642" : "700", i % 2 == 0 ? "482" : "500", kRggb);
        std::strcpy(szFile, raws[i % 2].c_str());
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
