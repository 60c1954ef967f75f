#include "cli/frame_writer.h"

#include <memory>
#include <vector>

#include "cli/band_pixels.h"
#include "cli/band_sinks.h"
#include "decode/layout_decoder.h"
#include "raw/raw_layout.h"

namespace {

// The grey-world pass: each colour's sums over every sample row, as a sink
// that writes nothing.
class ColourSumsPass : public BandSink {
public:
    ColourSumsPass(const FrameRows& rows, const MosaicFrame& mosaic, uint16_t black)
        : rows_(rows), mosaic_(mosaic), black_(black)
    {
    }

    int32_t rows() const override { return mosaic_.height; }
    int64_t rowBytes() const override { return 2 * int64_t{mosaic_.width}; }
    bool begin(std::string*) override { return true; }

    void addSlot(int32_t rowsPerBand) override
    {
        buffers_.push_back(rows_.buffers(rowsPerBand, kRingRows));
        sums_.emplace_back();
    }

    bool make(const BandRows& band, unsigned slot, std::string* why) override
    {
        FrameRows::Buffers& own = buffers_[slot];
        if (!rows_.read(band.first, band.count, own, why)) {
            return false;
        }
        // Without black most layouts' rows are summed packed, never unpacked.
        for (int32_t row = band.first; row < band.first + band.count; ++row) {
            uint64_t parity[2];
            if (black_ == 0 && sumRow(rows_.frame().layout, rows_.packedRow(own, row), mosaic_.width, parity)) {
                addRowSums(mosaic_, row, parity, &sums_[slot]);
            } else {
                const uint16_t* samples = rows_.unpackIntoRing(own, row);
                addColourSums(mosaic_, SampleRows{&samples, row, 1}, black_, &sums_[slot]);
            }
        }
        return true;
    }

    bool deliver(const BandRows&, unsigned, std::string*) override { return true; }
    bool end(std::string*) override { return true; }

    void gains(double gains[3]) const
    {
        ColourSums total;
        for (const ColourSums& part : sums_) {
            for (int c = 0; c < 3; ++c) {
                total.sum[c] += part.sum[c];
                total.count[c] += part.count[c];
            }
        }
        greyWorldGains(total, gains);
    }

private:
    const FrameRows& rows_;
    MosaicFrame mosaic_;
    uint16_t black_;
    std::vector<FrameRows::Buffers> buffers_;
    std::vector<ColourSums> sums_;
};

}  // namespace

bool balanceGains(const FrameRequest& request, double gains[3], std::string* reason, BandFailure* failure)
{
    const Development& look = request.look;
    for (int c = 0; c < 3; ++c) {
        gains[c] = look.balance == Balance::None ? 1.0 : look.gains[c];
    }
    if (look.balance != Balance::Auto) {
        return true;
    }
    const FrameGeometry& frame = request.frame;
    const FrameRows rows(request.source, frame, request.frameIndex, frame.width);
    ColourSumsPass pass(rows, MosaicFrame{frame.width, frame.height, layoutInfo(frame.layout).sampleBits, request.cell},
                        static_cast<uint16_t>(look.black));
    if (!writeBands(pass, request.plan, frame, reason, failure)) {
        return false;
    }
    pass.gains(gains);
    return true;
}

PictureSize pictureSize(const FrameGeometry& frame, OutputType type, const Development& look)
{
    if (type == OutputType::Dng || look.full) {
        return {frame.width, frame.height};
    }
    return {framePictureWidth(frame), framePictureHeight(frame)};
}

bool writeFrameInBands(ReplacingFile& out, const FrameRequest& request, std::string* reason, BandFailure* failure)
{
    *failure = BandFailure::Write;
    double gains[3];
    if (!balanceGains(request, gains, reason, failure)) {
        return false;
    }
    const FrameGeometry& frame = request.frame;
    const Development& look = request.look;
    const bool cells = request.type != OutputType::Dng && !look.full;
    const FrameRows rows(request.source, frame, request.frameIndex, cells ? 2 * framePictureWidth(frame) : frame.width);
    const int32_t bits = layoutInfo(frame.layout).sampleBits;
    const MosaicFrame mosaic{rows.samplesPerRow(), frame.height, bits, request.cell};
    const auto black = static_cast<uint16_t>(look.black);
    if (request.type == OutputType::Dng) {
        const DngDescription description{mosaic, black, {gains[0], gains[1], gains[2]}, layoutName(frame.layout)};
        return writeBands(*dngSink(out, rows, description), request.plan, frame, reason, failure);
    }
    const PixelFormat format = request.type == OutputType::Bmp     ? PixelFormat::kBgr8
                               : request.type == OutputType::Png16 ? PixelFormat::kRgb16BigEndian
                                                                   : PixelFormat::kRgb8;
    DevelopTables tables;
    if (!buildDevelopTables(DevelopSettings{bits, black, {gains[0], gains[1], gains[2]}, look.srgb},
                            formatBits(format), &tables)) {
        *reason = "the black level or gains cannot be applied";
        return false;
    }
    BandPixels pixels(rows, mosaic, std::move(tables), look.full, format);
    const std::unique_ptr<BandSink> sink = request.type == OutputType::Bmp ? bmpSink(out, pixels) : pngSink(out, pixels);
    return writeBands(*sink, request.plan, frame, reason, failure);
}
