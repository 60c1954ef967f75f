// Where a band's packed rows come from, and their samples: the rows of one
// frame read a band at a time into a slot's own buffers and unpacked to full
// precision (raw_layout.h), a whole band at once or a few rows in a ring that
// stays in the processor's cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// A dump, or the part of it from byte `start` on, held in memory.
class MemorySource : public PackedSource {
public:
    explicit MemorySource(const uint8_t* packed, uint64_t start = 0) : packed_(packed), start_(start) {}
    const uint8_t* rows(uint64_t offset, size_t, uint8_t*, std::string*) const override
    {
        return packed_ + (offset - start_);
    }

private:
    const uint8_t* packed_;
    uint64_t start_;
};

// Sample rows a band keeps unpacked at once when it is built row by row: the
// three a demosaicked row needs and one more, a few tens of kilobytes.
constexpr int32_t kRingRows = 4;

// The rows of one frame of a dump, `samplesPerRow` samples each when unpacked:
// the frame's width, or for a qcom10 frame's half-size pictures its whole last
// group, padding samples included, so they are exactly as wide as its BMP.
class FrameRows {
public:
    FrameRows(const PackedSource& source, const FrameGeometry& frame, int64_t frameIndex, int32_t samplesPerRow);

    // One slot's buffers, and the band read into them last.
    struct Buffers {
        std::vector<uint8_t> packedCopy;
        std::vector<uint16_t> samples;
        std::vector<const uint16_t*> rows;
        const uint8_t* packed = nullptr;  // the band's first row
        int32_t first = 0;                // and its number in the frame
    };
    // Buffers for bands of up to `packedRows` rows, `unpackedRows` of them
    // unpacked at once. Throws std::bad_alloc.
    Buffers buffers(int32_t packedRows, int32_t unpackedRows) const;

    // Reads rows first .. first + count - 1: every byte from the first row's
    // start to the last row's samples, the padding between them included but
    // not the last row's, which a file cut right after its samples lacks.
    // False with the reason when they cannot be read.
    bool read(int32_t first, int32_t count, Buffers& own, std::string* reason) const;

    // The packed bytes of row `row` of the band read last.
    const uint8_t* packedRow(const Buffers& own, int32_t row) const;

    // Row `row` of the band read last, unpacked into its place in a ring of
    // kRingRows rows.
    const uint16_t* unpackIntoRing(Buffers& own, int32_t row) const;

    // Rows first .. first + count - 1 read and unpacked whole into
    // own.samples, one after another. Null with the reason when they cannot
    // be read.
    const uint16_t* const* readUnpacked(int32_t first, int32_t count, Buffers& own, std::string* reason) const;

    const FrameGeometry& frame() const { return frame_; }
    int32_t samplesPerRow() const { return samplesPerRow_; }

private:
    int64_t packedBytes(int32_t rows) const;

    const PackedSource& source_;
    const FrameGeometry& frame_;
    int64_t frameIndex_;
    int32_t samplesPerRow_;
};
