#include "encode/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/vector_paths.h"

#if defined(PIXMORA_SSE_KERNELS) || defined(PIXMORA_CLMUL_KERNELS)
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

uint32_t crcOf(const uint8_t* data, size_t size);

// Writes the length, type and CRC around `size` data bytes already at
// chunk + kChunkHeadBytes.
void frameChunk(uint8_t* chunk, const char* type, uint32_t size)
{
    putBigEndian32(chunk, size);
    std::memcpy(chunk + 4, type, 4);
    putBigEndian32(chunk + kChunkHeadBytes + size, crcOf(chunk + 4, 4 + size));
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

#if defined(PIXMORA_CLMUL_KERNELS)
// CRC-32 by folding: the message's value modulo the polynomial is kept while
// 16-byte blocks are merged, each block multiplied (carry-less, in the bit-
// reflected domain of the CRC) by x^512 or x^128 modulo the polynomial and
// added to the block that far on. Four lanes 64 bytes apart run side by side,
// then fold into one; the one remaining block and the last bytes under 16 go
// through zlib, the CRC register then being the folded block's own CRC. Each
// constant is x^(d + 32) or x^(d - 32) modulo 0x104C11DB7 for a distance d of
// 512 or 128 bits, bit-reflected and doubled: the low 64 bits of a block take
// the + 32 one, the high 64 bits the - 32 one.
__attribute__((target("pclmul,sse2"))) __m128i foldBlock(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__attribute__((target("pclmul,sse2"))) uint32_t crcClmul(const uint8_t* p, size_t n)
{
    const __m128i byFour = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    const __m128i byOne = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const auto load = [p](size_t at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)); };
    // The register's starting ones go into the message's first four bytes.
    __m128i lane[4] = {_mm_xor_si128(load(0), _mm_cvtsi32_si128(-1)), load(16), load(32), load(48)};
    size_t at = 64;
    for (; n - at >= 64; at += 64) {
        for (int i = 0; i < 4; ++i) {
            lane[i] = foldBlock(lane[i], byFour, load(at + 16 * static_cast<size_t>(i)));
        }
    }
    __m128i x = foldBlock(foldBlock(foldBlock(lane[0], byOne, lane[1]), byOne, lane[2]), byOne, lane[3]);
    for (; n - at >= 16; at += 16) {
        x = foldBlock(x, byOne, load(at));
    }
    alignas(16) uint8_t folded[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(folded), x);
    const uLong ofFolded = crc32(0xffffffffUL, folded, sizeof folded);
    return static_cast<uint32_t>(crc32(ofFolded, p + at, static_cast<uInt>(n - at)));
}

#endif

// The CRC-32 of a chunk's type and data, as PNG stores it.
uint32_t crcOf(const uint8_t* data, size_t size)
{
#if defined(PIXMORA_CLMUL_KERNELS)
    // Under 64 bytes there is nothing to fold.
    if (size >= 64 && clmulPathsEnabled()) {
        return crcClmul(data, size);
    }
#endif
    return static_cast<uint32_t>(crc32(0, data, static_cast<uInt>(size)));
}

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

// ---------------------------------------------------------------------------
// The 16-bit bands' deflate: zlib's Huffman-only and Z_RLE modes spend about
// 8 ns a byte, mostly in its 16-bit bit buffer, where this coder parses each
// block into literals and runs (matches at distance 1, as Z_RLE's), counts
// them, builds the block's codes and writes each token with one table lookup
// into a 64-bit bit buffer.

// Input bytes a block: a dynamic block's header (about 100 bytes) is noise
// beside it, and its tokens (2 bytes each) stay in the nearest caches.
constexpr size_t kBlockBytes = 65535;
// Deflate's literal/length alphabet (256 the end of block) and its limit on
// code lengths; the codes here stop at 12 bits so that three tokens of at most
// 12 + 5 + 1 bits (code, length's extra bits, distance code) join the 7 bits
// a flush leaves in the 64-bit buffer.
constexpr int32_t kLitLenSymbols = 286;
constexpr int32_t kEndOfBlock = 256;
constexpr int32_t kMaxCodeBits = 12;
constexpr int32_t kMaxCodeLengthBits = 7;
constexpr int32_t kMinRun = 3;
constexpr int32_t kMaxRun = 258;
// A token is a literal byte or kEndOfBlock + the run's length.
constexpr int32_t kTokens = kEndOfBlock + kMaxRun + 1;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// The order the code length code's lengths are sent in.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Index into kLengthBase of a run's length.
int32_t lengthIndex(int32_t length)
{
    int32_t i = 28;
    while (kLengthBase[i] > length) {
        --i;
    }
    return i;
}

// Bits written least significant first, as deflate packs them. Every put
// stores 8 bytes, so the output needs 8 bytes of room past its end.
struct BitWriter {
    uint8_t* out;
    uint64_t bits = 0;
    int32_t count = 0;

    // `n` bits of `v`, n at most 57.
    void put(uint64_t v, int32_t n)
    {
        bits |= v << count;
        count += n;
        flush();
    }
    void flush()
    {
        std::memcpy(out, &bits, 8);
        out += count >> 3;
        bits = (count & ~7) == 64 ? 0 : bits >> (count & ~7);
        count &= 7;
    }
    void alignToByte()
    {
        if (count > 0) {
            count = 8;
            flush();
        }
    }
};

// Huffman's tree over `weight` (two leaves at least) by the two-queue
// construction: `sorted` gets the leaves in ascending weight, ties by index so
// the codes, and so the file's bytes, do not depend on the standard library's
// sort (the page's differs); depth[i] is the depth of sorted[i]. Returns the
// deepest leaf's depth.
int32_t huffmanDepths(const std::vector<uint32_t>& weight, std::vector<int32_t>* sorted, std::vector<int32_t>* depth)
{
    const auto leaves = static_cast<int32_t>(weight.size());
    sorted->resize(weight.size());
    for (int32_t i = 0; i < leaves; ++i) {
        (*sorted)[static_cast<size_t>(i)] = i;
    }
    std::sort(sorted->begin(), sorted->end(), [&](int32_t a, int32_t b) {
        const uint32_t wa = weight[static_cast<size_t>(a)], wb = weight[static_cast<size_t>(b)];
        return wa != wb ? wa < wb : a < b;
    });
    // Nodes 0 .. leaves - 1 are the leaves in ascending weight, then the
    // internal nodes as they are made, also ascending.
    std::vector<uint32_t> node(static_cast<size_t>(2 * leaves - 1));
    std::vector<int32_t> parent(node.size());
    for (int32_t i = 0; i < leaves; ++i) {
        node[static_cast<size_t>(i)] = weight[static_cast<size_t>((*sorted)[static_cast<size_t>(i)])];
    }
    int32_t nextLeaf = 0;
    int32_t nextInner = leaves;
    for (int32_t made = leaves; made < 2 * leaves - 1; ++made) {
        int32_t pick[2];
        for (int32_t& p : pick) {
            const bool leaf = nextLeaf < leaves &&
                              (nextInner >= made || node[static_cast<size_t>(nextLeaf)] <= node[static_cast<size_t>(nextInner)]);
            p = leaf ? nextLeaf++ : nextInner++;
        }
        node[static_cast<size_t>(made)] = node[static_cast<size_t>(pick[0])] + node[static_cast<size_t>(pick[1])];
        parent[static_cast<size_t>(pick[0])] = parent[static_cast<size_t>(pick[1])] = made;
    }
    depth->assign(node.size(), 0);
    int32_t deepest = 0;
    for (int32_t i = 2 * leaves - 3; i >= 0; --i) {
        (*depth)[static_cast<size_t>(i)] = (*depth)[static_cast<size_t>(parent[static_cast<size_t>(i)])] + 1;
        deepest = std::max(deepest, (*depth)[static_cast<size_t>(i)]);
    }
    return deepest;
}

// Code lengths of at most `limit` bits from `freq` (0 for an unused symbol):
// Huffman's; when a code runs past the limit the frequencies are halved
// (staying above 0) and the codes built again, which flattens the tree.
void codeLengths(const uint32_t* freq, int32_t symbols, int32_t limit, uint8_t* lengths)
{
    std::fill(lengths, lengths + symbols, 0);
    std::vector<uint32_t> weight;
    std::vector<int32_t> order;
    for (int32_t s = 0; s < symbols; ++s) {
        if (freq[s] > 0) {
            order.push_back(s);
            weight.push_back(freq[s]);
        }
    }
    if (order.size() == 1) {
        lengths[order[0]] = 1;
    }
    if (order.size() < 2) {
        return;
    }
    std::vector<int32_t> sorted;
    std::vector<int32_t> depth;
    while (huffmanDepths(weight, &sorted, &depth) > limit) {
        for (uint32_t& w : weight) {
            w = (w + 1) / 2;
        }
    }
    for (size_t i = 0; i < order.size(); ++i) {
        lengths[order[static_cast<size_t>(sorted[i])]] = static_cast<uint8_t>(depth[i]);
    }
}

// Canonical codes of `lengths`, bit-reversed for writing least significant
// bit first.
void canonicalCodes(const uint8_t* lengths, int32_t symbols, uint32_t* codes)
{
    uint32_t count[16] = {};
    for (int32_t s = 0; s < symbols; ++s) {
        ++count[lengths[s]];
    }
    count[0] = 0;
    uint32_t next[16] = {};
    for (int32_t bits = 1; bits < 16; ++bits) {
        next[bits] = (next[bits - 1] + count[bits - 1]) << 1;
    }
    for (int32_t s = 0; s < symbols; ++s) {
        const int32_t n = lengths[s];
        uint32_t code = n > 0 ? next[n]++ : 0;
        uint32_t reversed = 0;
        for (int32_t b = 0; b < n; ++b, code >>= 1) {
            reversed = reversed << 1 | (code & 1);
        }
        codes[s] = reversed;
    }
}

// Tokens of data[from .. to - 1], counting the literal/length symbols into
// `freq`. A run is taken where at least kMinRun bytes repeat the byte before
// (never before the band's first byte); 16 bytes at a time are tested at once
// for a byte equal to the two before it, where no run can start.
size_t tokenize(const uint8_t* data, size_t from, size_t to, uint16_t* tokens, uint32_t freq[kLitLenSymbols])
{
    uint32_t literals[4][256] = {};
    size_t n = 0;
    size_t p = from;
    const auto scalarStep = [&]() {
        if (p >= 1 && p + kMinRun <= to && data[p] == data[p - 1] && data[p + 1] == data[p - 1] &&
            data[p + 2] == data[p - 1]) {
            const size_t most = std::min<size_t>(kMaxRun, to - p);
            size_t length = kMinRun;
            while (length < most && data[p + length] == data[p - 1]) {
                ++length;
            }
            tokens[n++] = static_cast<uint16_t>(kEndOfBlock + length);
            ++freq[kEndOfBlock + 1 + lengthIndex(static_cast<int32_t>(length))];
            p += length;
        } else {
            ++literals[0][data[p]];
            tokens[n++] = data[p++];
        }
    };
    while (p < to) {
#if defined(PIXMORA_SSE_KERNELS)
        if (p >= 1 && p + 17 <= to && vectorPathsEnabled()) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
            const __m128i back1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p - 1));
            const __m128i ahead1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + 1));
            const __m128i repeats = _mm_and_si128(_mm_cmpeq_epi8(ahead1, here), _mm_cmpeq_epi8(here, back1));
            // A run starting at q needs data[q - 1], data[q] and data[q + 1]
            // equal; with no such three for q in p..p+15 the scalar steps
            // would take all 16 bytes as literals too.
            if (_mm_movemask_epi8(repeats) == 0) {
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(tokens + n), _mm_unpacklo_epi8(here, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(tokens + n + 8), _mm_unpackhi_epi8(here, zero));
                for (size_t i = 0; i < 16; i += 4) {
                    ++literals[0][data[p + i]];
                    ++literals[1][data[p + i + 1]];
                    ++literals[2][data[p + i + 2]];
                    ++literals[3][data[p + i + 3]];
                }
                n += 16;
                p += 16;
                continue;
            }
            // Up to the chunk's end a byte at a time; a run may carry past it.
            const size_t end = p + 16;
            while (p < end) {
                scalarStep();
            }
            continue;
        }
#endif
        scalarStep();
    }
    for (int32_t v = 0; v < 256; ++v) {
        freq[v] += literals[0][v] + literals[1][v] + literals[2][v] + literals[3][v];
    }
    return n;
}

// The code length code's symbols for a sequence of code lengths: 0..15 a
// length, 16 the previous one 3..6 more times, 17 zero 3..10 times, 18 zero
// 11..138 times; each with its extra bits' value.
struct LengthSymbol {
    uint8_t symbol;
    uint8_t extra;
};

std::vector<LengthSymbol> lengthSymbols(const uint8_t* lengths, int32_t count)
{
    std::vector<LengthSymbol> out;
    for (int32_t i = 0; i < count;) {
        const uint8_t v = lengths[i];
        int32_t run = 1;
        while (i + run < count && lengths[i + run] == v) {
            ++run;
        }
        i += run;
        if (v == 0) {
            while (run >= 11) {
                const int32_t take = std::min(run, 138);
                out.push_back({18, static_cast<uint8_t>(take - 11)});
                run -= take;
            }
            if (run >= 3) {
                out.push_back({17, static_cast<uint8_t>(run - 3)});
                run = 0;
            }
        } else {
            out.push_back({v, 0});
            --run;
            while (run >= 3) {
                const int32_t take = std::min(run, 6);
                out.push_back({16, static_cast<uint8_t>(take - 3)});
                run -= take;
            }
        }
        for (; run > 0; --run) {
            out.push_back({v, 0});
        }
    }
    return out;
}

constexpr uint8_t kCodeLengthExtraBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

// One block of data[from .. to - 1], dynamic or, when that would be larger,
// stored; `last` sets BFINAL.
// A dynamic block's codes: the literal/length code's lengths and the code
// length code that sends them.
struct BlockCodes {
    uint8_t lengths[kLitLenSymbols];
    int32_t litLenCodes = kLitLenSymbols;  // lengths sent: up to the last code used
    std::vector<LengthSymbol> header;      // the lengths as code length symbols
    uint8_t headerLengths[19];
    int32_t headerCodes = 19;  // code length code lengths sent, in kCodeLengthOrder
};

void planBlockCodes(const uint32_t* freq, BlockCodes* c)
{
    codeLengths(freq, kLitLenSymbols, kMaxCodeBits, c->lengths);
    while (c->lengths[c->litLenCodes - 1] == 0) {
        --c->litLenCodes;
    }
    // The literal/length code's lengths and the distance code's as one
    // sequence: a single distance code, distance 1, of one bit.
    uint8_t sequence[kLitLenSymbols + 1];
    std::copy(c->lengths, c->lengths + c->litLenCodes, sequence);
    sequence[c->litLenCodes] = 1;
    c->header = lengthSymbols(sequence, c->litLenCodes + 1);
    uint32_t headerFreq[19] = {};
    for (const LengthSymbol& s : c->header) {
        ++headerFreq[s.symbol];
    }
    codeLengths(headerFreq, 19, kMaxCodeLengthBits, c->headerLengths);
    while (c->headerCodes > 4 && c->headerLengths[kCodeLengthOrder[c->headerCodes - 1]] == 0) {
        --c->headerCodes;
    }
}

uint64_t dynamicBlockBits(const uint32_t* freq, const BlockCodes& c)
{
    uint64_t bits = 3 + 14 + 3 * static_cast<uint64_t>(c.headerCodes);
    for (const LengthSymbol& s : c.header) {
        bits += c.headerLengths[s.symbol] + kCodeLengthExtraBits[s.symbol];
    }
    for (int32_t s = 0; s < kLitLenSymbols; ++s) {
        const uint64_t extra = s > kEndOfBlock ? kLengthExtra[s - kEndOfBlock - 1] + 1u : 0u;
        bits += freq[s] * (c.lengths[s] + extra);
    }
    return bits;
}

// Stored: header bits, byte alignment, LEN and NLEN, the bytes.
void writeStoredBlock(const uint8_t* bytes, uint32_t size, bool last, BitWriter& w)
{
    w.put(last ? 1 : 0, 3);
    w.alignToByte();
    w.put(size | (size ^ 0xFFFFu) << 16, 32);
    std::memcpy(w.out, bytes, size);
    w.out += size;
}

void writeDynamicHeader(const BlockCodes& c, bool last, BitWriter& w)
{
    uint32_t headerCodesOf[19];
    canonicalCodes(c.headerLengths, 19, headerCodesOf);
    w.put((last ? 1u : 0u) | 2u << 1 | static_cast<uint64_t>(c.litLenCodes - 257) << 3 |
              static_cast<uint64_t>(c.headerCodes - 4) << 13, 17);  // HDIST 0: one distance code
    for (int32_t i = 0; i < c.headerCodes; ++i) {
        w.put(c.headerLengths[kCodeLengthOrder[i]], 3);
    }
    for (const LengthSymbol& s : c.header) {
        w.put(headerCodesOf[s.symbol] | static_cast<uint64_t>(s.extra) << c.headerLengths[s.symbol],
              c.headerLengths[s.symbol] + kCodeLengthExtraBits[s.symbol]);
    }
}

// The tokens and the end of block. Each token's bits and their count are one
// lookup: a literal's code, or a length's code, its extra bits and the
// distance's one-bit code 0.
void writeTokens(const uint16_t* tokens, size_t n, const uint8_t* lengths, BitWriter& w)
{
    uint32_t codes[kLitLenSymbols];
    canonicalCodes(lengths, kLitLenSymbols, codes);
    uint32_t tokenBits[kTokens];
    uint8_t tokenCount[kTokens];
    for (int32_t t = 0; t <= kEndOfBlock; ++t) {
        tokenBits[t] = codes[t];
        tokenCount[t] = lengths[t];
    }
    for (int32_t length = kMinRun; length <= kMaxRun; ++length) {
        const int32_t i = lengthIndex(length);
        const int32_t symbol = kEndOfBlock + 1 + i;
        tokenBits[kEndOfBlock + length] = codes[symbol] | static_cast<uint32_t>(length - kLengthBase[i]) << lengths[symbol];
        tokenCount[kEndOfBlock + length] = static_cast<uint8_t>(lengths[symbol] + kLengthExtra[i] + 1);
    }
    size_t i = 0;
    uint64_t bits = w.bits;
    int32_t count = w.count;
    uint8_t* out = w.out;
    const auto add = [&](uint16_t t) {
        bits |= static_cast<uint64_t>(tokenBits[t]) << count;
        count += tokenCount[t];
    };
    for (; i + 3 <= n; i += 3) {
        add(tokens[i]);
        add(tokens[i + 1]);
        add(tokens[i + 2]);
        std::memcpy(out, &bits, 8);
        out += count >> 3;
        bits >>= count & ~7;
        count &= 7;
    }
    w.bits = bits;
    w.count = count;
    w.out = out;
    for (; i < n; ++i) {
        w.put(tokenBits[tokens[i]], tokenCount[tokens[i]]);
    }
    w.put(tokenBits[kEndOfBlock], tokenCount[kEndOfBlock]);
}

void writeBlock(const uint8_t* data, size_t from, size_t to, bool last, std::vector<uint16_t>& tokens,
                BitWriter& w)
{
    uint32_t freq[kLitLenSymbols] = {};
    const size_t n = tokenize(data, from, to, tokens.data(), freq);
    freq[kEndOfBlock] = 1;
    BlockCodes codes;
    planBlockCodes(freq, &codes);
    if (dynamicBlockBits(freq, codes) >= 8 * (to - from) + 40) {
        writeStoredBlock(data + from, static_cast<uint32_t>(to - from), last, w);
        return;
    }
    writeDynamicHeader(codes, last, w);
    writeTokens(tokens.data(), n, codes.lengths, w);
}

// The band's deflate data after `chunk`'s head: blocks, then the end of the
// stream (last) or an empty stored block that brings it to a byte boundary,
// as a full flush does. Returns the data's size.
size_t deflateBand(const uint8_t* data, size_t size, bool last, std::vector<uint16_t>& tokens,
                   std::vector<uint8_t>& chunk)
{
    // A stored block's 5 bytes a block at worst, the final alignment, the
    // writer's 8 bytes of reach and the CRC.
    const size_t blocks = (size + kBlockBytes - 1) / kBlockBytes;
    chunk.resize(kChunkHeadBytes + size + 5 * blocks + 32 + kChunkCrcBytes);
    tokens.resize(kBlockBytes);
    BitWriter w{chunk.data() + kChunkHeadBytes};
    for (size_t from = 0; from < size; from += kBlockBytes) {
        const size_t to = std::min(size, from + kBlockBytes);
        writeBlock(data, from, to, last && to == size, tokens, w);
    }
    if (!last) {
        w.put(0, 3);
        w.alignToByte();
        w.put(0xFFFF0000u, 32);
    }
    w.alignToByte();
    return static_cast<size_t>(w.out - chunk.data()) - kChunkHeadBytes;
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

namespace {

// Each row behind its filter byte, Sub-filtered.
void filterRows(const uint8_t* rows, int64_t stride, int32_t rowCount, uint64_t rowBytes, size_t pixel,
                uint8_t* filtered)
{
    for (int32_t k = 0; k < rowCount; ++k) {
        uint8_t* out = filtered + static_cast<size_t>(k) * (1 + rowBytes);
        out[0] = kSubFilter;
        subFilter(rows + k * stride, static_cast<size_t>(rowBytes), pixel, out + 1);
    }
}

// zlib's deflate of the band into `chunk` past the chunk's head; the data's
// size in `data`. False when zlib fails.
bool zlibDeflateBand(uint8_t* filtered, size_t bytes, const Coding& coding, bool last,
                     std::vector<uint8_t>& chunk, size_t* data)
{
    std::unique_ptr<z_stream, DeflateEnd> stream(new z_stream{});
    if (deflateInit2(stream.get(), coding.level, Z_DEFLATED, kRawWindowBits, kMemLevel, coding.strategy) != Z_OK) {
        return false;
    }
    z_stream& z = *stream;
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
    z.avail_in = static_cast<uInt>(bytes);
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
    *data = static_cast<size_t>(z.next_out - chunk.data()) - kChunkHeadBytes;
    return true;
}

}  // namespace

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
    filterRows(rows, stride, rowCount, rowBytes, pixel, filtered);
    const Coding coding = codingFor(filtered, filteredBytes);
    band->adler = adlerOf(filtered, filteredBytes);
    band->bytes = bytes;

    std::vector<uint8_t>& chunk = band->chunk;
    size_t data = 0;
    if (bitDepth == 16 && coding.level != kStoredLevel) {
        data = deflateBand(filtered, filteredBytes, last, band->tokens, chunk);
    } else if (!zlibDeflateBand(filtered, filteredBytes, coding, last, chunk, &data)) {
        return false;
    }
    chunk.resize(kChunkHeadBytes + data + kChunkCrcBytes);
    frameChunk(chunk.data(), "IDAT", static_cast<uint32_t>(data));
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
