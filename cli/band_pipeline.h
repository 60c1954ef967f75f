// The one loop every converter output runs: a frame's rows in bands, each band
// made (read, decoded or developed, encoded) on whichever thread takes it, into
// a slot of buffers of its own, and handed to the output's sink strictly in
// band order by one thread at a time, with no lock held while it writes: the
// other threads go on making the bands after it meanwhile, so reading and
// decoding overlap writing, and memory stays that of a few bands whatever the
// dump's size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "raw/raw_frame.h"

// Output bytes a band makes: small enough that a band's packed rows, samples
// and pixels stay in the processor's cache. A PNG's bytes follow its bands, so
// this size is part of every PNG the converter writes.
constexpr int64_t kBandBytes = int64_t{128} * 1024;

// How a write is cut into bands; 0 leaves each to the measured rule. Tests
// choose a row or two a band to put band edges anywhere.
struct BandPlan {
    int32_t rowsPerBand = 0;  // output rows a band, else kBandBytes' worth
    unsigned threads = 0;     // threads wanted, else worthwhileThreads
};

// Threads, the calling one included, that a frame's conversion repays: up to
// one a core and four in all, and one for every 4 MB of its rows.
unsigned worthwhileThreads(const FrameGeometry& frame);

// What a failed write could not do.
enum class BandFailure { None, Read, Write, Memory };

// One band of output rows, counted in file order.
struct BandRows {
    int32_t band;
    int32_t first;
    int32_t count;
    bool last;
};

// One output's part of a write: its rows, what comes before and after them,
// and how a band is made and written.
class BandSink {
public:
    virtual ~BandSink() = default;
    virtual int32_t rows() const = 0;      // at least 1
    virtual int64_t rowBytes() const = 0;  // output bytes a row makes; sets the band size
    // Fewest rows a band holds, whatever their bytes.
    virtual int32_t minimumBandRows() const { return 1; }
    // What precedes the first band. False with the reason.
    virtual bool begin(std::string* reason) = 0;
    // Adds one more slot: the buffers of one band in flight, for bands of
    // `rowsPerBand` rows; throws std::bad_alloc when there is no memory for
    // them. `slot` below names the slot a band is made in and delivered from.
    virtual void addSlot(int32_t rowsPerBand) = 0;
    // Called from several threads at once, never twice for a band; may throw
    // std::bad_alloc. False with the reason when a read fails.
    virtual bool make(const BandRows& rows, unsigned slot, std::string* why) = 0;
    // Called in band order, one call at a time. False with the reason.
    virtual bool deliver(const BandRows& rows, unsigned slot, std::string* why) = 0;
    // What follows the last band. False with the reason.
    virtual bool end(std::string* reason) = 0;
};

// Writes the sink's whole output. Every slot's buffers are made before any
// thread starts, so memory running short means fewer bands in flight; a band that
// still runs out of memory fails the write. False with the reason when a
// read or write fails or memory runs out; `failure` says which.
bool writeBands(BandSink& sink, const BandPlan& plan, const FrameGeometry& frame, std::string* reason,
                BandFailure* failure);

// Makes band `band` into slot `slot`; false with the reason when it cannot.
// Called from several threads at once, never twice for a band, never for a
// slot whose band has not been delivered yet.
using MakeBand = std::function<bool(int32_t band, unsigned slot, std::string* reason)>;

// Takes band `band`, made in slot `slot`; false with the reason to stop.
// Called in band order, one call at a time.
using DeliverBand = std::function<bool(int32_t band, unsigned slot, std::string* reason)>;

// What stopped a pipeline: the first failure in band order.
enum class BandStage { None, Make, Deliver };

struct BandOutcome {
    BandStage failed = BandStage::None;
    std::string reason;
};

// Runs bands 0 .. bands - 1 on `threads` threads (the calling one included;
// fewer when the system will not start more), band b in slot b % slots. Every
// band before a failed one has been delivered; none after it is.
BandOutcome runBands(int32_t bands, unsigned threads, unsigned slots, const MakeBand& make,
                     const DeliverBand& deliver);
