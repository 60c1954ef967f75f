// Where the rows of a frame lie in a dump: many capture stacks pad each row to
// a stride, put a header in front and write several frames into one file.
//
//   file     offset bytes of header, then frame 0, frame 1, ...
//   frame    `scanlines` rows of `stride` bytes each (scanlines >= height); the
//            picture uses the first `height` of them
//   row      the layout's packed samples (raw_layout.h), minimumRowBytes of
//            them for `width` samples, then stride - minimumRowBytes bytes of
//            padding that nothing reads
//
// A frame is in the file when its last used row's samples are, whether or not
// the padding after them is: a dump cut after its last row's samples is whole.
#pragma once

#include <cstdint>

#include "raw/raw_layout.h"

// Limits that keep every byte position below 2^62, so no sum or product here
// can overflow, while far beyond any real dump.
constexpr int64_t kMaxRowStride = int64_t{1} << 20;    // bytes; 32 x a 16384-sample row of words
constexpr int64_t kMaxScanlines = int64_t{1} << 16;    // rows a frame may occupy
constexpr int64_t kMaxFrameOffset = int64_t{1} << 40;  // bytes of header
constexpr int64_t kMaxFrameIndex = int64_t{1} << 20;   // frames into a file

struct FrameGeometry {
    RawLayout layout = RawLayout::Qcom10;
    int32_t width = 0;      // samples a row
    int32_t height = 0;     // rows the picture uses
    int64_t stride = 0;     // bytes from one row's start to the next
    int64_t offset = 0;     // bytes before frame 0
    int64_t scanlines = 0;  // rows from one frame's start to the next
};

// Whether the numbers describe frames that can be read: width and height at
// least 1 and 2 and within kMaxRawDimension, the stride at least a row's
// bytes, scanlines at least the height, and every value within the limits.
bool isReadableFrame(const FrameGeometry& frame);

// Bytes from one frame's start to the next: stride x scanlines.
int64_t frameStep(const FrameGeometry& frame);

// Position of frame k's first row.
int64_t frameStart(const FrameGeometry& frame, int64_t k);

// Bytes a file needs to hold frame k: up to its last used row's samples.
int64_t frameEnd(const FrameGeometry& frame, int64_t k);

// How many frames, counted from 0, a file of `fileBytes` holds whole.
int64_t framesHeld(const FrameGeometry& frame, int64_t fileBytes);

// Picture size: layoutPictureWidth x height / 2.
int32_t framePictureWidth(const FrameGeometry& frame);
int32_t framePictureHeight(const FrameGeometry& frame);
