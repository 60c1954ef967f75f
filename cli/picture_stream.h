// Writes every picture but the plain BMP of a frame (which bmp_stream.h makes
// straight from the packed bytes): BMPs and PNGs developed from the frame's
// samples, at half or full size, and the DNG of the mosaic itself. Like the
// plain BMP, each is made in bands on several threads and written in order,
// so memory stays that of a few bands whatever the size of the dump.
//
// Each band's packed rows are read at once; its sample rows are unpacked to
// full precision (raw_layout.h) a few at a time, into a ring that stays in the
// processor's cache, and turned into pixels by the core's picture builders
// (picture_rows.h, develop.h). A DNG's strip is the unpacked rows themselves,
// and the plain 8-bit PNG is the BMP's pixels, made by its decoders straight
// from the packed rows. A qcom10 frame's half-size pictures take the padding
// samples of its last group too, so they are exactly as wide as its BMP.
#pragma once

#include <cstdint>
#include <string>

#include "cli/arguments.h"
#include "cli/bmp_stream.h"
#include "raw/cell_layout.h"
#include "platform/file_replace.h"
#include "raw/raw_frame.h"

// Whether a picture needs the sample path: any type but BMP, or any look.
bool needsSamples(OutputType type, const Development& look);

// The size a picture of the frame has: the mosaic's for --full and DNG, else a
// pixel a cell.
struct PictureSize {
    int32_t width = 0;
    int32_t height = 0;
};
PictureSize pictureSize(const FrameGeometry& frame, OutputType type, const Development& look);

// Writes the whole file of frame k, which `source` must hold. False with the
// reason when a read or write fails or memory runs out; `failure` says which.
// `bandBytes` sets the output bytes a band makes, 0 leaving each type its own
// measured size: tests make bands of a row or two to put band edges anywhere.
bool writePictureInBands(ReplacingFile& out, const PackedSource& source, const FrameGeometry& frame, int64_t k,
                         CellLayout cell, OutputType type, const Development& look, std::string* reason,
                         BandFailure* failure, int64_t bandBytes = 0);
