// The browser page's way into the core and the converter's rules: a few C
// functions its script calls. The page puts the dump's bytes straight into
// this module's memory, once; every setting goes through the converter's own
// argument and name rules (parseArguments, planJob, sizeFits), every picture
// is made by the core's decoders and picture builders, and a saved file is
// written by the converter's own band writers, so it is byte for byte what
// pixmora-convert writes with the same arguments.
//
// The module is built without threads: the band writers then run their bands
// on the calling thread (hardware_concurrency is 1).
#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/convert_job.h"
#include "cli/frame_writer.h"
#include "cli/size_guess.h"
#include "decode/layout_decoder.h"
#include "picture/develop.h"
#include "picture/picture_rows.h"
#include "platform/file_replace.h"
#include "raw/raw_geometry.h"

namespace {

struct Dump {
    std::unique_ptr<uint8_t[]> bytes;
    int64_t size = 0;
};

// The settings of the last successful plan, and the frame they show.
struct Shown {
    bool ok = false;
    Job job;
    int64_t frame = 0;
};

enum View : int32_t { kHalf = 0, kFull = 1, kPlaneRed = 2, kPlaneGr = 3, kPlaneGb = 4, kPlaneBlue = 5 };

Dump dump;
Shown shown;
std::string text;              // the last JSON answer, alive until the next call
std::vector<uint8_t> picture;  // RGBA, rows top first
int32_t pictureWidth = 0;
int32_t pictureHeight = 0;
std::vector<uint8_t> saved;
int32_t cellReadout[8];

std::vector<std::string> splitLines(const char* joined)
{
    std::vector<std::string> words;
    std::string word;
    for (const char* c = joined; *c != '\0'; ++c) {
        if (*c == '\n') {
            words.push_back(word);
            word.clear();
        } else {
            word += *c;
        }
    }
    words.push_back(word);
    return words;
}

std::string quoted(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string field(const char* name, const std::string& json)
{
    return std::string(",\"") + name + "\":" + json;
}

std::string number(int64_t n)
{
    return std::to_string(n);
}

// What the file lacks for frame k of the settings, or empty when it holds it.
std::string shortOf(const FrameGeometry& f, int64_t k)
{
    if (framesHeld(f, dump.size) > k) {
        return {};
    }
    return "the file is too short: frame " + number(k) + " of " + number(f.width) + " x " + number(f.height) + " " + layoutName(f.layout) +
           " (stride " + number(f.stride) + ", offset " + number(f.offset) + ", scanlines " + number(f.scanlines) +
           ") needs " + number(frameEnd(f, k)) + " bytes; it holds " + number(dump.size);
}

struct Planned {
    JobPlan plan;
    std::string reason;  // empty when the plan holds and the file holds its frame
};

Planned planFor(const char* joined)
{
    Planned p;
    const Arguments args = parseArguments(splitLines(joined));
    if (args.command != Command::Convert || args.inputs.size() != 1) {
        p.reason = args.command == Command::UsageError ? args.error : "one file name is needed";
        return p;
    }
    p.plan = planJob(args, args.inputs[0]);
    if (!p.plan.ok) {
        p.reason = p.plan.reason;
    } else if (p.plan.job.frames.all) {
        p.reason = "the page shows one frame at a time";
    } else {
        p.reason = shortOf(p.plan.job.frame, p.plan.job.frames.index);
    }
    return p;
}

const char* answer(std::string json)
{
    text = std::move(json);
    return text.c_str();
}

// Whether the look changes the plain shift's pixels: the cell picture then
// goes through develop tables.
bool developed(const Development& look)
{
    return look.full || look.black != 0 || look.balance != Balance::None || look.srgb;
}

bool developTables(const Job& job, int64_t k, DevelopTables* tables)
{
    const MemorySource source(dump.bytes.get());
    double gains[3];
    std::string reason;
    BandFailure failure = BandFailure::None;
    if (!balanceGains(FrameRequest{source, job.frame, k, cellLayoutFor(job.pattern), OutputType::Bmp, job.look, {}},
                      gains, &reason, &failure)) {
        return false;
    }
    const DevelopSettings settings{layoutInfo(job.frame.layout).sampleBits, static_cast<uint16_t>(job.look.black),
                                   {gains[0], gains[1], gains[2]}, job.look.srgb};
    return buildDevelopTables(settings, 8, tables);
}

void toRgba(const uint8_t* rgb, int32_t width, bool bgr, uint8_t* rgba)
{
    const auto count = static_cast<size_t>(width);
    for (size_t i = 0; i < count; ++i) {
        rgba[4 * i] = rgb[3 * i + (bgr ? 2 : 0)];
        rgba[4 * i + 1] = rgb[3 * i + 1];
        rgba[4 * i + 2] = rgb[3 * i + (bgr ? 0 : 2)];
        rgba[4 * i + 3] = 255;
    }
}

// The cell picture, a pixel a 2 x 2 cell: the BMP's pixels.
bool renderCells(const Job& job, int64_t k, int32_t width, int32_t height)
{
    const FrameGeometry& f = job.frame;
    const uint8_t* first = dump.bytes.get() + frameStart(f, k);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * 3);
    if (!developed(job.look)) {
        for (int32_t j = 0; j < height; ++j) {
            const uint8_t* upper = first + int64_t{2} * j * f.stride;
            decodeFrameRowPair(f, upper, upper + f.stride, cellLayoutFor(job.pattern), rgb.data());
            toRgba(rgb.data(), width, true, picture.data() + int64_t{4} * width * j);
        }
        return true;
    }
    DevelopTables tables;
    if (!developTables(job, k, &tables)) {
        return false;
    }
    // A qcom10 row's picture takes the padding samples of its last group too.
    const MosaicFrame mosaic{2 * width, f.height, layoutInfo(f.layout).sampleBits, cellLayoutFor(job.pattern)};
    std::vector<uint16_t> samples(static_cast<size_t>(4) * static_cast<size_t>(width));
    const uint16_t* rows[2] = {samples.data(), samples.data() + 2 * width};
    for (int32_t j = 0; j < height; ++j) {
        const uint8_t* upper = first + int64_t{2} * j * f.stride;
        unpackRow(f.layout, upper, 2 * width, samples.data());
        unpackRow(f.layout, upper + f.stride, 2 * width, samples.data() + 2 * width);
        if (!developCellRows(mosaic, SampleRows{rows, 2 * j, 2}, tables, j, 1, 1, PixelFormat::kRgb8, rgb.data(),
                             0)) {
            return false;
        }
        toRgba(rgb.data(), width, false, picture.data() + int64_t{4} * width * j);
    }
    return true;
}

// The W x H bilinear picture, a few unpacked sample rows at a time.
bool renderFull(const Job& job, int64_t k)
{
    const FrameGeometry& f = job.frame;
    const uint8_t* first = dump.bytes.get() + frameStart(f, k);
    DevelopTables tables;
    if (!developTables(job, k, &tables)) {
        return false;
    }
    const MosaicFrame mosaic{f.width, f.height, layoutInfo(f.layout).sampleBits, cellLayoutFor(job.pattern)};
    constexpr int32_t kRing = 4;
    std::vector<uint16_t> ring(static_cast<size_t>(kRing) * static_cast<size_t>(f.width));
    std::vector<uint8_t> rgb(static_cast<size_t>(f.width) * 3);
    const auto ringRow = [&](int32_t row) { return ring.data() + static_cast<size_t>(row % kRing) * static_cast<size_t>(f.width); };
    int32_t next = 0;
    for (int32_t y = 0; y < f.height; ++y) {
        const RowSpan needed = demosaicSampleRows(mosaic, y, 1);
        for (; next < needed.first + needed.count; ++next) {
            unpackRow(f.layout, first + next * f.stride, f.width, ringRow(next));
        }
        const uint16_t* rows[3] = {};
        for (int32_t r = 0; r < needed.count; ++r) {
            rows[r] = ringRow(needed.first + r);
        }
        if (!demosaicRows(mosaic, SampleRows{rows, needed.first, needed.count}, tables, y, 1, PixelFormat::kRgb8,
                          rgb.data(), 0)) {
            return false;
        }
        toRgba(rgb.data(), f.width, false, picture.data() + int64_t{4} * f.width * y);
    }
    return true;
}

// One colour's samples alone, in grey, each sample v as round(v * 255 / white).
void renderPlane(const Job& job, int64_t k, CellPosition position, int32_t width, int32_t height)
{
    const FrameGeometry& f = job.frame;
    const uint8_t* first = dump.bytes.get() + frameStart(f, k);
    const uint32_t white = (uint32_t{1} << layoutInfo(f.layout).sampleBits) - 1;
    std::vector<uint16_t> samples(static_cast<size_t>(2) * static_cast<size_t>(width));
    const int32_t column = position % 2;
    for (int32_t j = 0; j < height; ++j) {
        unpackRow(f.layout, first + (int64_t{2} * j + position / 2) * f.stride, 2 * width, samples.data());
        uint8_t* out = picture.data() + int64_t{4} * width * j;
        for (int32_t i = 0; i < width; ++i) {
            const auto grey = static_cast<uint8_t>((samples[2 * static_cast<size_t>(i) + static_cast<size_t>(column)] * 255u + white / 2) /
                                                   white);
            out[4 * i] = out[4 * i + 1] = out[4 * i + 2] = grey;
            out[4 * i + 3] = 255;
        }
    }
}

}  // namespace

extern "C" {

// Room for a dump of `bytes` bytes, which the page fills; null when memory
// runs out. Frees the dump before.
EMSCRIPTEN_KEEPALIVE uint8_t* pm_open(double bytes)
{
    dump = Dump{};
    shown = Shown{};
    picture = {};
    if (bytes < 0 || bytes > 4e9) {
        return nullptr;
    }
    dump.bytes.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes) + 1]);
    dump.size = dump.bytes ? static_cast<int64_t>(bytes) : 0;
    return dump.bytes.get();
}

// Plans the converter's arguments (one a line, the file name among them) for
// the open dump, as JSON: the settled settings and their sources, the frames
// the file holds and the default output name, or the reason they cannot be
// shown; for a dump of unknown size the geometries its size fits.
EMSCRIPTEN_KEEPALIVE const char* pm_plan(const char* arguments)
{
    const Planned p = planFor(arguments);
    const Job& job = p.plan.job;
    const FrameGeometry& f = job.frame;
    std::string json = std::string("{\"ok\":") + (p.reason.empty() ? "true" : "false");
    json += field("reason", quoted(p.reason));
    json += field("layout", quoted(layoutName(f.layout)));
    json += field("layoutFrom", quoted(sourceName(job.layoutFrom)));
    json += field("width", number(f.width)) + field("widthFrom", quoted(sourceName(job.widthFrom)));
    json += field("height", number(f.height)) + field("heightFrom", quoted(sourceName(job.heightFrom)));
    json += field("pattern", quoted(job.pattern != 0 ? patternName(job.pattern) : ""));
    json += field("patternFrom", quoted(sourceName(job.patternFrom)));
    json += field("stride", number(f.stride)) + field("strideFrom", quoted(sourceName(job.strideFrom)));
    json += field("offset", number(f.offset));
    json += field("scanlines", number(f.scanlines)) + field("scanlinesFrom", quoted(sourceName(job.scanlinesFrom)));
    json += field("frame", number(job.frames.index));
    json += field("frames", number(p.plan.ok ? framesHeld(f, dump.size) : 0));
    json += field("bytes", number(dump.size));
    json += field("output", quoted(job.output));
    std::string fits;
    if (p.plan.sizeUnknown) {
        const std::optional<RawLayout> layout =
            job.layoutFrom == Source::Default ? std::nullopt : std::optional<RawLayout>(f.layout);
        fits = sizeFits(dump.size, layout);
    }
    json += field("sizeUnknown", p.plan.sizeUnknown ? "true" : "false") + field("fits", quoted(fits));
    if (p.reason.empty()) {
        shown = Shown{true, job, job.frames.index};
    }
    return answer(json + "}");
}

// Draws the last good plan's frame in `view` into RGBA rows; the size is
// pm_width() x pm_height(). Null when memory runs out or the look cannot be
// applied.
EMSCRIPTEN_KEEPALIVE uint8_t* pm_render(int32_t view)
{
    if (!shown.ok || view < kHalf || view > kPlaneBlue) {
        return nullptr;
    }
    const Job& job = shown.job;
    const bool full = view == kFull;
    const int32_t width = full ? job.frame.width : framePictureWidth(job.frame);
    const int32_t height = full ? job.frame.height : framePictureHeight(job.frame);
    pictureWidth = width;
    pictureHeight = height;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (picture.size() != bytes) {
        picture = {};
        try {
            picture.resize(bytes);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    bool made = true;
    if (view == kHalf) {
        made = renderCells(job, shown.frame, width, height);
    } else if (full) {
        made = renderFull(job, shown.frame);
    } else {
        const CellLayout cell = cellLayoutFor(job.pattern);
        const CellPosition planes[4] = {cell.red, cell.green1, cell.green2, cell.blue};
        renderPlane(job, shown.frame, planes[view - kPlaneRed], width, height);
    }
    return made ? picture.data() : nullptr;
}

EMSCRIPTEN_KEEPALIVE int32_t pm_width()
{
    return pictureWidth;
}

EMSCRIPTEN_KEEPALIVE int32_t pm_height()
{
    return pictureHeight;
}

// The raw samples of cell (column, row) of the shown frame at full precision
// and their colours: four samples in cell order (upper left, upper right,
// lower left, lower right), then each one's colour, 0 red, 1 the green beside
// red, 2 the green beside blue, 3 blue. Null outside the frame.
EMSCRIPTEN_KEEPALIVE const int32_t* pm_cell(int32_t column, int32_t row)
{
    if (!shown.ok) {
        return nullptr;
    }
    const FrameGeometry& f = shown.job.frame;
    const int32_t width = framePictureWidth(f);
    if (column < 0 || row < 0 || column >= width || row >= framePictureHeight(f)) {
        return nullptr;
    }
    std::vector<uint16_t> samples(static_cast<size_t>(2) * static_cast<size_t>(width));
    const CellLayout cell = cellLayoutFor(shown.job.pattern);
    for (int32_t r = 0; r < 2; ++r) {
        unpackRow(f.layout, dump.bytes.get() + frameStart(f, shown.frame) + (int64_t{2} * row + r) * f.stride,
                  2 * width, samples.data());
        for (int32_t c = 0; c < 2; ++c) {
            const int32_t position = 2 * r + c;
            cellReadout[position] = samples[2 * static_cast<size_t>(column) + static_cast<size_t>(c)];
            cellReadout[4 + position] = position == cell.red      ? 0
                                        : position == cell.green1 ? 1
                                        : position == cell.green2 ? 2
                                                                  : 3;
        }
    }
    return cellReadout;
}

// Writes the picture the converter's arguments ask for, with its band
// writers, and answers JSON: the file's name and size (its bytes at
// pm_saved()), or the reason it cannot be written.
EMSCRIPTEN_KEEPALIVE const char* pm_save(const char* arguments)
{
    saved = {};
    const Planned p = planFor(arguments);
    if (!p.reason.empty()) {
        return answer("{\"ok\":false" + field("reason", quoted(p.reason)) + "}");
    }
    const Job& job = p.plan.job;
    const std::string name = job.output.substr(job.output.find_last_of("/\\") + 1);
    const std::string path = "/" + name;
    std::string reason;
    BandFailure failed = BandFailure::None;
    bool written = false;
    {
        ReplacingFile out(path);
        const MemorySource source(dump.bytes.get());
        const CellLayout cell = cellLayoutFor(job.pattern);
        written = out.open() &&
                  writeFrameInBands(out, FrameRequest{source, job.frame, job.frames.index, cell, job.type, job.look, {}},
                                    &reason, &failed) &&
                  out.commit();
        if (!written && reason.empty()) {
            reason = out.reason();
        }
    }
    if (written) {
        if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
            std::fseek(file, 0, SEEK_END);
            saved.resize(static_cast<size_t>(std::ftell(file)));
            std::fseek(file, 0, SEEK_SET);
            written = std::fread(saved.data(), 1, saved.size(), file) == saved.size();
            std::fclose(file);
        }
        std::remove(path.c_str());
    }
    if (!written) {
        return answer("{\"ok\":false" + field("reason", quoted("cannot write " + name + " (" + reason + ")")) + "}");
    }
    return answer("{\"ok\":true" + field("name", quoted(name)) + field("size", number(static_cast<int64_t>(saved.size()))) +
                  "}");
}

EMSCRIPTEN_KEEPALIVE const uint8_t* pm_saved()
{
    return saved.data();
}

EMSCRIPTEN_KEEPALIVE void pm_forget_saved()
{
    saved = {};
}

}  // extern "C"
