// The band pipeline alone: threads that finish out of turn leave their bands
// for the one writing, a slot is never made into before its band is written,
// and every thread waiting for a slot must wake when one is.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <numeric>
#include <thread>

#include "cli/band_pipeline.h"

TEST(BandPipeline, UnevenBandsAllArriveInOrder)
{
    std::vector<int32_t> delivered;
    std::array<std::atomic<int32_t>, 5> holding{};  // the band each slot holds, plus one
    std::atomic<int> clashes{0};
    const auto make = [&](int32_t band, unsigned slot, std::string*) {
        if (holding[slot].exchange(band + 1) != 0) {
            ++clashes;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(band % 5 == 0 ? 8 : band % 3));
        return true;
    };
    const auto deliver = [&](int32_t band, unsigned slot, std::string*) {
        delivered.push_back(band);
        std::this_thread::sleep_for(std::chrono::milliseconds(band % 7 == 0 ? 3 : 0));
        if (holding[slot].exchange(0) != band + 1) {
            ++clashes;
        }
        return true;
    };
    auto run = std::async(std::launch::async, [&] { return runBands(200, 4, 5, make, deliver).failed; });
    // A thread left asleep never returns: the test ends rather than hang.
    if (run.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "the pipeline stalled after band " << delivered.size();
        std::_Exit(1);
    }
    EXPECT_EQ(run.get(), BandStage::None);
    std::vector<int32_t> all(200);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(delivered, all);
    EXPECT_EQ(clashes, 0);
}
