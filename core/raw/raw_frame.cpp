#include "raw/raw_frame.h"

#include "raw/raw_geometry.h"

bool isReadableFrame(const FrameGeometry& f)
{
    return layoutName(f.layout) != nullptr && f.width >= 1 && f.width <= kMaxRawDimension &&
           f.height >= 2 && f.height <= kMaxRawDimension && f.stride >= minimumRowBytes(f.layout, f.width) &&
           f.stride <= kMaxRowStride && f.scanlines >= f.height && f.scanlines <= kMaxScanlines &&
           f.offset >= 0 && f.offset <= kMaxFrameOffset && framePictureWidth(f) > 0;
}

int64_t frameStep(const FrameGeometry& f)
{
    return f.stride * f.scanlines;
}

int64_t frameStart(const FrameGeometry& f, int64_t k)
{
    return f.offset + k * frameStep(f);
}

int64_t frameEnd(const FrameGeometry& f, int64_t k)
{
    return frameStart(f, k) + (f.height - 1) * f.stride + minimumRowBytes(f.layout, f.width);
}

int64_t framesHeld(const FrameGeometry& f, int64_t fileBytes)
{
    if (fileBytes < frameEnd(f, 0)) {
        return 0;
    }
    return (fileBytes - frameEnd(f, 0)) / frameStep(f) + 1;
}

int32_t framePictureWidth(const FrameGeometry& f)
{
    return layoutPictureWidth(f.layout, f.width);
}

int32_t framePictureHeight(const FrameGeometry& f)
{
    return f.height / 2;
}
