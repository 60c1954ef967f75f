// Every layout's row decoder on both paths against the rule applied to the
// samples unpackRow reads, on any bytes; unpackRow itself, and the picture rows
// built from its samples (cells and demosaic through shift and develop tables),
// alike on both paths. The first four bytes choose the
// layout, the pattern and a width of 1 to 512 samples (up to 16 vector steps
// and every tail); the rest fills the two rows, zeros past the input. Each row
// and the output sit in buffers of exactly the bytes they need, so
// AddressSanitizer sees any access past them.
#include <cstring>
#include <vector>

#include "raw/cell_layout.h"
#include "picture/develop.h"
#include "fuzz_target.h"
#include "decode/layout_decoder.h"
#include "picture/picture_rows.h"
#include "raw/raw_layout.h"
#include "platform/vector_paths.h"

namespace {

std::vector<uint8_t> decode(RawLayout layout, const std::vector<uint8_t>& upper, const std::vector<uint8_t>& lower,
                            CellLayout cell, int32_t pixels, bool vector, bool* ok)
{
    std::vector<uint8_t> bgr(3 * static_cast<size_t>(pixels), 0xA5);
    setVectorPathsEnabled(vector);
    *ok = decodeRowPair(layout, upper.data(), lower.data(), cell, pixels, bgr.data());
    setVectorPathsEnabled(true);
    return bgr;
}

std::vector<uint16_t> unpack(RawLayout layout, const std::vector<uint8_t>& row, int32_t width, bool vector)
{
    std::vector<uint16_t> samples(static_cast<size_t>(width));
    setVectorPathsEnabled(vector);
    unpackRow(layout, row.data(), width, samples.data());
    setVectorPathsEnabled(true);
    return samples;
}

// A frame of the two rows as rows 0 and 3 and the other way round as rows 1
// and 2, so that two rows have neighbours above and below; its cell picture
// and demosaic through `tables` in `format`.
std::vector<uint8_t> pictures(const std::vector<uint16_t> samples[2], int32_t bits, CellLayout cell,
                              const DevelopTables& tables, PixelFormat format, bool vector)
{
    const auto width = static_cast<int32_t>(samples[0].size());
    const MosaicFrame frame{width, 4, bits, cell};
    const uint16_t* rows[4] = {samples[0].data(), samples[1].data(), samples[0].data(), samples[1].data()};
    const SampleRows band{rows, 0, 4};
    const int64_t cellBytes = int64_t{cellPictureWidth(frame)} * pixelBytes(format);
    const int64_t fullBytes = int64_t{width} * pixelBytes(format);
    std::vector<uint8_t> out(static_cast<size_t>(2 * cellBytes + 4 * fullBytes) + 1, 0xA5);
    setVectorPathsEnabled(vector);
    FUZZ_CHECK(developCellRows(frame, band, tables, 0, 2, 1, format, out.data(), cellBytes));
    FUZZ_CHECK(demosaicRows(frame, band, tables, 0, 4, format, out.data() + 2 * cellBytes, fullBytes));
    setVectorPathsEnabled(true);
    FUZZ_CHECK(out.back() == 0xA5);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    const auto layout = static_cast<RawLayout>(data[0] % kRawLayoutCount);
    const CellLayout cell = cellLayoutFor(1 + data[1] % kPatternCount);
    const int32_t width = 1 + (data[2] | data[3] << 8) % 512;
    const int32_t pixels = width / 2;
    const auto rowBytes = static_cast<size_t>(minimumRowBytes(layout, width));
    data += 4;
    size -= 4;
    std::vector<uint8_t> rows[2];
    for (std::vector<uint8_t>& row : rows) {
        row.assign(rowBytes, 0);
        const size_t take = size < rowBytes ? size : rowBytes;
        if (take > 0) {
            std::memcpy(row.data(), data, take);
        }
        data += take;
        size -= take;
    }

    std::vector<uint16_t> samples[2];
    for (int r = 0; r < 2; ++r) {
        samples[r] = unpack(layout, rows[r], width, true);
        FUZZ_CHECK(samples[r] == unpack(layout, rows[r], width, false));
    }
    const int32_t bits = layoutInfo(layout).sampleBits;
    if (width >= 2) {
        // Built once a depth: the sRGB curve over 2^16 values is slower than
        // everything else an input does.
        static std::vector<DevelopTables> built[kMaxSampleBits + 1];
        const PixelFormat formats[] = {PixelFormat::kBgr8, PixelFormat::kRgb16BigEndian, PixelFormat::kRgb8};
        std::vector<DevelopTables>& tables = built[bits];
        if (tables.empty()) {
            tables.resize(3);
            FUZZ_CHECK(buildDevelopTables({bits, 0, {1, 1, 1}, false}, 8, &tables[0]));
            FUZZ_CHECK(buildDevelopTables({bits, 0, {1, 1, 1}, false}, 16, &tables[1]));
            FUZZ_CHECK(buildDevelopTables({bits, 5, {1.5, 1, 0.75}, true}, 8, &tables[2]));
        }
        for (size_t look = 0; look < 3; ++look) {
            FUZZ_CHECK(pictures(samples, bits, cell, tables[look], formats[look], true) ==
                       pictures(samples, bits, cell, tables[look], formats[look], false));
        }
    }

    bool vectorOk = false;
    bool scalarOk = false;
    const std::vector<uint8_t> vector = decode(layout, rows[0], rows[1], cell, pixels, true, &vectorOk);
    const std::vector<uint8_t> scalar = decode(layout, rows[0], rows[1], cell, pixels, false, &scalarOk);
    if (layout == RawLayout::Qcom10) {
        FUZZ_CHECK(!vectorOk && !scalarOk);
        FUZZ_CHECK(vector == std::vector<uint8_t>(vector.size(), 0xA5));
        return 0;
    }
    FUZZ_CHECK(vectorOk && scalarOk);

    const int32_t drop = layoutInfo(layout).sampleBits - 8;
    const auto top = [&](CellPosition p, int32_t i) {
        return static_cast<unsigned>(samples[p / 2][2 * static_cast<size_t>(i) + static_cast<size_t>(p % 2)] >> drop);
    };
    std::vector<uint8_t> expected;
    for (int32_t i = 0; i < pixels; ++i) {
        expected.push_back(static_cast<uint8_t>(top(cell.blue, i)));
        expected.push_back(static_cast<uint8_t>((top(cell.green1, i) + top(cell.green2, i)) / 2));
        expected.push_back(static_cast<uint8_t>(top(cell.red, i)));
    }
    FUZZ_CHECK(vector == expected);
    FUZZ_CHECK(scalar == expected);
    return 0;
}
