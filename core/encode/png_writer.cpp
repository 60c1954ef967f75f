#include "encode/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/vector_paths.h"

#if defined(PIXMORA_SSE_KERNELS)
#include <immintrin.h>
#endif

namespace {

constexpr uint8_t kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
constexpr uint8_t kColourTypeRgb = 2;
constexpr uint8_t kSubFilter = 1;
// Level 1 with Z_RLE, memLevel 8 and a 32 KB window: after Sub the bytes are
// small differences that Huffman coding shrinks and string matching hardly
// does, and on flat areas runs are all that matches. On a photo-like scene it
// deflates 35 % faster and 13 % smaller than plain level 1 (the measurements
// are in docs/performance.md). Each band is sampled first, for a few percent
// of deflating it:
//   - noise-like bands, where no setting saves anything, are stored (level 0)
//     when their estimated order-0 entropy says Huffman coding cannot save
//     more than 2 %;
//   - bands without runs, where Z_RLE finds nothing to match, are Huffman
//     coded alone: as small, and 6 % faster;
//   - the rest, flat areas among them, take Z_RLE.
constexpr int kLevel = 1;
constexpr int kMemLevel = 8;
constexpr int kStoredLevel = 0;
// Estimated coded size, as a share of the bytes, from which a band is stored:
// Huffman coding could save at most about 2 % (the estimate from 4 KB samples
// reads uniform random bytes as 99.4 %).
constexpr double kStoreFrom = 0.98;
// Bytes of a sample that end a run of four equal ones, below which Z_RLE's
// matches (of three bytes at least, after a run's first) cannot pay for its
// slower search: one in 64.
constexpr size_t kRunsPerRleByte = 64;
// A sample of kSampleBytes at the start of every kSampleStride bytes: one of
// deflate's 16 K-symbol blocks each, whose Huffman codes adapt to it.
constexpr size_t kSampleStride = 16384;
constexpr size_t kSampleBytes = 4096;
// Negative: raw deflate, as the stream's header and checksum are written once
// for all bands.
constexpr int kRawWindowBits = -15;
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

// count * log2(count) for the counts a sample can hold.
const std::vector<float>& countBits()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(kSampleBytes + 1, 0.0F);
        for (size_t c = 1; c <= kSampleBytes; ++c) {
            t[c] = static_cast<float>(static_cast<double>(c) * std::log2(static_cast<double>(c)));
        }
        return t;
    }();
    return table;
}

// Bytes of data[3 .. n - 1] equal to the three before them.
size_t runEnds(const uint8_t* data, size_t n)
{
    size_t runs = 0;
    size_t i = 3;
#if defined(PIXMORA_SSE_KERNELS)
    if (vectorPathsEnabled()) {
        const __m128i one = _mm_set1_epi8(1);
        __m128i counts = _mm_setzero_si128();
        for (; i + 16 <= n; i += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const __m128i back1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i - 1));
            const __m128i back2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i - 2));
            const __m128i back3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i - 3));
            const __m128i equal = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(here, back1), _mm_cmpeq_epi8(back1, back2)),
                                                _mm_cmpeq_epi8(back2, back3));
            counts = _mm_add_epi64(counts, _mm_sad_epu8(_mm_and_si128(equal, one), _mm_setzero_si128()));
        }
        runs = static_cast<size_t>(_mm_cvtsi128_si64(counts)) +
               static_cast<size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(counts, counts)));
    }
#endif
    for (; i < n; ++i) {
        runs += data[i] == data[i - 1] && data[i - 1] == data[i - 2] && data[i - 2] == data[i - 3] ? 1 : 0;
    }
    return runs;
}

struct Coding {
    int level;
    int strategy;
};

// How to deflate `data`, judged from a sample of every kSampleStride bytes.
Coding codingFor(const uint8_t* data, size_t size)
{
    const std::vector<float>& bits = countBits();
    double coded = 0;
    size_t sampled = 0;
    size_t runs = 0;
    for (size_t at = 0; at < size; at += kSampleStride) {
        const size_t n = std::min(kSampleBytes, size - at);
        // Four tables, so that runs of one value do not wait on each other.
        uint32_t counts[4][256] = {};
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            ++counts[0][data[at + i]];
            ++counts[1][data[at + i + 1]];
            ++counts[2][data[at + i + 2]];
            ++counts[3][data[at + i + 3]];
        }
        for (; i < n; ++i) {
            ++counts[0][data[at + i]];
        }
        double sum = 0;
        for (size_t v = 0; v < 256; ++v) {
            sum += bits[counts[0][v] + counts[1][v] + counts[2][v] + counts[3][v]];
        }
        coded += bits[n] - sum;
        sampled += n;
        runs += runEnds(data + at, n);
    }
    if (coded >= kStoreFrom * 8 * static_cast<double>(sampled)) {
        return {kStoredLevel, Z_DEFAULT_STRATEGY};
    }
    return {kLevel, runs * kRunsPerRleByte < sampled ? Z_HUFFMAN_ONLY : Z_RLE};
}

// One row filtered with Sub: each byte less the byte a pixel before it.
void subFilter(const uint8_t* row, size_t bytes, size_t pixel, uint8_t* out)
{
    std::memcpy(out, row, pixel);
    size_t i = pixel;
#if defined(PIXMORA_SSE_KERNELS)
    if (vectorPathsEnabled()) {
        for (; i + 16 <= bytes; i += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - pixel));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_sub_epi8(here, before));
        }
    }
#endif
    for (; i < bytes; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - row[i - pixel]);
    }
}

#if defined(PIXMORA_SSE_KERNELS)
// Adler-32 a 32-byte block at a time. Over a block b0 .. b31 the sums go
//   s1 += b0 + ... + b31,   s2 += 32 s1 + 32 b0 + 31 b1 + ... + 1 b31,
// psadbw summing the bytes and pmaddubsw weighing them; the 32 s1 terms are
// gathered as the sum of s1 at each block's start. Taking the sums modulo
// 65521 every kAdlerBlocks blocks keeps every lane within 32 bits (zlib's
// NMAX, 5552 bytes, rounded down to whole blocks).
constexpr uint32_t kAdlerModulus = 65521;
constexpr size_t kAdlerBlocks = 5552 / 32;

__attribute__((target("ssse3"))) uint32_t horizontalSum(__m128i v)
{
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

__attribute__((target("ssse3"))) uint32_t adlerSsse3(const uint8_t* p, size_t n)
{
    const __m128i firstWeights = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
    const __m128i secondWeights = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i zero = _mm_setzero_si128();
    uint32_t s1 = 1;
    uint32_t s2 = 0;
    while (n >= 32) {
        const size_t blocks = std::min(n / 32, kAdlerBlocks);
        n -= 32 * blocks;
        __m128i sum = zero;        // of the bytes
        __m128i starts = zero;     // of sum at each block's start
        __m128i weighted = zero;
        for (size_t b = 0; b < blocks; ++b, p += 32) {
            const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
            starts = _mm_add_epi32(starts, sum);
            sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_sad_epu8(first, zero), _mm_sad_epu8(second, zero)));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(first, firstWeights), ones));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(second, secondWeights), ones));
        }
        s2 += 32 * static_cast<uint32_t>(blocks) * s1 + horizontalSum(_mm_add_epi32(weighted, _mm_slli_epi32(starts, 5)));
        s1 += horizontalSum(sum);
        s1 %= kAdlerModulus;
        s2 %= kAdlerModulus;
    }
    return static_cast<uint32_t>(adler32(s2 << 16 | s1, p, static_cast<uInt>(n)));
}

#endif

// The Adler-32 of `size` bytes on their own.
uint32_t adlerOf(const uint8_t* data, size_t size)
{
#if defined(PIXMORA_SSE_KERNELS)
    if (ssse3PathsEnabled()) {
        return adlerSsse3(data, size);
    }
#endif
    return static_cast<uint32_t>(adler32(adler32(0, Z_NULL, 0), data, static_cast<uInt>(size)));
}

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

    // The whole band filtered first: one checksum, one estimate and one
    // deflate call over it.
    const auto filteredBytes = static_cast<size_t>(bytes);
    band->filtered.resize(filteredBytes);
    uint8_t* filtered = band->filtered.data();
    for (int32_t k = 0; k < rowCount; ++k) {
        uint8_t* out = filtered + static_cast<size_t>(k) * (1 + rowBytes);
        out[0] = kSubFilter;
        subFilter(rows + k * stride, static_cast<size_t>(rowBytes), pixel, out + 1);
    }
    const uint32_t adler = adlerOf(filtered, filteredBytes);
    const Coding coding = codingFor(filtered, filteredBytes);

    std::unique_ptr<z_stream, DeflateEnd> stream(new z_stream{});
    if (deflateInit2(stream.get(), coding.level, Z_DEFLATED, kRawWindowBits, kMemLevel, coding.strategy) != Z_OK) {
        return false;
    }
    z_stream& z = *stream;
    std::vector<uint8_t>& chunk = band->chunk;
    chunk.resize(kChunkHeadBytes + deflateBound(&z, static_cast<uLong>(bytes)) + kFlushSlack);
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

    z.next_in = filtered;
    z.avail_in = static_cast<uInt>(filteredBytes);
    const int flush = last ? Z_FINISH : Z_FULL_FLUSH;
    for (;;) {
        keepRoom();
        const int result = deflate(&z, flush);
        if (result == Z_STREAM_END || (result == Z_OK && !last && z.avail_in == 0 && z.avail_out > 0)) {
            break;
        }
        if (result != Z_OK) {
            return false;
        }
    }

    const size_t data = static_cast<size_t>(z.next_out - chunk.data()) - kChunkHeadBytes;
    chunk.resize(kChunkHeadBytes + data + kChunkCrcBytes);
    frameChunk(chunk.data(), "IDAT", static_cast<uint32_t>(data));
    band->adler = adler;
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
