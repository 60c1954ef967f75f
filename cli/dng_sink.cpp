#include <algorithm>
#include <vector>

#include "cli/band_sinks.h"
#include "picture/picture_rows.h"

namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndian = true;
#else
constexpr bool kLittleEndian = false;
#endif

// Bands of whole cell rows, the last also taking an odd last sample row; the
// preview's rows are built from each band's samples as it passes.
class DngSink : public BandSink {
public:
    DngSink(ReplacingFile& out, const FrameRows& rows, const DngDescription& description)
        : out_(out), rows_(rows), description_(description), mosaic_(description.frame)
    {
    }

    int32_t rows() const override { return cellPictureHeight(mosaic_); }
    int64_t rowBytes() const override { return 4 * int64_t{mosaic_.width}; }

    bool begin(std::string* reason) override
    {
        // The preview shows the cells as the BMP does.
        if (!planDng(description_, &layout_) ||
            !buildDevelopTables(DevelopSettings{mosaic_.bits, 0, {1.0, 1.0, 1.0}, false}, 8, &shifts_)) {
            *reason = "the frame cannot be described in a DNG file";
            return false;
        }
        out_.reserve(layout_.fileBytes);
        const std::vector<uint8_t> head = dngHead(description_, layout_);
        if (!out_.write(head.data(), head.size())) {
            *reason = out_.reason();
            return false;
        }
        preview_.resize(layout_.previewBytes);
        return true;
    }

    void addSlot(int32_t rowsPerBand) override
    {
        buffers_.push_back(rows_.buffers(2 * rowsPerBand + 1, 2 * rowsPerBand + 1));
        // The strip holds samples as little-endian 16-bit words: on such
        // machines the unpacked rows are the strip itself.
        strips_.emplace_back(kLittleEndian ? 0 : static_cast<size_t>(2 * rowBytes()) * static_cast<size_t>(rowsPerBand));
    }

    bool make(const BandRows& band, unsigned slot, std::string* why) override
    {
        const RowSpan span = sampleRows(band);
        const uint16_t* const* rows = rows_.readUnpacked(span.first, span.count, buffers_[slot], why);
        if (rows == nullptr) {
            return false;
        }
        if (!kLittleEndian) {
            std::vector<uint8_t>& strip = strips_[slot];
            strip.resize(static_cast<size_t>(span.count) * static_cast<size_t>(mosaic_.width) * 2);
            for (int32_t r = 0; r < span.count; ++r) {
                dngRawRow(rows[r], mosaic_.width, strip.data() + static_cast<size_t>(r) * static_cast<size_t>(mosaic_.width) * 2);
            }
        }
        return makePreview(SampleRows{rows, span.first, span.count}, why);
    }

    bool deliver(const BandRows& band, unsigned slot, std::string* why) override
    {
        const size_t bytes = static_cast<size_t>(sampleRows(band).count) * static_cast<size_t>(mosaic_.width) * 2;
        const auto* strip = kLittleEndian ? reinterpret_cast<const uint8_t*>(buffers_[slot].samples.data())
                                          : strips_[slot].data();
        if (!out_.write(strip, bytes)) {
            *why = out_.reason();
            return false;
        }
        return true;
    }

    bool end(std::string* reason) override
    {
        if (!out_.write(preview_.data(), preview_.size())) {
            *reason = out_.reason();
            return false;
        }
        return true;
    }

private:
    RowSpan sampleRows(const BandRows& band) const
    {
        const int32_t first = 2 * band.first;
        return {first, band.last ? mosaic_.height - first : 2 * band.count};
    }

    bool makePreview(const SampleRows& samples, std::string* why)
    {
        const int64_t previewRowBytes = int64_t{layout_.previewWidth} * 3;
        const int32_t end = std::min(cellPictureHeight(mosaic_), (samples.first + samples.count) / 2);
        for (int32_t j = samples.first / 2; j < end; ++j) {
            if (isDngPreviewCellRow(layout_, j) &&
                !developCellRows(mosaic_, samples, shifts_, j, 1, layout_.previewStep, PixelFormat::kRgb8,
                                 preview_.data() + j / layout_.previewStep * previewRowBytes, previewRowBytes)) {
                *why = "the picture builder refused a preview row";
                return false;
            }
        }
        return true;
    }

    ReplacingFile& out_;
    const FrameRows& rows_;
    const DngDescription& description_;
    MosaicFrame mosaic_;
    DngLayout layout_;
    DevelopTables shifts_;
    std::vector<uint8_t> preview_;
    std::vector<FrameRows::Buffers> buffers_;
    std::vector<std::vector<uint8_t>> strips_;
};

}  // namespace

std::unique_ptr<BandSink> dngSink(ReplacingFile& out, const FrameRows& rows, const DngDescription& description)
{
    return std::make_unique<DngSink>(out, rows, description);
}
