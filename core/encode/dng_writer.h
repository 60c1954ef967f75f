// Writing the mosaic itself as an uncompressed little-endian DNG 1.4, in one
// pass: every size follows from the frame, so the head (TIFF header, both IFDs
// and their values) is built first, the raw samples follow band by band, and
// the preview closes the file.
//
//   head     "II" 42, IFD 0 (the preview, NewSubFileType 1, with the DNG and
//            camera tags and SubIFDs), the raw IFD (NewSubFileType 0, CFA,
//            PhotometricInterpretation 32803), their values
//   raw      every sample of the W x H frame, unchanged, 16 bits little-endian,
//            rows top first, one strip; BlackLevel and WhiteLevel (2^bits - 1)
//            in sample units
//   preview  8-bit RGB, one strip: the cell picture (the BMP's pixels) taking
//            every previewStep-th cell of every previewStep-th cell row, the
//            step the smallest that keeps both sides within
//            kDngPreviewMaxSide
//
// The raw strip is contiguous because dcraw and its descendants read the raw
// image from the first strip offset on, whatever the other offsets say; the
// preview therefore cannot sit between raw bands and comes last, so a
// converter keeps its rows (at most 3 MB) until the raw rows are written.
// LibRaw finds the raw image only in a SubIFD, needs CFAPattern for the
// pattern and WhiteLevel for the maximum; darktable needs DNGVersion and
// ColorMatrix1.
//
// ColorMatrix1 is the XYZ (D65) to linear sRGB matrix with
// CalibrationIlluminant1 D65: raw developers take the sensor's colours as sRGB
// primaries, as the PNG and BMP show them, and a neutral sample as white.
// AsShotNeutral holds 1 / gain of each colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "picture/mosaic_band.h"

// Longest preview side: a screen-sized look at the frame that a converter can
// hold until the end of the file.
constexpr int32_t kDngPreviewMaxSide = 1024;

struct DngDescription {
    MosaicFrame frame{};
    uint16_t black = 0;                 // BlackLevel, below 2^bits - 1
    double gains[3] = {1.0, 1.0, 1.0};  // white balance applied; AsShotNeutral is their inverse
    std::string layoutName;             // the input layout, named in Model and UniqueCameraModel
};

struct DngLayout {
    int32_t previewStep = 1;     // cells and cell rows between preview pixels
    int32_t previewWidth = 0;
    int32_t previewHeight = 0;
    uint32_t rawOffset = 0;      // also the head's size
    uint32_t rawBytes = 0;       // W * H * 2
    uint32_t previewOffset = 0;  // right after the raw strip
    uint32_t previewBytes = 0;   // previewWidth * previewHeight * 3
    uint32_t fileBytes = 0;
};

// Plans the file. False for an invalid frame, a black level not below white, a
// gain that is not a positive finite number above 2^-31, or a file that would
// not fit TIFF's 32-bit offsets.
bool planDng(const DngDescription& description, DngLayout* layout);

// The file's first layout.rawOffset bytes.
std::vector<uint8_t> dngHead(const DngDescription& description, const DngLayout& layout);

// A row of samples as the raw strip holds it: 2 * width bytes, little-endian.
void dngRawRow(const uint16_t* samples, int32_t width, uint8_t* out);

// Preview row q is cell picture row q * previewStep taken at the same column
// step: developCellRows(frame, band, tables, q * step, 1, step, kRgb8, ...).
inline bool isDngPreviewCellRow(const DngLayout& layout, int32_t cellRow)
{
    return cellRow % layout.previewStep == 0 && cellRow / layout.previewStep < layout.previewHeight;
}
