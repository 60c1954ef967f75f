// Writes the BMP of a raw frame without ever holding the whole dump or the
// whole picture: the picture is made in bands of rows on several threads,
// each reading its band's raw rows, decoding them and writing the band as
// soon as the bands before it are written. The bytes are the window's, from
// the same decoder and header: every picture row depends only on its own raw
// row pair, and the row pad stays zero as in the window's image buffer.
//
// Bands small enough to stay in the processor's cache are what make this
// fast: each byte is copied in and out of the cache once, where a whole 28 MB
// picture would first be faulted in page by page and then read back from
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "raw/cell_layout.h"
#include "platform/file_replace.h"
#include "raw/raw_frame.h"

// Where the packed rows of a band come from.
class PackedSource {
public:
    virtual ~PackedSource() = default;
    // The `bytes` bytes at `offset` of the dump, read into `scratch` (room for
    // `bytes`) if they are not in memory already. Null with the reason on
    // failure. Called from several threads at once.
    virtual const uint8_t* rows(uint64_t offset, size_t bytes, uint8_t* scratch,
                                std::string* reason) const = 0;
};

// A dump held whole in memory.
class MemorySource : public PackedSource {
public:
    explicit MemorySource(const uint8_t* packed) : packed_(packed) {}
    const uint8_t* rows(uint64_t offset, size_t, uint8_t*, std::string*) const override
    {
        return packed_ + offset;
    }

private:
    const uint8_t* packed_;
};

struct BandPlan {
    int32_t rowsPerBand = 1;  // picture rows per band
    unsigned threads = 1;     // decoding threads, the calling one included
};

// Threads, the calling one included, that a frame's conversion repays: up to
// one a core and four in all, and one for every 4 MB of its rows.
unsigned worthwhileThreads(const FrameGeometry& frame);

// Bands of about 128 KB, which stay in the cache together with their raw
// rows (larger bands were measurably slower); a second thread only when the
// dump is large enough to repay starting it.
BandPlan planBands(const FrameGeometry& frame);

// What a failed writeBmpInBands could not do.
enum class BandFailure { None, Read, Write, Memory };

// The 54 header bytes of a width x height picture of rows `stride` bytes
// apart, written to `out`. False with the reason when the picture is too large
// for a BMP file or the write fails.
bool writeBmpHeader(ReplacingFile& out, int32_t width, int32_t height, int64_t stride, std::string* reason);

// Writes the whole BMP file (header and rows) of frame k of the dump that
// `source` gives, which must hold it. False with the reason when a read or
// write fails or there is not memory for even one band; `failure` says which.
bool writeBmpInBands(ReplacingFile& out, const PackedSource& source, const FrameGeometry& frame, int64_t k,
                     CellLayout cell, const BandPlan& plan, std::string* reason, BandFailure* failure);
