#include <gtest/gtest.h>

#include <climits>

#include "image_buffer.h"
#include "image_canvas.h"
#include "render_check.h"

namespace {

TEST(HeapRender, DrawsUprightAndClipsAtEveryEdge)
{
    ASSERT_TRUE(makeTestPicture());
    for (const auto& offset : kOffsets) {
        ImageCanvas canvas(kTargetWidth, kTargetHeight, kBackground);
        CDIBBitmap_sampleRender(&canvas, offset[0], offset[1]);
        for (int32_t ty = 0; ty < kTargetHeight; ++ty) {
            for (int32_t tx = 0; tx < kTargetWidth; ++tx) {
                const uint8_t* p = canvas.at(tx, ty);
                const Bgr want = expectedAt(tx, ty, offset[0], offset[1]);
                ASSERT_EQ((Bgr{p[0], p[1], p[2]}), want)
                    << "offset " << offset[0] << "," << offset[1] << " pixel " << tx << "," << ty;
            }
        }
    }
    // Offsets at the ends of the int32 range clip instead of wrapping.
    ImageCanvas canvas(kTargetWidth, kTargetHeight, kBackground);
    CDIBBitmap_sampleRender(&canvas, INT32_MIN, INT32_MIN);
    CDIBBitmap_sampleRender(&canvas, INT32_MAX, INT32_MAX);
    CDIBBitmap_sampleRender(&canvas, INT32_MIN, 0);
    for (uint8_t b : canvas.pixels) {
        ASSERT_EQ(b, kBackground);
    }
    CDIBBitmap_clear();
}

}  // namespace
