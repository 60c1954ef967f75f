#include "cli/picture_stream.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

#include "cli/band_pipeline.h"
#include "decode/layout_decoder.h"
#include "picture/develop.h"
#include "encode/dng_writer.h"
#include "picture/mosaic_band.h"
#include "picture/picture_rows.h"
#include "encode/png_writer.h"
#include "raw/raw_geometry.h"

namespace {

// Output bytes a band makes: enough for deflate to find what it can, small
// enough that a band's samples and pixels stay in the processor's cache.
constexpr int64_t kBandBytes = int64_t{256} * 1024;
// A PNG band also holds its filtered rows and deflate's compressed copy and
// tables beside its pixels, so its pixels are half as many: 128 KB bands made
// the plain PNG of a 7399 x 4999 frame an eighth faster than 256 KB ones.
constexpr int64_t kPngBandBytes = int64_t{128} * 1024;

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndian = true;
#else
constexpr bool kLittleEndian = false;
#endif

// The frame's worthwhile threads, but never more than its bands.
unsigned threadsFor(int32_t bands, const FrameGeometry& frame)
{
    return std::clamp<unsigned>(worthwhileThreads(frame), 1, static_cast<unsigned>(std::max(1, bands)));
}

// Sample rows a band keeps unpacked at once when it is built row by row: the
// three a demosaicked row needs and one more, a few tens of kilobytes that
// stay in the processor's nearest cache while the band's pixels are made.
constexpr int32_t kRingRows = 4;

// Reads the packed rows of frame k and unpacks them into one worker's own
// buffers.
class SampleReader {
public:
    SampleReader(const PackedSource& source, const FrameGeometry& frame, int64_t k, int32_t width)
        : source_(source), frame_(frame), k_(k), width_(width)
    {
    }

    struct Buffers {
        std::vector<uint8_t> raw;
        std::vector<uint16_t> samples;
        std::vector<const uint16_t*> rows;
        const uint8_t* packed = nullptr;  // the band's first row
        int32_t first = 0;                // and its number in the frame
    };

    // Reads the packed bytes of rows first .. first + count - 1. False with
    // the reason when they cannot be read; throws std::bad_alloc when memory
    // runs out.
    bool readPacked(int32_t first, int32_t count, Buffers& own, std::string* reason) const
    {
        const int64_t bytes = (count - int64_t{1}) * frame_.stride + minimumRowBytes(frame_.layout, frame_.width);
        own.raw.resize(static_cast<size_t>(bytes));
        const int64_t at = frameStart(frame_, k_) + first * frame_.stride;
        own.packed = source_.rows(static_cast<uint64_t>(at), static_cast<size_t>(bytes), own.raw.data(), reason);
        own.first = first;
        return own.packed != nullptr;
    }

    // The packed bytes of row `row` of the band read last.
    const uint8_t* packedRow(const Buffers& own, int32_t row) const
    {
        return own.packed + (row - own.first) * frame_.stride;
    }

    void unpack(const Buffers& own, int32_t row, uint16_t* samples) const
    {
        unpackRow(frame_.layout, packedRow(own, row), width_, samples);
    }

    // Rows first .. first + count - 1 unpacked whole into own.samples, one
    // after another. Null with the reason when they cannot be read.
    const uint16_t* const* read(int32_t first, int32_t count, Buffers& own, std::string* reason) const
    {
        if (!readPacked(first, count, own, reason)) {
            return nullptr;
        }
        own.samples.resize(static_cast<size_t>(count) * static_cast<size_t>(width_));
        own.rows.resize(static_cast<size_t>(count));
        for (int32_t r = 0; r < count; ++r) {
            uint16_t* samples = own.samples.data() + static_cast<size_t>(r) * static_cast<size_t>(width_);
            unpack(own, first + r, samples);
            own.rows[static_cast<size_t>(r)] = samples;
        }
        return own.rows.data();
    }

    // Row `row` unpacked into its place in a ring of kRingRows rows.
    const uint16_t* unpackIntoRing(Buffers& own, int32_t row) const
    {
        own.samples.resize(static_cast<size_t>(kRingRows) * static_cast<size_t>(width_));
        uint16_t* samples = own.samples.data() + static_cast<size_t>(row % kRingRows) * static_cast<size_t>(width_);
        unpack(own, row, samples);
        return samples;
    }

    const FrameGeometry& frame() const { return frame_; }

private:
    const PackedSource& source_;
    const FrameGeometry& frame_;
    int64_t k_;
    int32_t width_;
};

// The state every writer below shares: the frame's mosaic, its reader, one set
// of buffers a worker, and whether memory ran out in a band.
struct Stream {
    MosaicFrame mosaic;
    SampleReader reader;
    std::vector<SampleReader::Buffers> buffers;
    std::atomic<bool> outOfMemory{false};
    int64_t bandBytes;  // 0: each writer's own

    Stream(const PackedSource& source, const FrameGeometry& frame, int64_t k, CellLayout cell, int32_t width,
           int64_t chosenBandBytes)
        : mosaic{width, frame.height, layoutInfo(frame.layout).sampleBits, cell},
          reader(source, frame, k, width),
          bandBytes(chosenBandBytes)
    {
    }

    // Output bytes a band of this stream makes, `own` unless chosen.
    int64_t band(int64_t own) const { return bandBytes > 0 ? bandBytes : own; }

    // Runs `make` for a band, turning memory running out into a failure.
    template <typename Make>
    bool guarded(const Make& make, std::string* why)
    {
        try {
            return make();
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
            *why = "not enough memory";
            return false;
        }
    }

    bool finish(const BandOutcome& outcome, std::string* reason, BandFailure* failure) const
    {
        *reason = outcome.reason;
        *failure = outcome.failed == BandStage::None ? BandFailure::None
                   : outOfMemory                     ? BandFailure::Memory
                   : outcome.failed == BandStage::Make ? BandFailure::Read
                                                       : BandFailure::Write;
        return outcome.failed == BandStage::None;
    }
};

// Picture rows first .. first + count - 1 from the rows the stream reads: the
// band's packed rows read at once, then unpacked and built a row at a time.
// The plain 8-bit cell picture is the BMP's pixels with red and blue
// swapped, so the BMP's decoders make it straight from the packed rows.
bool makeRows(Stream& s, SampleReader::Buffers& own, const DevelopTables& tables, bool full, int32_t first,
              int32_t count, PixelFormat format, uint8_t* out, int64_t stride, std::string* why)
{
    const RowSpan span = full ? demosaicSampleRows(s.mosaic, first, count) : RowSpan{2 * first, 2 * count};
    if (!s.reader.readPacked(span.first, span.count, own, why)) {
        return false;
    }
    const CellLayout& cell = s.mosaic.cell;
    bool made = true;
    if (!full && tables.shifts && format == PixelFormat::kRgb8) {
        const CellLayout swapped{cell.blue, cell.green2, cell.green1, cell.red};
        for (int32_t k = 0; k < count; ++k) {
            const int32_t upper = 2 * (first + k);
            decodeFrameRowPair(s.reader.frame(), s.reader.packedRow(own, upper), s.reader.packedRow(own, upper + 1),
                               swapped, out + k * stride);
        }
    } else if (!full) {
        for (int32_t k = 0; k < count && made; ++k) {
            const int32_t upper = 2 * (first + k);
            const uint16_t* rows[2] = {s.reader.unpackIntoRing(own, upper), s.reader.unpackIntoRing(own, upper + 1)};
            made = developCellRows(s.mosaic, SampleRows{rows, upper, 2}, tables, first + k, 1, 1, format,
                                   out + k * stride, stride);
        }
    } else {
        const uint16_t* ring[kRingRows] = {};
        int32_t next = span.first;
        for (int32_t k = 0; k < count && made; ++k) {
            const RowSpan needed = demosaicSampleRows(s.mosaic, first + k, 1);
            for (; next < needed.first + needed.count; ++next) {
                ring[next % kRingRows] = s.reader.unpackIntoRing(own, next);
            }
            const uint16_t* rows[3] = {};
            for (int32_t r = 0; r < needed.count; ++r) {
                rows[r] = ring[(needed.first + r) % kRingRows];
            }
            made = demosaicRows(s.mosaic, SampleRows{rows, needed.first, needed.count}, tables, first + k, 1, format,
                                out + k * stride, stride);
        }
    }
    if (!made) {
        *why = "the picture builder refused a band";
    }
    return made;
}

// Gains that make the frame's mean red and blue its mean green: a first pass
// over every sample row.
bool greyWorld(const PackedSource& source, const FrameGeometry& frame, int64_t k, CellLayout cell, int64_t black,
               int64_t bandBytes, double gains[3], std::string* reason, BandFailure* failure)
{
    Stream s(source, frame, k, cell, frame.width, bandBytes);
    const int32_t rowsPerBand =
        static_cast<int32_t>(std::max<int64_t>(1, s.band(kBandBytes) / (int64_t{2} * frame.width)));
    const int32_t bands = (frame.height + rowsPerBand - 1) / rowsPerBand;
    const unsigned workers = threadsFor(bands, frame);
    s.buffers.resize(workers);
    std::vector<ColourSums> sums(workers);
    const auto make = [&](int32_t band, unsigned worker, std::string* why) {
        return s.guarded(
            [&] {
                const int32_t first = band * rowsPerBand;
                const int32_t count = std::min(rowsPerBand, frame.height - first);
                SampleReader::Buffers& own = s.buffers[worker];
                if (!s.reader.readPacked(first, count, own, why)) {
                    return false;
                }
                for (int32_t row = first; row < first + count; ++row) {
                    const uint16_t* samples = s.reader.unpackIntoRing(own, row);
                    addColourSums(s.mosaic, SampleRows{&samples, row, 1}, static_cast<uint16_t>(black),
                                  &sums[worker]);
                }
                return true;
            },
            why);
    };
    const auto deliver = [](int32_t, unsigned, std::string*) { return true; };
    if (!s.finish(runBands(bands, workers, make, deliver), reason, failure)) {
        return false;
    }
    ColourSums total;
    for (const ColourSums& part : sums) {
        for (int c = 0; c < 3; ++c) {
            total.sum[c] += part.sum[c];
            total.count[c] += part.count[c];
        }
    }
    greyWorldGains(total, gains);
    return true;
}

bool writeBmp(ReplacingFile& out, Stream& s, const DevelopTables& tables, bool full, std::string* reason,
              BandFailure* failure)
{
    const int32_t width = full ? s.mosaic.width : cellPictureWidth(s.mosaic);
    const int32_t height = full ? s.mosaic.height : cellPictureHeight(s.mosaic);
    const int64_t stride = pictureStride(width);
    if (!writeBmpHeader(out, width, height, stride, reason)) {
        return false;
    }
    const int32_t rowsPerBand = static_cast<int32_t>(std::clamp<int64_t>(s.band(kBandBytes) / stride, 1, height));
    const int32_t bands = (height + rowsPerBand - 1) / rowsPerBand;
    const unsigned workers = threadsFor(bands, s.reader.frame());
    s.buffers.resize(workers);
    std::vector<std::vector<uint8_t>> pixels(workers);

    // File order is bottom-up: band 0 holds the picture's bottom rows, written
    // into the band's buffer from its end.
    const auto rowsOf = [&](int32_t band) { return std::min(rowsPerBand, height - band * rowsPerBand); };
    const auto make = [&](int32_t band, unsigned worker, std::string* why) {
        return s.guarded(
            [&] {
                const int32_t count = rowsOf(band);
                std::vector<uint8_t>& own = pixels[worker];
                // Row pads are zero once and never written again.
                own.resize(std::max(own.size(), static_cast<size_t>(count * stride)));
                return makeRows(s, s.buffers[worker], tables, full, height - band * rowsPerBand - count, count,
                                PixelFormat::kBgr8, own.data() + (count - 1) * stride, -stride, why);
            },
            why);
    };
    const auto deliver = [&](int32_t band, unsigned worker, std::string* why) {
        if (!out.write(pixels[worker].data(), static_cast<size_t>(rowsOf(band) * stride))) {
            *why = out.reason();
            return false;
        }
        return true;
    };
    return s.finish(runBands(bands, workers, make, deliver), reason, failure);
}

bool writePng(ReplacingFile& out, Stream& s, const DevelopTables& tables, bool full, int32_t depth,
              std::string* reason, BandFailure* failure)
{
    const int32_t width = full ? s.mosaic.width : cellPictureWidth(s.mosaic);
    const int32_t height = full ? s.mosaic.height : cellPictureHeight(s.mosaic);
    const PixelFormat format = depth == 8 ? PixelFormat::kRgb8 : PixelFormat::kRgb16BigEndian;
    const int64_t rowBytes = int64_t{width} * pixelBytes(format);
    const std::vector<uint8_t> start = pngStart(width, height, depth);
    if (start.empty() || !out.write(start.data(), start.size())) {
        *reason = start.empty() ? "the picture is too large for a PNG file" : out.reason();
        return false;
    }
    const int32_t rowsPerBand = static_cast<int32_t>(std::clamp<int64_t>(s.band(kPngBandBytes) / rowBytes, 1, height));
    const int32_t bands = (height + rowsPerBand - 1) / rowsPerBand;
    const unsigned workers = threadsFor(bands, s.reader.frame());
    s.buffers.resize(workers);
    std::vector<std::vector<uint8_t>> pixels(workers);
    std::vector<PngBand> encoded(workers);
    uint32_t adler = kPngAdlerStart;

    const auto make = [&](int32_t band, unsigned worker, std::string* why) {
        return s.guarded(
            [&] {
                const int32_t first = band * rowsPerBand;
                const int32_t count = std::min(rowsPerBand, height - first);
                std::vector<uint8_t>& own = pixels[worker];
                own.resize(static_cast<size_t>(count * rowBytes));
                if (!makeRows(s, s.buffers[worker], tables, full, first, count, format, own.data(), rowBytes, why)) {
                    return false;
                }
                if (!pngEncodeBand(own.data(), rowBytes, count, width, depth, band + 1 == bands, &encoded[worker])) {
                    *why = "deflate failed";
                    return false;
                }
                return true;
            },
            why);
    };
    const auto deliver = [&](int32_t, unsigned worker, std::string* why) {
        const PngBand& band = encoded[worker];
        if (!out.write(band.chunk.data(), band.chunk.size())) {
            *why = out.reason();
            return false;
        }
        adler = pngCombineAdler(adler, band);
        return true;
    };
    if (!s.finish(runBands(bands, workers, make, deliver), reason, failure)) {
        return false;
    }
    const std::vector<uint8_t> finish = pngFinish(adler);
    if (!out.write(finish.data(), finish.size())) {
        *reason = out.reason();
        *failure = BandFailure::Write;
        return false;
    }
    return true;
}

bool writeDng(ReplacingFile& out, Stream& s, const DngDescription& description, std::string* reason,
              BandFailure* failure)
{
    DngLayout layout;
    DevelopTables shifts;  // the preview shows the cells as the BMP does
    if (!planDng(description, &layout) ||
        !buildDevelopTables(DevelopSettings{s.mosaic.bits, 0, {1.0, 1.0, 1.0}, false}, 8, &shifts)) {
        *reason = "the frame cannot be described in a DNG file";
        return false;
    }
    const std::vector<uint8_t> head = dngHead(description, layout);
    if (!out.write(head.data(), head.size())) {
        *reason = out.reason();
        return false;
    }
    const int32_t width = s.mosaic.width;
    const int32_t cellRows = cellPictureHeight(s.mosaic);
    const int64_t previewRowBytes = int64_t{layout.previewWidth} * 3;
    std::vector<uint8_t> preview(layout.previewBytes);
    // Bands of whole cell rows; the last also takes an odd last sample row.
    const int32_t rowsPerBand = static_cast<int32_t>(std::clamp<int64_t>(s.band(kBandBytes) / (4 * int64_t{width}), 1, cellRows));
    const int32_t bands = (cellRows + rowsPerBand - 1) / rowsPerBand;
    const auto sampleRowsOf = [&](int32_t band) {
        const int32_t first = 2 * band * rowsPerBand;
        const int32_t count = band + 1 == bands ? s.mosaic.height - first : 2 * rowsPerBand;
        return RowSpan{first, count};
    };
    const unsigned workers = threadsFor(bands, s.reader.frame());
    s.buffers.resize(workers);
    // The strip holds samples as little-endian 16-bit words: on such machines
    // the unpacked rows are the strip itself.
    std::vector<std::vector<uint8_t>> strips(kLittleEndian ? 0 : workers);

    const auto make = [&](int32_t band, unsigned worker, std::string* why) {
        return s.guarded(
            [&] {
                const RowSpan span = sampleRowsOf(band);
                const uint16_t* const* rows = s.reader.read(span.first, span.count, s.buffers[worker], why);
                if (rows == nullptr) {
                    return false;
                }
                if (!kLittleEndian) {
                    std::vector<uint8_t>& strip = strips[worker];
                    strip.resize(static_cast<size_t>(span.count) * static_cast<size_t>(width) * 2);
                    for (int32_t r = 0; r < span.count; ++r) {
                        dngRawRow(rows[r], width, strip.data() + static_cast<size_t>(r) * static_cast<size_t>(width) * 2);
                    }
                }
                const SampleRows samples{rows, span.first, span.count};
                for (int32_t j = span.first / 2; j < std::min(cellRows, (span.first + span.count) / 2); ++j) {
                    if (isDngPreviewCellRow(layout, j) &&
                        !developCellRows(s.mosaic, samples, shifts, j, 1, layout.previewStep, PixelFormat::kRgb8,
                                         preview.data() + j / layout.previewStep * previewRowBytes, previewRowBytes)) {
                        *why = "the picture builder refused a preview row";
                        return false;
                    }
                }
                return true;
            },
            why);
    };
    const auto deliver = [&](int32_t band, unsigned worker, std::string* why) {
        const size_t bytes = static_cast<size_t>(sampleRowsOf(band).count) * static_cast<size_t>(width) * 2;
        const auto* strip = kLittleEndian ? reinterpret_cast<const uint8_t*>(s.buffers[worker].samples.data())
                                          : strips[worker].data();
        if (!out.write(strip, bytes)) {
            *why = out.reason();
            return false;
        }
        return true;
    };
    if (!s.finish(runBands(bands, workers, make, deliver), reason, failure)) {
        return false;
    }
    if (!out.write(preview.data(), preview.size())) {
        *reason = out.reason();
        *failure = BandFailure::Write;
        return false;
    }
    return true;
}

}  // namespace

bool needsSamples(OutputType type, const Development& look)
{
    return type != OutputType::Bmp || look.full || look.black != 0 || look.balance != Balance::None ||
           look.srgb;
}

PictureSize pictureSize(const FrameGeometry& frame, OutputType type, const Development& look)
{
    if (type == OutputType::Dng || look.full) {
        return {frame.width, frame.height};
    }
    return {framePictureWidth(frame), framePictureHeight(frame)};
}

bool writePictureInBands(ReplacingFile& out, const PackedSource& source, const FrameGeometry& frame, int64_t k,
                         CellLayout cell, OutputType type, const Development& look, std::string* reason,
                         BandFailure* failure, int64_t bandBytes)
{
    *failure = BandFailure::Write;
    double gains[3] = {look.gains[0], look.gains[1], look.gains[2]};
    if (look.balance == Balance::None) {
        gains[0] = gains[1] = gains[2] = 1.0;
    } else if (look.balance == Balance::Auto &&
               !greyWorld(source, frame, k, cell, look.black, bandBytes, gains, reason, failure)) {
        return false;
    }
    const int32_t bits = layoutInfo(frame.layout).sampleBits;
    // Half-size pictures of a qcom10 frame decode its last group whole, as its
    // BMP does; everything else works on the frame's own samples.
    const bool cells = type != OutputType::Dng && !look.full;
    Stream s(source, frame, k, cell, cells ? 2 * framePictureWidth(frame) : frame.width, bandBytes);
    if (type == OutputType::Dng) {
        DngDescription description{s.mosaic, static_cast<uint16_t>(look.black), {gains[0], gains[1], gains[2]},
                                   layoutName(frame.layout)};
        return writeDng(out, s, description, reason, failure);
    }
    DevelopTables tables;
    const int32_t depth = type == OutputType::Png16 ? 16 : 8;
    if (!buildDevelopTables(DevelopSettings{bits, static_cast<uint16_t>(look.black), {gains[0], gains[1], gains[2]},
                                            look.srgb},
                            depth, &tables)) {
        *reason = "the black level or gains cannot be applied";
        return false;
    }
    if (type == OutputType::Bmp) {
        return writeBmp(out, s, tables, look.full, reason, failure);
    }
    return writePng(out, s, tables, look.full, depth, reason, failure);
}
