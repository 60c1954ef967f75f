// The band pipeline alone: workers that finish out of turn wait together for
// the band before theirs, and every one of them must wake when it is written.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <numeric>
#include <thread>

#include "cli/band_pipeline.h"

TEST(BandPipeline, UnevenBandsAllArriveInOrder)
{
    std::vector<int32_t> delivered;
    const auto make = [](int32_t band, unsigned, std::string*) {
        std::this_thread::sleep_for(std::chrono::milliseconds(band % 5 == 0 ? 8 : band % 3));
        return true;
    };
    const auto deliver = [&](int32_t band, unsigned, std::string*) {
        delivered.push_back(band);
        return true;
    };
    auto run = std::async(std::launch::async, [&] { return runBands(200, 4, make, deliver).failed; });
    // A worker left asleep never returns: the test ends rather than hang.
    if (run.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "the pipeline stalled after band " << delivered.size();
        std::_Exit(1);
    }
    EXPECT_EQ(run.get(), BandStage::None);
    std::vector<int32_t> all(200);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(delivered, all);
}
