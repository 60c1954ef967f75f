#include "bmp_stream.h"

#include <algorithm>
#include <new>
#include <thread>
#include <vector>

#include "band_pipeline.h"
#include "bmp_format.h"
#include "raw_geometry.h"
#include "raw_decoder.h"

namespace {

constexpr int64_t kBandBytes = int64_t{128} * 1024;
constexpr int64_t kInputBytesPerThread = int64_t{4} * 1024 * 1024;
// Decoding is about a tenth of the work; the copies into and out of the page
// cache are most of the rest and share one memory bus, so more threads than a
// few only wait for each other.
constexpr unsigned kMaxThreads = 4;

}  // namespace

BandPlan planBands(int32_t width, int32_t height)
{
    const RawGeometry g = rawGeometry(width, height);
    BandPlan plan;
    plan.rowsPerBand = static_cast<int32_t>(std::max<int64_t>(1, kBandBytes / std::max<int64_t>(1, g.stride)));
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    const int64_t worthwhile = g.inputBytes / kInputBytesPerThread + 1;
    plan.threads = static_cast<unsigned>(std::min<int64_t>({hardware, kMaxThreads, worthwhile}));
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

bool writeBmpInBands(ReplacingFile& out, const PackedSource& source, int32_t width, int32_t height,
                     CellLayout cell, const BandPlan& plan, std::string* reason, BandFailure* failure)
{
    *failure = BandFailure::Write;
    const RawGeometry g = rawGeometry(width, height);
    uint8_t header[kBmpHeaderBytes];
    if (!buildBmpHeader(g.pictureWidth, g.pictureHeight, g.stride, header)) {
        *reason = "the picture is too large for a BMP file";
        return false;
    }
    if (!out.write(header, sizeof header)) {
        *reason = out.reason();
        return false;
    }

    const int32_t pictureRows = g.pictureHeight;
    const int32_t rowsPerBand = std::clamp(plan.rowsPerBand, 1, pictureRows);
    const int32_t bands = (pictureRows + rowsPerBand - 1) / rowsPerBand;
    const unsigned wanted = std::clamp<unsigned>(plan.threads, 1, static_cast<unsigned>(bands));
    std::vector<BandBuffers> buffers = makeBuffers(wanted, static_cast<size_t>(g.rowBytes * 2 * rowsPerBand),
                                                   static_cast<size_t>(rowsPerBand * g.stride));
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
        const auto bytes = static_cast<size_t>(g.rowBytes * 2 * rows);
        const uint8_t* packed =
            source.rows(static_cast<uint64_t>(g.rowBytes * 2 * topRow), bytes, own.input.data(), why);
        if (packed == nullptr) {
            return false;
        }
        if (!decodePackedRaw(packed, bytes, width, int64_t{2} * rows, cell,
                             BgrRows{own.picture.data(), g.pictureWidth, rows, g.stride})) {
            *why = "the decoder refused a band of the picture";
            return false;
        }
        return true;
    };
    const auto deliver = [&](int32_t band, unsigned worker, std::string* why) {
        if (!out.write(buffers[worker].picture.data(), static_cast<size_t>(rowsOf(band) * g.stride))) {
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
