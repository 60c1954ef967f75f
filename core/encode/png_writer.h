// Writing a PNG (8-bit or 16-bit RGB, no interlace) in bands that are
// compressed independently, so each can be deflated on its own thread and the
// file written in order as bands complete. The file is
//
//   pngStart       signature, IHDR, and an IDAT holding the zlib stream header
//   band chunks    one IDAT a band: its rows, each a filter byte and the row
//                  filtered with Sub, as raw deflate ending in a full flush
//                  (byte-aligned, no final block), the last band's in Z_FINISH
//   pngFinish      an IDAT holding the Adler-32 of all bands' uncompressed
//                  bytes, combined band by band, then IEND
//
// The IDAT contents together are one zlib stream, as PNG requires. Sub needs no
// row of the band before, so bands stay independent; on photograph-like
// pictures it compresses as Up does and to half of no filter's size, where
// Paeth costs five times the filtering for nothing more. A band of noise,
// which no deflate setting shrinks, is stored. 16-bit bands that are not
// stored are deflated by this writer's own coder (byte runs and Huffman codes,
// as zlib's Z_RLE does, in a third to a quarter of its time); 8-bit ones
// by zlib.
// Rows are the picture's top row first, 16-bit samples big-endian
// (PixelFormat::kRgb16BigEndian).
#pragma once

#include <cstdint>
#include <vector>

// Largest uncompressed band: even incompressible, its IDAT stays under PNG's
// 2^31 chunk length, and adler32_combine's length (a 32-bit long on Windows)
// holds it.
constexpr uint64_t kMaxPngBandBytes = uint64_t{1} << 30;

// The Adler-32 to combine the first band into.
constexpr uint32_t kPngAdlerStart = 1;

// Bytes before the first band for a width x height RGB picture of 8 or 16 bits.
// Empty for a size outside 1 .. 2^31 - 1 or another depth.
std::vector<uint8_t> pngStart(int32_t width, int32_t height, int32_t bitDepth);

struct PngBand {
    std::vector<uint8_t> chunk;  // the whole IDAT chunk: length, type, data, CRC
    uint32_t adler = 0;          // Adler-32 of the band's uncompressed bytes
    uint64_t bytes = 0;          // how many there are: rows * (1 + row bytes)
    std::vector<uint8_t> filtered;  // scratch, kept so that reusing a band allocates nothing
    std::vector<uint16_t> tokens;   // scratch of a 16-bit band's own deflate coder
};

// Compresses `rowCount` rows of `width` pixels (3 or 6 bytes each for
// `bitDepth` 8 or 16), row k at rows + k * stride, into `band`. `last` for the
// picture's last band. False when zlib fails, the band is empty or above
// kMaxPngBandBytes, or the depth is not 8 or 16.
bool pngEncodeBand(const uint8_t* rows, int64_t stride, int32_t rowCount, int32_t width,
                   int32_t bitDepth, bool last, PngBand* band);

// The Adler-32 of everything so far followed by `band`; feed the bands in
// file order, starting from kPngAdlerStart.
uint32_t pngCombineAdler(uint32_t adlerSoFar, const PngBand& band);

// Bytes after the last band.
std::vector<uint8_t> pngFinish(uint32_t adler);
