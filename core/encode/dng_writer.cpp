#include "encode/dng_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "picture/picture_rows.h"

namespace {

enum TiffType : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSRational = 10 };

// One IFD entry with its value's bytes, little-endian.
struct Entry {
    uint16_t tag;
    TiffType type;
    uint32_t count;
    std::vector<uint8_t> value;
};

void putLittleEndian(std::vector<uint8_t>& out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

Entry shorts(uint16_t tag, std::initializer_list<uint32_t> values)
{
    Entry e{tag, kShort, static_cast<uint32_t>(values.size()), {}};
    for (const uint32_t v : values) {
        putLittleEndian(e.value, v, 2);
    }
    return e;
}

Entry longs(uint16_t tag, uint32_t value)
{
    Entry e{tag, kLong, 1, {}};
    putLittleEndian(e.value, value, 4);
    return e;
}

Entry bytes(uint16_t tag, std::initializer_list<uint8_t> values)
{
    return {tag, kByte, static_cast<uint32_t>(values.size()), std::vector<uint8_t>(values)};
}

Entry ascii(uint16_t tag, const std::string& text)
{
    Entry e{tag, kAscii, static_cast<uint32_t>(text.size() + 1), std::vector<uint8_t>(text.begin(), text.end())};
    e.value.push_back(0);
    return e;
}

// (numerator, denominator) pairs; signed ones are stored in two's complement.
Entry rationals(uint16_t tag, TiffType type, const std::vector<std::pair<int64_t, uint32_t>>& values)
{
    Entry e{tag, type, static_cast<uint32_t>(values.size()), {}};
    for (const auto& [numerator, denominator] : values) {
        putLittleEndian(e.value, static_cast<uint64_t>(numerator), 4);
        putLittleEndian(e.value, denominator, 4);
    }
    return e;
}

// A positive value as a RATIONAL with the largest power-of-two denominator
// that keeps the numerator within 32 bits, so gains that are powers of two
// come out exact.
std::pair<int64_t, uint32_t> unsignedRational(double value)
{
    uint32_t denominator = 1u << 31;
    while (denominator > 1 && value * denominator > 4294967295.0) {
        denominator >>= 1;
    }
    return {static_cast<int64_t>(std::llround(value * denominator)), denominator};
}

// XYZ (D65) to linear sRGB, IEC 61966-2-1, in ten-thousandths.
constexpr int64_t kXyzToSrgb[9] = {32406, -15372, -4986, -9689, 18758, 415, 557, -2040, 10570};
constexpr uint32_t kMatrixDenominator = 10000;
constexpr uint32_t kIlluminantD65 = 21;
constexpr uint32_t kPhotometricRgb = 2;
constexpr uint32_t kPhotometricCfa = 32803;
constexpr uint32_t kResolutionUnitInch = 2;
constexpr uint32_t kResolutionDpi = 72;

// TIFF's offsets are 32-bit.
constexpr uint64_t kMaxTiffBytes = 0xFFFFFFFFull;
constexpr uint32_t kTiffHeaderBytes = 8;
constexpr uint32_t kEntryBytes = 12;

// Bytes an IFD takes with the values that do not fit its entries, each
// value starting on a word boundary.
uint32_t ifdBytes(const std::vector<Entry>& ifd)
{
    uint32_t size = 2 + kEntryBytes * static_cast<uint32_t>(ifd.size()) + 4;
    for (const Entry& e : ifd) {
        if (e.value.size() > 4) {
            size += static_cast<uint32_t>((e.value.size() + 1) / 2 * 2);
        }
    }
    return size;
}

// Appends the IFD at out.size() (which must equal its offset) and its values.
void appendIfd(std::vector<uint8_t>& out, const std::vector<Entry>& ifd)
{
    const size_t start = out.size();
    uint32_t valueOffset = static_cast<uint32_t>(start) + 2 + kEntryBytes * static_cast<uint32_t>(ifd.size()) + 4;
    putLittleEndian(out, ifd.size(), 2);
    for (const Entry& e : ifd) {
        putLittleEndian(out, e.tag, 2);
        putLittleEndian(out, e.type, 2);
        putLittleEndian(out, e.count, 4);
        if (e.value.size() <= 4) {
            std::vector<uint8_t> inline4(e.value);
            inline4.resize(4, 0);
            out.insert(out.end(), inline4.begin(), inline4.end());
        } else {
            putLittleEndian(out, valueOffset, 4);
            valueOffset += static_cast<uint32_t>((e.value.size() + 1) / 2 * 2);
        }
    }
    putLittleEndian(out, 0, 4);  // no next IFD
    for (const Entry& e : ifd) {
        if (e.value.size() > 4) {
            out.insert(out.end(), e.value.begin(), e.value.end());
            if (e.value.size() % 2 != 0) {
                out.push_back(0);
            }
        }
    }
}

std::string patternNameOf(const CellLayout& cell)
{
    for (int32_t p = 1; p <= kPatternCount; ++p) {
        const CellLayout known = cellLayoutFor(p);
        if (known.red == cell.red && known.blue == cell.blue) {
            return patternName(p);
        }
    }
    return "CFA";
}

std::string modelOf(const DngDescription& d)
{
    const std::string pattern = patternNameOf(d.frame.cell);
    return d.layoutName.empty() ? pattern : d.layoutName + " " + pattern;
}

std::vector<Entry> previewIfd(const DngDescription& d, const DngLayout& layout, uint32_t rawIfdOffset)
{
    std::vector<std::pair<int64_t, uint32_t>> matrix;
    for (const int64_t m : kXyzToSrgb) {
        matrix.emplace_back(m, kMatrixDenominator);
    }
    std::vector<std::pair<int64_t, uint32_t>> neutral;
    for (const double gain : d.gains) {
        neutral.push_back(unsignedRational(1.0 / gain));
    }
    const std::string model = modelOf(d);
    return {
        longs(254, 1),  // NewSubFileType: reduced-resolution copy
        longs(256, static_cast<uint32_t>(layout.previewWidth)),
        longs(257, static_cast<uint32_t>(layout.previewHeight)),
        shorts(258, {8, 8, 8}),
        shorts(259, {1}),  // Compression: none
        shorts(262, {kPhotometricRgb}),
        ascii(271, "Pixmora"),
        ascii(272, model),
        longs(273, layout.previewOffset),
        shorts(274, {1}),  // Orientation: top-left
        shorts(277, {3}),
        longs(278, static_cast<uint32_t>(layout.previewHeight)),
        longs(279, layout.previewBytes),
        rationals(282, kRational, {{kResolutionDpi, 1}}),
        rationals(283, kRational, {{kResolutionDpi, 1}}),
        shorts(284, {1}),  // PlanarConfiguration: interleaved
        shorts(296, {kResolutionUnitInch}),
        ascii(305, "Pixmora"),
        longs(330, rawIfdOffset),  // SubIFDs
        bytes(50706, {1, 4, 0, 0}),  // DNGVersion
        bytes(50707, {1, 1, 0, 0}),  // DNGBackwardVersion: no tag newer than 1.1 is used
        ascii(50708, "Pixmora " + model),
        rationals(50721, kSRational, matrix),  // ColorMatrix1
        rationals(50728, kRational, neutral),  // AsShotNeutral
        shorts(50778, {kIlluminantD65}),       // CalibrationIlluminant1
    };
}

std::vector<Entry> rawIfd(const DngDescription& d, const DngLayout& layout)
{
    const CellLayout& cell = d.frame.cell;
    const auto cfa = [&](int32_t position) {
        return static_cast<uint8_t>(colourAtPosition(cell, position));  // 0 red, 1 green, 2 blue
    };
    return {
        longs(254, 0),  // NewSubFileType: the main image
        longs(256, static_cast<uint32_t>(d.frame.width)),
        longs(257, static_cast<uint32_t>(d.frame.height)),
        shorts(258, {16}),
        shorts(259, {1}),
        shorts(262, {kPhotometricCfa}),
        longs(273, layout.rawOffset),
        shorts(277, {1}),
        longs(278, static_cast<uint32_t>(d.frame.height)),
        longs(279, layout.rawBytes),
        shorts(284, {1}),
        shorts(33421, {2, 2}),  // CFARepeatPatternDim
        bytes(33422, {cfa(0), cfa(1), cfa(2), cfa(3)}),  // CFAPattern, row by row
        bytes(50710, {0, 1, 2}),  // CFAPlaneColor
        shorts(50711, {1}),       // CFALayout: rectangular
        shorts(50713, {1, 1}),    // BlackLevelRepeatDim
        longs(50714, d.black),    // BlackLevel
        longs(50717, (1u << d.frame.bits) - 1u),  // WhiteLevel
    };
}

// The head with every offset in place; its size does not depend on them.
std::vector<uint8_t> buildHead(const DngDescription& d, const DngLayout& layout)
{
    const uint32_t rawIfdOffset = kTiffHeaderBytes + ifdBytes(previewIfd(d, layout, 0));
    std::vector<uint8_t> head = {'I', 'I', 42, 0};
    putLittleEndian(head, kTiffHeaderBytes, 4);
    appendIfd(head, previewIfd(d, layout, rawIfdOffset));
    appendIfd(head, rawIfd(d, layout));
    return head;
}

bool isUsableGain(double gain)
{
    return std::isfinite(gain) && gain > 1.0 / 2147483648.0;
}

}  // namespace

bool planDng(const DngDescription& description, DngLayout* layout)
{
    const MosaicFrame& frame = description.frame;
    if (!isValidMosaicFrame(frame) || description.black >= (1u << frame.bits) - 1u ||
        !isUsableGain(description.gains[0]) || !isUsableGain(description.gains[1]) ||
        !isUsableGain(description.gains[2])) {
        return false;
    }
    DngLayout plan;
    const int32_t longest = std::max(cellPictureWidth(frame), cellPictureHeight(frame));
    plan.previewStep = (longest + kDngPreviewMaxSide - 1) / kDngPreviewMaxSide;
    plan.previewWidth = steppedWidth(cellPictureWidth(frame), plan.previewStep);
    plan.previewHeight = steppedWidth(cellPictureHeight(frame), plan.previewStep);
    const uint64_t rawBytes = 2 * static_cast<uint64_t>(frame.width) * static_cast<uint64_t>(frame.height);
    const uint64_t previewBytes =
        3 * static_cast<uint64_t>(plan.previewWidth) * static_cast<uint64_t>(plan.previewHeight);
    const uint64_t headBytes = buildHead(description, plan).size();
    if (headBytes + rawBytes + previewBytes > kMaxTiffBytes) {
        return false;
    }
    plan.rawOffset = static_cast<uint32_t>(headBytes);
    plan.rawBytes = static_cast<uint32_t>(rawBytes);
    plan.previewOffset = static_cast<uint32_t>(headBytes + rawBytes);
    plan.previewBytes = static_cast<uint32_t>(previewBytes);
    plan.fileBytes = static_cast<uint32_t>(headBytes + rawBytes + previewBytes);
    *layout = plan;
    return true;
}

std::vector<uint8_t> dngHead(const DngDescription& description, const DngLayout& layout)
{
    return buildHead(description, layout);
}

void dngRawRow(const uint16_t* samples, int32_t width, uint8_t* out)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(out, samples, 2 * static_cast<size_t>(width));
#else
    for (int32_t x = 0; x < width; ++x) {
        out[2 * x] = static_cast<uint8_t>(samples[x]);
        out[2 * x + 1] = static_cast<uint8_t>(samples[x] >> 8);
    }
#endif
}
