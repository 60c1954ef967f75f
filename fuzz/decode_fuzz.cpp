// The fast decoder against the plain one on any bytes. The first four bytes
// choose a small geometry, the pattern and the decoder's path, so every case
// stays small; the rest is the packed data, often too short on purpose.
#include <cstring>
#include <vector>

#include "raw/cell_layout.h"
#include "fuzz_target.h"
#include "decode/raw_decoder.h"
#include "raw/raw_geometry.h"
#include "platform/vector_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    const int64_t width = 1 + ((data[0] | data[1] << 8) % 300);
    const int64_t height = 1 + data[2] % 40;
    const CellLayout cell = cellLayoutFor(1 + data[3] % kPatternCount);
    setVectorPathsEnabled((data[3] & 4) == 0);
    const uint8_t* packed = data + 4;
    const size_t packedBytes = size - 4;

    const RawGeometry g = rawGeometry(width, height);
    const auto pictureBytes = static_cast<size_t>(g.stride * g.pictureHeight);
    std::vector<uint8_t> fast(pictureBytes, 0xA5);
    std::vector<uint8_t> plain(pictureBytes, 0xA5);
    const BgrRows fastView{fast.data(), g.pictureWidth, g.pictureHeight, g.stride};
    const BgrRows plainView{plain.data(), g.pictureWidth, g.pictureHeight, g.stride};

    // Exact-size copies, so AddressSanitizer sees any read past N.
    std::vector<uint8_t> exact(packed, packed + packedBytes);
    const bool fastOk = decodePackedRaw(exact.data(), exact.size(), width, height, cell, fastView);
    const bool plainOk = decodePackedRawReference(exact.data(), exact.size(), width, height, cell, plainView);

    const bool enough = height >= 2 && packedBytes >= static_cast<size_t>(g.inputBytes);
    FUZZ_CHECK(fastOk == enough);
    FUZZ_CHECK(plainOk == enough);
    FUZZ_CHECK(fast == plain);
    if (!enough) {
        // Refused decodes touch nothing.
        for (uint8_t b : fast) {
            FUZZ_CHECK(b == 0xA5);
        }
    } else {
        // The row pad is never written.
        for (int32_t row = 0; row < g.pictureHeight; ++row) {
            for (int64_t i = 3 * static_cast<int64_t>(g.pictureWidth); i < g.stride; ++i) {
                FUZZ_CHECK(fast[static_cast<size_t>(row * g.stride + i)] == 0xA5);
            }
        }
    }
    return 0;
}
