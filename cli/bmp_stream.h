// The plain BMP of a frame with a chosen band plan: the form the converter's
// band tests call. frame_writer.h writes every output.
#pragma once

#include <string>

#include "cli/frame_writer.h"

inline bool writeBmpInBands(ReplacingFile& out, const PackedSource& source, const FrameGeometry& frame,
                            int64_t frameIndex, CellLayout cell, const BandPlan& plan, std::string* reason,
                            BandFailure* failure)
{
    return writeFrameInBands(out, FrameRequest{source, frame, frameIndex, cell, OutputType::Bmp, Development{}, plan},
                             reason, failure);
}
