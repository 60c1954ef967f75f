#include <vector>

#include "cli/band_sinks.h"
#include "encode/png_writer.h"

namespace {

class PngSink : public BandSink {
public:
    PngSink(ReplacingFile& out, BandPixels& pixels)
        : out_(out),
          pixels_(pixels),
          depth_(formatBits(pixels.format())),
          rowBytes_(int64_t{pixels.width()} * pixelBytes(pixels.format()))
    {
    }

    int32_t rows() const override { return pixels_.height(); }
    int64_t rowBytes() const override { return rowBytes_; }

    bool begin(std::string* reason) override
    {
        const std::vector<uint8_t> start = pngStart(pixels_.width(), pixels_.height(), depth_);
        if (start.empty() || !out_.write(start.data(), start.size())) {
            *reason = start.empty() ? "the picture is too large for a PNG file" : out_.reason();
            return false;
        }
        return true;
    }

    void addSlot(int32_t rowsPerBand) override
    {
        pixels_.addSlot(rowsPerBand);
        bands_.emplace_back(static_cast<size_t>(rowsPerBand * rowBytes_));
        encoded_.emplace_back();
    }

    bool make(const BandRows& band, unsigned slot, std::string* why) override
    {
        std::vector<uint8_t>& own = bands_[slot];
        if (!pixels_.make(slot, band.first, band.count, own.data(), rowBytes_, why)) {
            return false;
        }
        if (!pngEncodeBand(own.data(), rowBytes_, band.count, pixels_.width(), depth_, band.last, &encoded_[slot])) {
            *why = "deflate failed";
            return false;
        }
        return true;
    }

    bool deliver(const BandRows&, unsigned slot, std::string* why) override
    {
        const PngBand& band = encoded_[slot];
        if (!out_.write(band.chunk.data(), band.chunk.size())) {
            *why = out_.reason();
            return false;
        }
        adler_ = pngCombineAdler(adler_, band);
        return true;
    }

    bool end(std::string* reason) override
    {
        const std::vector<uint8_t> finish = pngFinish(adler_);
        if (!out_.write(finish.data(), finish.size())) {
            *reason = out_.reason();
            return false;
        }
        return true;
    }

private:
    ReplacingFile& out_;
    BandPixels& pixels_;
    int32_t depth_;
    int64_t rowBytes_;
    std::vector<std::vector<uint8_t>> bands_;
    std::vector<PngBand> encoded_;
    uint32_t adler_ = kPngAdlerStart;
};

}  // namespace

std::unique_ptr<BandSink> pngSink(ReplacingFile& out, BandPixels& pixels)
{
    return std::make_unique<PngSink>(out, pixels);
}
