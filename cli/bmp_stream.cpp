#include "bmp_stream.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "bmp_writer.h"
#include "conversion_settings.h"
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

bool writeBmpInBands(ReplacingFile& out, const PackedSource& source, int32_t width, int32_t height,
                     const BayerTables& tables, const BandPlan& plan, std::string* reason,
                     BandFailure* failure)
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
    const auto bandBytes = static_cast<size_t>(rowsPerBand * g.stride);
    const auto bandInputBytes = static_cast<size_t>(g.rowBytes * 2 * rowsPerBand);

    // Every thread's buffers are made here, before any thread starts: memory
    // that runs out then means fewer threads, or a reason, never an exception
    // escaping a thread.
    struct Buffers {
        std::vector<uint8_t> input;
        std::vector<uint8_t> picture;  // the pad bytes stay zero
    };
    const unsigned wanted = std::clamp<unsigned>(plan.threads, 1, static_cast<unsigned>(bands));
    std::vector<Buffers> buffers;
    try {
        buffers.reserve(wanted);
        while (buffers.size() < wanted) {
            buffers.push_back({std::vector<uint8_t>(bandInputBytes), std::vector<uint8_t>(bandBytes, 0)});
        }
    } catch (const std::bad_alloc&) {
        if (buffers.empty()) {
            *reason = "not enough memory";
            *failure = BandFailure::Memory;
            return false;
        }
    }

    std::atomic<int32_t> nextToDecode{0};
    std::mutex order;
    std::condition_variable turn;
    int32_t nextToWrite = 0;
    bool failed = false;

    // Bands go in file order, which is bottom-up: band 0 holds the picture's
    // bottom rows, made from the last raw row pairs. Each thread takes the next
    // band, reads and decodes it into its own buffers and waits for its turn
    // to write.
    auto work = [&](Buffers& own) {
        std::vector<uint8_t>& input = own.input;
        std::vector<uint8_t>& picture = own.picture;
        std::string readReason;
        for (int32_t band = nextToDecode++; band < bands; band = nextToDecode++) {
            const int32_t firstRow = band * rowsPerBand;
            const int32_t rows = std::min(rowsPerBand, pictureRows - firstRow);
            const int32_t topRow = pictureRows - firstRow - rows;  // counted from the top
            const auto offset = static_cast<uint64_t>(g.rowBytes * 2 * topRow);
            const auto bytes = static_cast<size_t>(g.rowBytes * 2 * rows);
            const uint8_t* packed = source.rows(offset, bytes, input.data(), &readReason);
            const PictureView view{picture.data(), g.pictureWidth, rows, g.stride};
            const bool decoded =
                packed != nullptr && decodePackedRaw(packed, bytes, width, int64_t{2} * rows, tables, view);

            std::unique_lock<std::mutex> lock(order);
            turn.wait(lock, [&] { return failed || nextToWrite == band; });
            if (failed) {
                return;
            }
            if (packed == nullptr) {
                *reason = readReason;
                *failure = BandFailure::Read;
                failed = true;
            } else if (!decoded) {
                *reason = "the decoder refused a band of the picture";
                failed = true;
            } else if (!out.write(picture.data(), static_cast<size_t>(rows * g.stride))) {
                *reason = out.reason();
                failed = true;
            }
            ++nextToWrite;
            turn.notify_all();
            if (failed) {
                return;
            }
        }
    };

    std::vector<std::thread> helpers;
    try {
        helpers.reserve(buffers.size());
        for (size_t i = 1; i < buffers.size(); ++i) {
            helpers.emplace_back(work, std::ref(buffers[i]));
        }
    } catch (const std::exception&) {
        // No thread or no memory for one: fewer threads still finish every band.
    }
    work(buffers[0]);
    for (auto& helper : helpers) {
        helper.join();
    }
    if (!failed) {
        *failure = BandFailure::None;
    }
    return !failed;
}
