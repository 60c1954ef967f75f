// Every layout's row decoder on both paths against the rule applied to the
// samples unpackRow reads, on any bytes. The first four bytes choose the
// layout, the pattern and a width of 1 to 512 samples (up to 16 vector steps
// and every tail); the rest fills the two rows, zeros past the input. Each row
// and the output sit in buffers of exactly the bytes they need, so
// AddressSanitizer sees any access past them.
#include <cstring>
#include <vector>

#include "cell_layout.h"
#include "fuzz_target.h"
#include "layout_decoder.h"
#include "raw_layout.h"
#include "vector_paths.h"

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

    std::vector<uint16_t> samples[2];
    for (int r = 0; r < 2; ++r) {
        samples[r].assign(static_cast<size_t>(width), 0);
        unpackRow(layout, rows[r].data(), width, samples[r].data());
    }
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
