// Writes one frame of a dump to its picture file (BMP, PNG or DNG, developed
// or not) without ever holding the whole dump or the whole picture:
// band_pipeline.h makes the picture in bands on several threads and hands
// them to the file type's sink in order. A plain BMP is the window's, byte for byte: the same
// decoders and header, every picture row made from its own raw row pair alone.
#pragma once

#include <cstdint>
#include <string>

#include "cli/arguments.h"
#include "cli/band_pipeline.h"
#include "cli/band_source.h"
#include "platform/file_replace.h"
#include "raw/cell_layout.h"
#include "raw/raw_frame.h"

struct FrameRequest {
    const PackedSource& source;  // must hold the frame
    FrameGeometry frame;
    int64_t frameIndex = 0;
    CellLayout cell{};
    OutputType type = OutputType::Bmp;
    Development look;
    BandPlan plan;
};

// The size a picture of the frame has: the mosaic's for --full and DNG, else a
// pixel a cell.
struct PictureSize {
    int32_t width = 0;
    int32_t height = 0;
};
PictureSize pictureSize(const FrameGeometry& frame, OutputType type, const Development& look);

// The white balance gains: none, the given ones, or grey world's from a first
// pass over the frame. False with the reason when a read fails.
bool balanceGains(const FrameRequest& request, double gains[3], std::string* reason, BandFailure* failure);

// Writes the whole file. False with the reason when a read or write fails or
// memory runs out; `failure` says which.
bool writeFrameInBands(ReplacingFile& out, const FrameRequest& request, std::string* reason, BandFailure* failure);
