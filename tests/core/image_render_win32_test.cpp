// The Windows image buffer drawn into a real device context.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "image_buffer.h"
#include "render_check.h"

namespace {

// A top-down 32-bit DIB selected into a memory DC: the window stand-in.
class Target {
public:
    Target()
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = kTargetWidth;
        info.bmiHeader.biHeight = -kTargetHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~Target()
    {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    bool ok() const { return dc_ != nullptr && bitmap_ != nullptr && bits_ != nullptr; }
    HDC dc() const { return dc_; }
    void fill() { std::memset(bits_, kBackground, 4u * kTargetWidth * kTargetHeight); }
    Bgr at(int32_t x, int32_t y) const
    {
        GdiFlush();
        const uint8_t* p = bits_ + 4 * (y * kTargetWidth + x);
        return {p[0], p[1], p[2]};
    }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint8_t* bits_ = nullptr;
};

TEST(Win32Render, DrawsUprightAndClipsAtEveryEdge)
{
    Target target;
    ASSERT_TRUE(target.ok());
    ASSERT_TRUE(makeTestPicture());
    for (const auto& offset : kOffsets) {
        target.fill();
        CDIBBitmap_sampleRender(target.dc(), offset[0], offset[1]);
        for (int32_t ty = 0; ty < kTargetHeight; ++ty) {
            for (int32_t tx = 0; tx < kTargetWidth; ++tx) {
                ASSERT_EQ(target.at(tx, ty), expectedAt(tx, ty, offset[0], offset[1]))
                    << "offset " << offset[0] << "," << offset[1] << " pixel " << tx << "," << ty;
            }
        }
    }
    CDIBBitmap_clear();
}

}  // namespace
