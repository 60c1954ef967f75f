// The sink of each output file type (band_pipeline.h), each in its own file:
//
//   BMP  header, then the picture's rows bottom-up as the format stores them,
//        each padded with zeros to 4 bytes as in the window's image buffer
//   PNG  png_writer.h's start, a deflated IDAT a band, the Adler-32 and IEND
//   DNG  dng_writer.h's head, the unpacked samples themselves as the raw strip,
//        and the preview, built from each band as it passes, last
#pragma once

#include <cstdint>
#include <memory>

#include "cli/band_pipeline.h"
#include "cli/band_pixels.h"
#include "encode/dng_writer.h"
#include "platform/file_replace.h"

std::unique_ptr<BandSink> bmpSink(ReplacingFile& out, BandPixels& pixels);

// `pixels` in kRgb8 or kRgb16BigEndian.
std::unique_ptr<BandSink> pngSink(ReplacingFile& out, BandPixels& pixels);

// `rows` unpacks the frame's own width of samples.
std::unique_ptr<BandSink> dngSink(ReplacingFile& out, const FrameRows& rows, const DngDescription& description);
