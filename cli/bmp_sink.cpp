#include <vector>

#include "cli/band_sinks.h"
#include "encode/bmp_format.h"
#include "raw/raw_geometry.h"

namespace {

// A demosaicked band reads a sample row more on each side, a larger share the
// fewer rows it has: the 7399 x 4999 --full BMP took 68-70 ms of CPU at 5 rows
// a band (kBandBytes), 57-60 ms at 23. A BMP's bytes do not depend on its
// bands, so its bands may hold more rows than kBandBytes' worth.
constexpr int32_t kDemosaicBandRows = 16;

class BmpSink : public BandSink {
public:
    BmpSink(ReplacingFile& out, BandPixels& pixels)
        : out_(out), pixels_(pixels), stride_(pictureStride(pixels.width()))
    {
    }

    int32_t rows() const override { return pixels_.height(); }
    int64_t rowBytes() const override { return stride_; }
    int32_t minimumBandRows() const override { return pixels_.demosaicked() ? kDemosaicBandRows : 1; }

    bool begin(std::string* reason) override
    {
        uint8_t header[kBmpHeaderBytes];
        if (!buildBmpHeader(pixels_.width(), pixels_.height(), stride_, header)) {
            *reason = "the picture is too large for a BMP file";
            return false;
        }
        out_.reserve(kBmpHeaderBytes + static_cast<uint64_t>(stride_) * static_cast<uint64_t>(pixels_.height()));
        if (!out_.write(header, sizeof header)) {
            *reason = out_.reason();
            return false;
        }
        return true;
    }

    void addSlot(int32_t rowsPerBand) override
    {
        pixels_.addSlot(rowsPerBand);
        // Row pads are zero once and never written again.
        bands_.emplace_back(static_cast<size_t>(rowsPerBand * stride_), uint8_t{0});
    }

    // File order is bottom-up: band 0 holds the picture's bottom rows, written
    // into the band's buffer from its end.
    bool make(const BandRows& band, unsigned slot, std::string* why) override
    {
        const int32_t top = pixels_.height() - band.first - band.count;
        uint8_t* lastRow = bands_[slot].data() + (band.count - 1) * stride_;
        return pixels_.make(slot, top, band.count, lastRow, -stride_, why);
    }

    bool deliver(const BandRows& band, unsigned slot, std::string* why) override
    {
        if (!out_.write(bands_[slot].data(), static_cast<size_t>(band.count * stride_))) {
            *why = out_.reason();
            return false;
        }
        return true;
    }

    bool end(std::string*) override { return true; }

private:
    ReplacingFile& out_;
    BandPixels& pixels_;
    int64_t stride_;
    std::vector<std::vector<uint8_t>> bands_;
};

}  // namespace

std::unique_ptr<BandSink> bmpSink(ReplacingFile& out, BandPixels& pixels)
{
    return std::make_unique<BmpSink>(out, pixels);
}
