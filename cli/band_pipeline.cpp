#include "cli/band_pipeline.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

// Input bytes a thread must have to repay starting it: a 1.4 MB dump
// converted about 5 % faster on one thread than on two.
constexpr int64_t kInputBytesPerThread = int64_t{4} * 1024 * 1024;
// Decoding is about a tenth of the work; the copies into and out of the page
// cache are most of the rest and share one memory bus, so more threads than a
// few only wait for each other. Developing and deflating keep more cores busy,
// but past four they too wait on that bus.
constexpr unsigned kMaxThreads = 4;

// What the workers share: which band is next to make, which next to deliver,
// and the first failure.
struct PipelineProgress {
    std::atomic<int32_t> nextToMake{0};
    std::mutex order;
    std::condition_variable deliveredOne;
    int32_t nextToDeliver = 0;
    BandOutcome outcome;
};

void work(PipelineProgress& shared, int32_t bands, unsigned worker, const MakeBand& make, const DeliverBand& deliver)
{
    for (int32_t band = shared.nextToMake++; band < bands; band = shared.nextToMake++) {
        std::string reason;
        const bool made = make(band, worker, &reason);

        std::unique_lock<std::mutex> lock(shared.order);
        shared.deliveredOne.wait(
            lock, [&] { return shared.outcome.failed != BandStage::None || shared.nextToDeliver == band; });
        if (shared.outcome.failed != BandStage::None) {
            return;
        }
        if (!made) {
            shared.outcome = {BandStage::Make, reason};
        } else if (!deliver(band, worker, &reason)) {
            shared.outcome = {BandStage::Deliver, reason};
        }
        ++shared.nextToDeliver;
        // Every waiting worker: only the one holding the next band may go on.
        shared.deliveredOne.notify_all();
        if (shared.outcome.failed != BandStage::None) {
            return;
        }
    }
}

}  // namespace

unsigned worthwhileThreads(const FrameGeometry& frame)
{
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    const int64_t worthwhile = frame.stride * frame.height / kInputBytesPerThread + 1;
    return static_cast<unsigned>(std::min<int64_t>({hardware, kMaxThreads, worthwhile}));
}

BandOutcome runBands(int32_t bands, unsigned workers, const MakeBand& make, const DeliverBand& deliver)
{
    PipelineProgress shared;
    std::vector<std::thread> helpers;
    try {
        for (unsigned w = 1; w < workers; ++w) {
            helpers.emplace_back(work, std::ref(shared), bands, w, std::cref(make), std::cref(deliver));
        }
    } catch (const std::exception&) {
        // No thread or no memory for one: fewer threads still make every band.
    }
    work(shared, bands, 0, make, deliver);
    for (auto& helper : helpers) {
        helper.join();
    }
    return shared.outcome;
}

bool writeBands(BandSink& sink, const BandPlan& plan, const FrameGeometry& frame, std::string* reason,
                BandFailure* failure)
{
    *failure = BandFailure::Write;
    if (!sink.begin(reason)) {
        return false;
    }
    const int32_t rows = sink.rows();
    const int64_t rowsPerBand = plan.rowsPerBand > 0 ? plan.rowsPerBand : kBandBytes / std::max<int64_t>(1, sink.rowBytes());
    const int32_t bandRows = static_cast<int32_t>(std::clamp<int64_t>(rowsPerBand, 1, rows));
    const int32_t bands = (rows + bandRows - 1) / bandRows;
    const unsigned wanted = std::clamp<unsigned>(plan.threads > 0 ? plan.threads : worthwhileThreads(frame), 1,
                                                 static_cast<unsigned>(bands));
    unsigned workers = 0;
    try {
        for (; workers < wanted; ++workers) {
            sink.addWorker(bandRows);
        }
    } catch (const std::bad_alloc&) {
        // As many workers as there was memory for.
    }
    if (workers == 0) {
        *reason = "not enough memory";
        *failure = BandFailure::Memory;
        return false;
    }

    const auto rowsOf = [&](int32_t band) {
        const int32_t first = band * bandRows;
        return BandRows{band, first, std::min(bandRows, rows - first), band + 1 == bands};
    };
    std::atomic<bool> outOfMemory{false};
    const auto make = [&](int32_t band, unsigned worker, std::string* why) {
        try {
            return sink.make(rowsOf(band), worker, why);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
            *why = "not enough memory";
            return false;
        }
    };
    const auto deliver = [&](int32_t band, unsigned worker, std::string* why) {
        return sink.deliver(rowsOf(band), worker, why);
    };
    const BandOutcome outcome = runBands(bands, workers, make, deliver);
    *reason = outcome.reason;
    *failure = outcome.failed == BandStage::None   ? BandFailure::None
               : outOfMemory                       ? BandFailure::Memory
               : outcome.failed == BandStage::Make ? BandFailure::Read
                                                   : BandFailure::Write;
    if (outcome.failed != BandStage::None) {
        return false;
    }
    if (!sink.end(reason)) {
        *failure = BandFailure::Write;
        return false;
    }
    return true;
}
