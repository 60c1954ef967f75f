#include "cli/band_source.h"

#include <algorithm>

#include "raw/raw_layout.h"

FrameRows::FrameRows(const PackedSource& source, const FrameGeometry& frame, int64_t frameIndex,
                     int32_t samplesPerRow)
    : source_(source), frame_(frame), frameIndex_(frameIndex), samplesPerRow_(samplesPerRow)
{
}

int64_t FrameRows::packedBytes(int32_t rows) const
{
    return (rows - int64_t{1}) * frame_.stride + minimumRowBytes(frame_.layout, frame_.width);
}

FrameRows::Buffers FrameRows::buffers(int32_t packedRows, int32_t unpackedRows) const
{
    Buffers own;
    own.packedCopy.resize(static_cast<size_t>(packedBytes(std::max(1, packedRows))));
    own.samples.resize(static_cast<size_t>(unpackedRows) * static_cast<size_t>(samplesPerRow_));
    own.rows.resize(static_cast<size_t>(unpackedRows));
    return own;
}

bool FrameRows::read(int32_t first, int32_t count, Buffers& own, std::string* reason) const
{
    const int64_t bytes = packedBytes(count);
    own.packedCopy.resize(static_cast<size_t>(bytes));
    const int64_t at = frameStart(frame_, frameIndex_) + first * frame_.stride;
    own.packed = source_.rows(static_cast<uint64_t>(at), static_cast<size_t>(bytes), own.packedCopy.data(), reason);
    own.first = first;
    return own.packed != nullptr;
}

const uint8_t* FrameRows::packedRow(const Buffers& own, int32_t row) const
{
    return own.packed + (row - own.first) * frame_.stride;
}

const uint16_t* FrameRows::unpackIntoRing(Buffers& own, int32_t row) const
{
    own.samples.resize(std::max(own.samples.size(), static_cast<size_t>(kRingRows) * static_cast<size_t>(samplesPerRow_)));
    uint16_t* samples = own.samples.data() + static_cast<size_t>(row % kRingRows) * static_cast<size_t>(samplesPerRow_);
    unpackRow(frame_.layout, packedRow(own, row), samplesPerRow_, samples);
    return samples;
}

const uint16_t* const* FrameRows::readUnpacked(int32_t first, int32_t count, Buffers& own, std::string* reason) const
{
    if (!read(first, count, own, reason)) {
        return nullptr;
    }
    own.samples.resize(static_cast<size_t>(count) * static_cast<size_t>(samplesPerRow_));
    own.rows.resize(static_cast<size_t>(count));
    for (int32_t r = 0; r < count; ++r) {
        uint16_t* samples = own.samples.data() + static_cast<size_t>(r) * static_cast<size_t>(samplesPerRow_);
        unpackRow(frame_.layout, packedRow(own, first + r), samplesPerRow_, samples);
        own.rows[static_cast<size_t>(r)] = samples;
    }
    return own.rows.data();
}
