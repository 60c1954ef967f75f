#include "cli/band_pipeline.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The state the workers share: which band is next to make, which next to
// deliver, and the first failure.
struct Turns {
    std::atomic<int32_t> nextToMake{0};
    std::mutex order;
    std::condition_variable turn;
    int32_t nextToDeliver = 0;
    BandOutcome outcome;
};

void work(Turns& t, int32_t bands, unsigned worker, const MakeBand& make, const DeliverBand& deliver)
{
    for (int32_t band = t.nextToMake++; band < bands; band = t.nextToMake++) {
        std::string reason;
        const bool made = make(band, worker, &reason);

        std::unique_lock<std::mutex> lock(t.order);
        t.turn.wait(lock, [&] { return t.outcome.failed != BandStage::None || t.nextToDeliver == band; });
        if (t.outcome.failed != BandStage::None) {
            return;
        }
        if (!made) {
            t.outcome = {BandStage::Make, reason};
        } else if (!deliver(band, worker, &reason)) {
            t.outcome = {BandStage::Deliver, reason};
        }
        ++t.nextToDeliver;
        t.turn.notify_all();
        if (t.outcome.failed != BandStage::None) {
            return;
        }
    }
}

}  // namespace

BandOutcome runBands(int32_t bands, unsigned workers, const MakeBand& make, const DeliverBand& deliver)
{
    Turns t;
    std::vector<std::thread> helpers;
    try {
        for (unsigned w = 1; w < workers; ++w) {
            helpers.emplace_back(work, std::ref(t), bands, w, std::cref(make), std::cref(deliver));
        }
    } catch (const std::exception&) {
        // No thread or no memory for one: fewer threads still make every band.
    }
    work(t, bands, 0, make, deliver);
    for (auto& helper : helpers) {
        helper.join();
    }
    return t.outcome;
}
