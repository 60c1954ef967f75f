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
// Bands in flight a thread: the one being written holds a slot while the
// others go on making theirs. A 7399 x 4999 BMP took 1.0-1.2 x cp's time with
// two or three a thread; one left the writer waiting (1.25 x), six crowded
// the processor's cache (1.3 x).
constexpr unsigned kSlotsPerThread = 3;

// What the threads share: which band is next to make, which next to deliver,
// the bands made but not yet delivered, and the first failure. Band b is made
// into slot b % slots once band b - slots has left it.
struct PipelineProgress {
    explicit PipelineProgress(unsigned slotCount) : slots(slotCount), made(slotCount) {}

    struct MadeBand {
        int32_t band = -1;  // none
        bool ok = false;
        std::string reason;
    };

    unsigned slots;
    std::atomic<int32_t> nextToMake{0};
    std::mutex lock;
    std::condition_variable slotFreed;
    std::vector<MadeBand> made;
    int32_t nextToDeliver = 0;
    bool delivering = false;
    BandOutcome outcome;
};

unsigned slotOf(const PipelineProgress& shared, int32_t band)
{
    return static_cast<unsigned>(band) % shared.slots;
}

// Delivers every band made, in order, from the next one on, with the lock
// released while a band is written so that the other threads go on making
// theirs. One thread at a time holds this turn: a band made meanwhile is left
// for it.
void deliverMadeBands(PipelineProgress& shared, std::unique_lock<std::mutex>& held, const DeliverBand& deliver)
{
    if (shared.delivering) {
        return;
    }
    shared.delivering = true;
    while (shared.outcome.failed == BandStage::None) {
        const int32_t band = shared.nextToDeliver;
        const unsigned slot = slotOf(shared, band);
        PipelineProgress::MadeBand& made = shared.made[slot];
        if (made.band != band) {
            break;
        }
        std::string reason = std::move(made.reason);
        bool delivered = false;
        if (made.ok) {
            held.unlock();
            delivered = deliver(band, slot, &reason);
            held.lock();
        }
        if (!delivered) {
            shared.outcome = {made.ok ? BandStage::Deliver : BandStage::Make, std::move(reason)};
        }
        ++shared.nextToDeliver;
        // Threads wait on different slots: all of them look.
        shared.slotFreed.notify_all();
    }
    shared.delivering = false;
}

void work(PipelineProgress& shared, int32_t bands, const MakeBand& make, const DeliverBand& deliver)
{
    for (int32_t band = shared.nextToMake++; band < bands; band = shared.nextToMake++) {
        const unsigned slot = slotOf(shared, band);
        {
            std::unique_lock<std::mutex> held(shared.lock);
            shared.slotFreed.wait(held, [&] {
                return shared.outcome.failed != BandStage::None ||
                       band - shared.nextToDeliver < static_cast<int64_t>(shared.slots);
            });
            if (shared.outcome.failed != BandStage::None) {
                return;
            }
        }
        std::string reason;
        const bool ok = make(band, slot, &reason);

        std::unique_lock<std::mutex> held(shared.lock);
        shared.made[slot] = {band, ok, std::move(reason)};
        deliverMadeBands(shared, held, deliver);
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

BandOutcome runBands(int32_t bands, unsigned threads, unsigned slots, const MakeBand& make,
                     const DeliverBand& deliver)
{
    PipelineProgress shared(std::max(1u, slots));
    std::vector<std::thread> helpers;
    try {
        for (unsigned t = 1; t < threads; ++t) {
            helpers.emplace_back(work, std::ref(shared), bands, std::cref(make), std::cref(deliver));
        }
    } catch (const std::exception&) {
        // No thread or no memory for one: fewer threads still make every band.
    }
    work(shared, bands, make, deliver);
    for (auto& helper : helpers) {
        helper.join();
    }
    return shared.outcome;
}

namespace {

// Rows a band holds, and the bands the sink's rows make.
struct BandCut {
    int32_t rows;
    int32_t bands;
};

BandCut cutIntoBands(const BandSink& sink, const BandPlan& plan)
{
    const int64_t wanted = plan.rowsPerBand > 0
                               ? plan.rowsPerBand
                               : std::max<int64_t>(kBandBytes / std::max<int64_t>(1, sink.rowBytes()), sink.minimumBandRows());
    const int32_t rows = static_cast<int32_t>(std::clamp<int64_t>(wanted, 1, sink.rows()));
    return {rows, (sink.rows() + rows - 1) / rows};
}

// Adds up to `wanted` slots: as many as there is memory for.
unsigned addSlots(BandSink& sink, unsigned wanted, int32_t bandRows)
{
    unsigned slots = 0;
    try {
        for (; slots < wanted; ++slots) {
            sink.addSlot(bandRows);
        }
    } catch (const std::bad_alloc&) {
        // Fewer bands in flight.
    }
    return slots;
}

}  // namespace

bool writeBands(BandSink& sink, const BandPlan& plan, const FrameGeometry& frame, std::string* reason,
                BandFailure* failure)
{
    *failure = BandFailure::Write;
    if (!sink.begin(reason)) {
        return false;
    }
    const BandCut cut = cutIntoBands(sink, plan);
    const int32_t bandRows = cut.rows;
    const int32_t bands = cut.bands;
    const unsigned threads = std::clamp<unsigned>(plan.threads > 0 ? plan.threads : worthwhileThreads(frame), 1,
                                                  static_cast<unsigned>(bands));
    // A lone thread writes each band as soon as it has made it.
    const unsigned slots =
        addSlots(sink, threads == 1 ? 1 : std::min<unsigned>(kSlotsPerThread * threads, static_cast<unsigned>(bands)),
                 bandRows);
    if (slots == 0) {
        *reason = "not enough memory";
        *failure = BandFailure::Memory;
        return false;
    }

    const auto rowsOf = [&](int32_t band) {
        const int32_t first = band * bandRows;
        return BandRows{band, first, std::min(bandRows, sink.rows() - first), band + 1 == bands};
    };
    std::atomic<bool> outOfMemory{false};
    const auto make = [&](int32_t band, unsigned slot, std::string* why) {
        try {
            return sink.make(rowsOf(band), slot, why);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
            *why = "not enough memory";
            return false;
        }
    };
    const auto deliver = [&](int32_t band, unsigned slot, std::string* why) {
        return sink.deliver(rowsOf(band), slot, why);
    };
    const BandOutcome outcome = runBands(bands, std::min(threads, slots), slots, make, deliver);
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
