// Runs the bands of one output on several threads and hands them over in
// order. Each band is made (read, decoded, encoded) on whichever thread takes
// it, into that thread's own buffers, and handed to `deliver` strictly in band
// order, one at a time, so an output file is written front to back while the
// next bands are already being made.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Makes band `band` with the buffers of worker `worker`; false with the reason
// when it cannot. Called from several threads at once, never twice for a band.
using MakeBand = std::function<bool(int32_t band, unsigned worker, std::string* reason)>;

// Takes band `band`, made by worker `worker`; false with the reason to stop.
// Called in band order, one call at a time.
using DeliverBand = std::function<bool(int32_t band, unsigned worker, std::string* reason)>;

// What stopped a pipeline: the first failure in band order.
enum class BandStage { None, Make, Deliver };

struct BandOutcome {
    BandStage failed = BandStage::None;
    std::string reason;
};

// Runs bands 0 .. bands - 1 on `workers` threads (the calling one included;
// fewer when the system will not start more). Every band before a failed one
// has been delivered; none after it is.
BandOutcome runBands(int32_t bands, unsigned workers, const MakeBand& make, const DeliverBand& deliver);
