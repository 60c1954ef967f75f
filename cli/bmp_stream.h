// Writes the BMP of a packed dump without ever holding the whole picture: the
// picture is decoded in bands of rows on several threads and each band is
// written as soon as the bands before it are. The bytes are the window's,
// from the same decoder and header: every picture row depends only on its own
// raw row pair, and the row pad stays zero as in the window's image buffer.
//
// Bands small enough to stay in the processor's cache are what make this
// fast: writing a band copies it from cache, where a whole 28 MB picture
// would first be faulted in page by page and then read back from memory.
#pragma once

#include <cstdint>
#include <string>

#include "bayer_pattern.h"
#include "replacing_file.h"

struct BandPlan {
    int32_t rowsPerBand = 1;  // picture rows per band
    unsigned threads = 1;     // decoding threads, the calling one included
};

// Bands of about a quarter megabyte; a second thread only when the dump is
// large enough to repay starting it.
BandPlan planBands(int32_t width, int32_t height);

// Writes the whole BMP file (header and rows) of the W x H dump at `packed`,
// which must hold its N bytes. False with the reason when a write fails.
bool writeBmpInBands(ReplacingFile& out, const uint8_t* packed, int32_t width, int32_t height,
                     const BayerTables& tables, const BandPlan& plan, std::string* reason);
