#include "picture_rows.h"

#include <algorithm>
#include <vector>

namespace {

template <PixelFormat F>
inline uint8_t* put(uint8_t* out, uint32_t red, uint32_t green, uint32_t blue)
{
    if constexpr (F == PixelFormat::kRgb8) {
        out[0] = static_cast<uint8_t>(red);
        out[1] = static_cast<uint8_t>(green);
        out[2] = static_cast<uint8_t>(blue);
        return out + 3;
    } else if constexpr (F == PixelFormat::kBgr8) {
        out[0] = static_cast<uint8_t>(blue);
        out[1] = static_cast<uint8_t>(green);
        out[2] = static_cast<uint8_t>(red);
        return out + 3;
    } else {
        out[0] = static_cast<uint8_t>(red >> 8);
        out[1] = static_cast<uint8_t>(red);
        out[2] = static_cast<uint8_t>(green >> 8);
        out[3] = static_cast<uint8_t>(green);
        out[4] = static_cast<uint8_t>(blue >> 8);
        out[5] = static_cast<uint8_t>(blue);
        return out + 6;
    }
}

// Table lookups mask the index with the tables' size: a sample at or above
// 2^bits breaks the input's contract and gives some value, never a read
// outside the table.
struct Lookup {
    const uint16_t* red;
    const uint16_t* green;
    const uint16_t* blue;
    uint32_t mask;
};

Lookup lookupFor(const DevelopTables& tables)
{
    return {tables.colour[kRed].data(), tables.colour[kGreen].data(), tables.colour[kBlue].data(),
            (1u << tables.inputBits) - 1u};
}

bool tablesFit(const MosaicFrame& frame, const DevelopTables& tables, PixelFormat format)
{
    const size_t entries = size_t{1} << frame.bits;
    return tables.inputBits == frame.bits && tables.outputBits == formatBits(format) &&
           tables.colour[kRed].size() == entries && tables.colour[kGreen].size() == entries &&
           tables.colour[kBlue].size() == entries;
}

// ---------------------------------------------------------------------------
// Cell picture

template <PixelFormat F, bool Shifts>
void cellRow(const uint16_t* upper, const uint16_t* lower, const CellLayout& cell, const Lookup& t,
             int32_t pixels, int32_t step, uint8_t* out)
{
    const uint16_t* rows[2] = {upper, lower};
    const uint16_t* red = rows[cell.red / 2] + cell.red % 2;
    const uint16_t* green1 = rows[cell.green1 / 2] + cell.green1 % 2;
    const uint16_t* green2 = rows[cell.green2 / 2] + cell.green2 % 2;
    const uint16_t* blue = rows[cell.blue / 2] + cell.blue % 2;
    const size_t advance = 2 * static_cast<size_t>(step);
    size_t x = 0;
    for (int32_t i = 0; i < pixels; ++i, x += advance) {
        const uint32_t g1 = green1[x] & t.mask;
        const uint32_t g2 = green2[x] & t.mask;
        const uint32_t green = Shifts ? (uint32_t{t.green[g1]} + t.green[g2]) >> 1 : t.green[(g1 + g2) >> 1];
        out = put<F>(out, t.red[red[x] & t.mask], green, t.blue[blue[x] & t.mask]);
    }
}

using CellRowFunction = void (*)(const uint16_t*, const uint16_t*, const CellLayout&, const Lookup&,
                                 int32_t, int32_t, uint8_t*);

template <PixelFormat F>
CellRowFunction cellRowFor(bool shifts)
{
    return shifts ? cellRow<F, true> : cellRow<F, false>;
}

// ---------------------------------------------------------------------------
// Demosaic, in sample units into rgb (3 values a pixel), then developed.

// A pixel anywhere, counting the neighbours that exist. `other` is the
// non-green colour of the pixel's row; the column of a green pixel holds the
// remaining one.
void edgePixel(const uint16_t* up, const uint16_t* cur, const uint16_t* down, int32_t width,
               int32_t x, bool green, Colour other, uint16_t* rgb)
{
    uint32_t h = 0, nh = 0, v = 0, nv = 0, d = 0, nd = 0;
    if (x > 0) {
        h += cur[x - 1];
        ++nh;
    }
    if (x + 1 < width) {
        h += cur[x + 1];
        ++nh;
    }
    for (const uint16_t* row : {up, down}) {
        if (row == nullptr) {
            continue;
        }
        v += row[x];
        ++nv;
        if (x > 0) {
            d += row[x - 1];
            ++nd;
        }
        if (x + 1 < width) {
            d += row[x + 1];
            ++nd;
        }
    }
    // A valid frame is at least 2 x 2, so every count is at least 1; the
    // guard only keeps a division by zero out of reach.
    const auto mean = [](uint32_t sum, uint32_t count) { return static_cast<uint16_t>(sum / std::max(count, 1u)); };
    uint16_t* px = rgb + 3 * static_cast<size_t>(x);
    if (green) {
        px[kGreen] = cur[x];
        px[other] = mean(h, nh);
        px[2 - other] = mean(v, nv);
    } else {
        px[other] = cur[x];
        px[kGreen] = mean(h + v, nh + nv);
        px[2 - other] = mean(d, nd);
    }
}

// Columns 1 .. width - 2 of a row with rows above and below: every count is
// full (2 in a line, 4 around or across), so the means are shifts.
template <int Other, bool GreenOdd>
void interiorRow(const uint16_t* up, const uint16_t* cur, const uint16_t* down, int32_t width, uint16_t* rgb)
{
    for (int32_t x = GreenOdd ? 1 : 2; x + 1 < width; x += 2) {
        uint16_t* px = rgb + 3 * static_cast<size_t>(x);
        px[kGreen] = cur[x];
        px[Other] = static_cast<uint16_t>((cur[x - 1] + cur[x + 1]) >> 1);
        px[2 - Other] = static_cast<uint16_t>((up[x] + down[x]) >> 1);
    }
    for (int32_t x = GreenOdd ? 2 : 1; x + 1 < width; x += 2) {
        uint16_t* px = rgb + 3 * static_cast<size_t>(x);
        const uint32_t orthogonal = uint32_t{cur[x - 1]} + cur[x + 1] + up[x] + down[x];
        const uint32_t diagonal = uint32_t{up[x - 1]} + up[x + 1] + down[x - 1] + down[x + 1];
        px[Other] = cur[x];
        px[kGreen] = static_cast<uint16_t>(orthogonal >> 2);
        px[2 - Other] = static_cast<uint16_t>(diagonal >> 2);
    }
}

void demosaicRowSamples(const MosaicFrame& frame, const uint16_t* up, const uint16_t* cur,
                        const uint16_t* down, int32_t y, uint16_t* rgb)
{
    const int32_t rowPosition = (y & 1) * 2;
    const bool greenOdd = colourAtPosition(frame.cell, rowPosition) != kGreen;
    const Colour other = colourAtPosition(frame.cell, rowPosition + (greenOdd ? 0 : 1));
    const int32_t width = frame.width;
    if (up == nullptr || down == nullptr) {
        for (int32_t x = 0; x < width; ++x) {
            edgePixel(up, cur, down, width, x, ((x & 1) != 0) == greenOdd, other, rgb);
        }
        return;
    }
    if (other == kRed && greenOdd) {
        interiorRow<kRed, true>(up, cur, down, width, rgb);
    } else if (other == kRed) {
        interiorRow<kRed, false>(up, cur, down, width, rgb);
    } else if (greenOdd) {
        interiorRow<kBlue, true>(up, cur, down, width, rgb);
    } else {
        interiorRow<kBlue, false>(up, cur, down, width, rgb);
    }
    edgePixel(up, cur, down, width, 0, !greenOdd, other, rgb);
    edgePixel(up, cur, down, width, width - 1, (((width - 1) & 1) != 0) == greenOdd, other, rgb);
}

template <PixelFormat F>
void developRow(const uint16_t* rgb, int32_t width, const Lookup& t, uint8_t* out)
{
    for (int32_t x = 0; x < width; ++x, rgb += 3) {
        out = put<F>(out, t.red[rgb[0] & t.mask], t.green[rgb[1] & t.mask], t.blue[rgb[2] & t.mask]);
    }
}

using DevelopRowFunction = void (*)(const uint16_t*, int32_t, const Lookup&, uint8_t*);

}  // namespace

bool developCellRows(const MosaicFrame& frame, const SampleRows& band, const DevelopTables& tables,
                     int32_t firstRow, int32_t rowCount, int32_t columnStep, PixelFormat format,
                     uint8_t* out, int64_t stride)
{
    if (!isValidMosaicFrame(frame) || !tablesFit(frame, tables, format) || columnStep < 1 ||
        firstRow < 0 || rowCount < 0 || firstRow > cellPictureHeight(frame) - rowCount ||
        !bandCovers(band, 2 * firstRow, 2 * rowCount) || (rowCount > 0 && out == nullptr)) {
        return false;
    }
    CellRowFunction row = nullptr;
    switch (format) {
    case PixelFormat::kRgb8: row = cellRowFor<PixelFormat::kRgb8>(tables.shifts); break;
    case PixelFormat::kBgr8: row = cellRowFor<PixelFormat::kBgr8>(tables.shifts); break;
    case PixelFormat::kRgb16BigEndian: row = cellRowFor<PixelFormat::kRgb16BigEndian>(tables.shifts); break;
    }
    const Lookup lookup = lookupFor(tables);
    const int32_t pixels = steppedWidth(cellPictureWidth(frame), columnStep);
    for (int32_t k = 0; k < rowCount; ++k) {
        const int32_t upper = 2 * (firstRow + k) - band.first;
        row(band.rows[upper], band.rows[upper + 1], frame.cell, lookup, pixels, columnStep, out + k * stride);
    }
    return true;
}

RowSpan demosaicSampleRows(const MosaicFrame& frame, int32_t first, int32_t count)
{
    const int32_t top = first > 0 ? first - 1 : 0;
    const int32_t end = first + count < frame.height ? first + count + 1 : frame.height;
    return {top, end - top};
}

bool demosaicRows(const MosaicFrame& frame, const SampleRows& band, const DevelopTables& tables,
                  int32_t firstRow, int32_t rowCount, PixelFormat format, uint8_t* out, int64_t stride)
{
    if (!isValidMosaicFrame(frame) || !tablesFit(frame, tables, format) || firstRow < 0 ||
        rowCount < 0 || firstRow > frame.height - rowCount || (rowCount > 0 && out == nullptr)) {
        return false;
    }
    const RowSpan needed = demosaicSampleRows(frame, firstRow, rowCount);
    if (rowCount > 0 && !bandCovers(band, needed.first, needed.count)) {
        return false;
    }
    DevelopRowFunction develop = nullptr;
    switch (format) {
    case PixelFormat::kRgb8: develop = developRow<PixelFormat::kRgb8>; break;
    case PixelFormat::kBgr8: develop = developRow<PixelFormat::kBgr8>; break;
    case PixelFormat::kRgb16BigEndian: develop = developRow<PixelFormat::kRgb16BigEndian>; break;
    }
    const Lookup lookup = lookupFor(tables);
    std::vector<uint16_t> rgb(3 * static_cast<size_t>(frame.width));
    for (int32_t k = 0; k < rowCount; ++k) {
        const int32_t y = firstRow + k;
        const auto row = [&](int32_t r) { return band.rows[r - band.first]; };
        demosaicRowSamples(frame, y > 0 ? row(y - 1) : nullptr, row(y),
                           y + 1 < frame.height ? row(y + 1) : nullptr, y, rgb.data());
        develop(rgb.data(), frame.width, lookup, out + k * stride);
    }
    return true;
}
