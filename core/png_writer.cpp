#include "png_writer.h"

#include <zlib.h>

#include <cstring>
#include <memory>

namespace {

constexpr uint8_t kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
constexpr uint8_t kColourTypeRgb = 2;
constexpr uint8_t kSubFilter = 1;
// Fastest level, and Z_RLE: after Sub the bytes are small differences that
// Huffman coding shrinks and string matching hardly does, and on flat areas
// runs are all that matches. (Huffman coding alone was a quarter faster on
// noisy pictures but cannot shrink flat ones below an eighth.)
constexpr int kLevel = 1;
constexpr int kStrategy = Z_RLE;
// Negative: raw deflate, as the stream's header and checksum are written once
// for all bands.
constexpr int kRawWindowBits = -15;
constexpr int kMemLevel = 8;
// The zlib header for a 32 KB window at the fastest level: CMF 0x78, FLG 0x01
// (0x7801 is a multiple of 31).
constexpr uint8_t kZlibHeader[2] = {0x78, 0x01};
// Room a full flush or the final block needs beyond the data's bound.
constexpr size_t kFlushSlack = 64;
constexpr size_t kChunkHeadBytes = 8;
constexpr size_t kChunkCrcBytes = 4;

void putBigEndian32(uint8_t* out, uint32_t v)
{
    out[0] = static_cast<uint8_t>(v >> 24);
    out[1] = static_cast<uint8_t>(v >> 16);
    out[2] = static_cast<uint8_t>(v >> 8);
    out[3] = static_cast<uint8_t>(v);
}

// Writes the length, type and CRC around `size` data bytes already at
// chunk + kChunkHeadBytes.
void frameChunk(uint8_t* chunk, const char* type, uint32_t size)
{
    putBigEndian32(chunk, size);
    std::memcpy(chunk + 4, type, 4);
    putBigEndian32(chunk + kChunkHeadBytes + size, static_cast<uint32_t>(crc32(0, chunk + 4, 4 + size)));
}

void appendChunk(std::vector<uint8_t>& file, const char* type, const uint8_t* data, uint32_t size)
{
    const size_t at = file.size();
    file.resize(at + kChunkHeadBytes + size + kChunkCrcBytes);
    if (size > 0) {
        std::memcpy(&file[at + kChunkHeadBytes], data, size);
    }
    frameChunk(&file[at], type, size);
}

struct DeflateEnd {
    void operator()(z_stream* stream) const
    {
        deflateEnd(stream);
        delete stream;
    }
};

}  // namespace

std::vector<uint8_t> pngStart(int32_t width, int32_t height, int32_t bitDepth)
{
    std::vector<uint8_t> file;
    if (width < 1 || height < 1 || (bitDepth != 8 && bitDepth != 16)) {
        return file;
    }
    file.assign(kSignature, kSignature + sizeof kSignature);
    uint8_t header[13] = {};
    putBigEndian32(header, static_cast<uint32_t>(width));
    putBigEndian32(header + 4, static_cast<uint32_t>(height));
    header[8] = static_cast<uint8_t>(bitDepth);
    header[9] = kColourTypeRgb;  // compression, filter method and interlace stay 0
    appendChunk(file, "IHDR", header, sizeof header);
    appendChunk(file, "IDAT", kZlibHeader, sizeof kZlibHeader);
    return file;
}

bool pngEncodeBand(const uint8_t* rows, int64_t stride, int32_t rowCount, int32_t width,
                   int32_t bitDepth, bool last, PngBand* band)
{
    if (rows == nullptr || rowCount < 1 || width < 1 || (bitDepth != 8 && bitDepth != 16)) {
        return false;
    }
    const size_t pixel = bitDepth == 8 ? 3 : 6;
    const uint64_t rowBytes = static_cast<uint64_t>(width) * pixel;
    const uint64_t bytes = static_cast<uint64_t>(rowCount) * (1 + rowBytes);
    if (bytes > kMaxPngBandBytes) {
        return false;
    }

    std::unique_ptr<z_stream, DeflateEnd> stream(new z_stream{});
    if (deflateInit2(stream.get(), kLevel, Z_DEFLATED, kRawWindowBits, kMemLevel, kStrategy) != Z_OK) {
        return false;
    }
    z_stream& z = *stream;
    std::vector<uint8_t> chunk(kChunkHeadBytes + deflateBound(&z, static_cast<uLong>(bytes)) + kFlushSlack);
    z.next_out = chunk.data() + kChunkHeadBytes;
    z.avail_out = static_cast<uInt>(chunk.size() - kChunkHeadBytes);
    // deflateBound holds for one call; flush markers and block boundaries can
    // still need more, so the buffer grows whenever it runs low.
    const auto keepRoom = [&]() {
        if (z.avail_out >= kFlushSlack) {
            return;
        }
        const size_t used = static_cast<size_t>(z.next_out - chunk.data());
        chunk.resize(chunk.size() * 2);
        z.next_out = chunk.data() + used;
        z.avail_out = static_cast<uInt>(chunk.size() - used);
    };

    std::vector<uint8_t> filtered(1 + rowBytes);
    filtered[0] = kSubFilter;
    uLong adler = adler32(0, Z_NULL, 0);
    for (int32_t k = 0; k < rowCount; ++k) {
        const uint8_t* row = rows + k * stride;
        uint8_t* out = filtered.data() + 1;
        for (size_t i = 0; i < pixel; ++i) {
            out[i] = row[i];
        }
        for (size_t i = pixel; i < rowBytes; ++i) {
            out[i] = static_cast<uint8_t>(row[i] - row[i - pixel]);
        }
        adler = adler32(adler, filtered.data(), static_cast<uInt>(filtered.size()));
        z.next_in = filtered.data();
        z.avail_in = static_cast<uInt>(filtered.size());
        while (z.avail_in > 0) {
            keepRoom();
            if (deflate(&z, Z_NO_FLUSH) != Z_OK) {
                return false;
            }
        }
    }
    const int flush = last ? Z_FINISH : Z_FULL_FLUSH;
    for (;;) {
        keepRoom();
        const int result = deflate(&z, flush);
        if (result == Z_STREAM_END || (result == Z_OK && !last && z.avail_out > 0)) {
            break;
        }
        if (result != Z_OK) {
            return false;
        }
    }

    const size_t data = static_cast<size_t>(z.next_out - chunk.data()) - kChunkHeadBytes;
    chunk.resize(kChunkHeadBytes + data + kChunkCrcBytes);
    frameChunk(chunk.data(), "IDAT", static_cast<uint32_t>(data));
    band->chunk = std::move(chunk);
    band->adler = static_cast<uint32_t>(adler);
    band->bytes = bytes;
    return true;
}

uint32_t pngCombineAdler(uint32_t adlerSoFar, const PngBand& band)
{
    return static_cast<uint32_t>(adler32_combine(adlerSoFar, band.adler, static_cast<z_off_t>(band.bytes)));
}

std::vector<uint8_t> pngFinish(uint32_t adler)
{
    std::vector<uint8_t> file;
    uint8_t checksum[4];
    putBigEndian32(checksum, adler);
    appendChunk(file, "IDAT", checksum, sizeof checksum);
    appendChunk(file, "IEND", nullptr, 0);
    return file;
}
