#include "cli/bmp_stream.h"

#include <algorithm>
#include <new>
#include <thread>
#include <vector>

#include "cli/band_pipeline.h"
#include "decode/layout_decoder.h"
#include "encode/bmp_format.h"
#include "raw/raw_geometry.h"

namespace {

constexpr int64_t kBandBytes = int64_t{128} * 1024;
// Input bytes a thread must have to repay starting it: a 1.4 MB dump
// converted about 5 % faster on one thread than on two.
constexpr int64_t kInputBytesPerThread = int64_t{4} * 1024 * 1024;
// Decoding is about a tenth of the work; the copies into and out of the page
// cache are most of the rest and share one memory bus, so more threads than a
// few only wait for each other. Developing and deflating keep more cores busy,
// but past four they too wait on that bus.
constexpr unsigned kMaxThreads = 4;

}  // namespace

unsigned worthwhileThreads(const FrameGeometry& frame)
{
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    const int64_t worthwhile = frame.stride * frame.height / kInputBytesPerThread + 1;
    return static_cast<unsigned>(std::min<int64_t>({hardware, kMaxThreads, worthwhile}));
}

BandPlan planBands(const FrameGeometry& frame)
{
    const int64_t stride = pictureStride(framePictureWidth(frame));
    BandPlan plan;
    plan.rowsPerBand = static_cast<int32_t>(std::max<int64_t>(1, kBandBytes / std::max<int64_t>(1, stride)));
    plan.threads = worthwhileThreads(frame);
    return plan;
}

namespace {

// Every worker's buffers, made before any thread starts: memory that runs out
// then means fewer workers, or a reason, never an exception escaping a thread.
struct BandBuffers {
    std::vector<uint8_t> input;
    std::vector<uint8_t> picture;  // the pad bytes stay zero
};

std::vector<BandBuffers> makeBuffers(unsigned wanted, size_t inputBytes, size_t pictureBytes)
{
    std::vector<BandBuffers> buffers;
    try {
        buffers.reserve(wanted);
        while (buffers.size() < wanted) {
            buffers.push_back({std::vector<uint8_t>(inputBytes), std::vector<uint8_t>(pictureBytes, 0)});
        }
    } catch (const std::bad_alloc&) {
        // As many as there was memory for.
    }
    return buffers;
}

}  // namespace

bool writeBmpHeader(ReplacingFile& out, int32_t width, int32_t height, int64_t stride, std::string* reason)
{
    uint8_t header[kBmpHeaderBytes];
    if (!buildBmpHeader(width, height, stride, header)) {
        *reason = "the picture is too large for a BMP file";
        return false;
    }
    if (!out.write(header, sizeof header)) {
        *reason = out.reason();
        return false;
    }
    return true;
}

bool writeBmpInBands(ReplacingFile& out, const PackedSource& source, const FrameGeometry& frame, int64_t k,
                     CellLayout cell, const BandPlan& plan, std::string* reason, BandFailure* failure)
{
    *failure = BandFailure::Write;
    const int32_t width = framePictureWidth(frame);
    const int32_t pictureRows = framePictureHeight(frame);
    const int64_t stride = pictureStride(width);
    if (!writeBmpHeader(out, width, pictureRows, stride, reason)) {
        return false;
    }

    // A band of n picture rows reads 2n raw rows: every byte from the first
    // row's start to the last row's samples, padding between them included.
    const int32_t rowsPerBand = std::clamp(plan.rowsPerBand, 1, pictureRows);
    const int32_t bands = (pictureRows + rowsPerBand - 1) / rowsPerBand;
    const int64_t rowBytes = minimumRowBytes(frame.layout, frame.width);
    const auto bandInput = [&](int32_t rows) { return (int64_t{2} * rows - 1) * frame.stride + rowBytes; };
    const unsigned wanted = std::clamp<unsigned>(plan.threads, 1, static_cast<unsigned>(bands));
    std::vector<BandBuffers> buffers = makeBuffers(wanted, static_cast<size_t>(bandInput(rowsPerBand)),
                                                   static_cast<size_t>(rowsPerBand * stride));
    if (buffers.empty()) {
        *reason = "not enough memory";
        *failure = BandFailure::Memory;
        return false;
    }

    // Bands go in file order, which is bottom-up: band 0 holds the picture's
    // bottom rows, made from the last raw row pairs.
    const auto rowsOf = [&](int32_t band) { return std::min(rowsPerBand, pictureRows - band * rowsPerBand); };
    const auto make = [&](int32_t band, unsigned worker, std::string* why) {
        BandBuffers& own = buffers[worker];
        const int32_t rows = rowsOf(band);
        const int32_t topRow = pictureRows - band * rowsPerBand - rows;  // counted from the top
        const int64_t at = frameStart(frame, k) + int64_t{2} * topRow * frame.stride;
        const uint8_t* raw = source.rows(static_cast<uint64_t>(at), static_cast<size_t>(bandInput(rows)),
                                         own.input.data(), why);
        if (raw == nullptr) {
            return false;
        }
        for (int32_t j = 0; j < rows; ++j) {
            const uint8_t* upper = raw + int64_t{2} * j * frame.stride;
            decodeFrameRowPair(frame, upper, upper + frame.stride, cell,
                               own.picture.data() + (rows - 1 - j) * stride);
        }
        return true;
    };
    const auto deliver = [&](int32_t band, unsigned worker, std::string* why) {
        if (!out.write(buffers[worker].picture.data(), static_cast<size_t>(rowsOf(band) * stride))) {
            *why = out.reason();
            return false;
        }
        return true;
    };

    const BandOutcome outcome = runBands(bands, static_cast<unsigned>(buffers.size()), make, deliver);
    *reason = outcome.reason;
    *failure = outcome.failed == BandStage::None    ? BandFailure::None
               : outcome.failed == BandStage::Make ? BandFailure::Read
                                                    : BandFailure::Write;
    return outcome.failed == BandStage::None;
}
