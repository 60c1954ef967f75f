#include "cli/convert_job.h"

#include <algorithm>
#include <memory>
#include <new>

#include "cli/bmp_stream.h"
#include "raw/cell_layout.h"
#include "platform/file_replace.h"
#include "cli/name_geometry.h"
#include "cli/output_names.h"
#include "cli/picture_stream.h"

namespace {

std::string dimensionText(int64_t width, int64_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// A setting from the option when given, else from the name when it gives one;
// false when neither does.
template <typename T>
bool optionElseName(bool optionGiven, T option, const NameValue& name, T* value, Source* from)
{
    if (optionGiven) {
        *value = option;
        *from = Source::Option;
        return true;
    }
    if (name.given()) {
        *value = static_cast<T>(name.value);
        *from = Source::Name;
        return true;
    }
    return false;
}

// Width and height from the options, else from the name; what is missing or
// out of range goes to `problems`.
void chooseSize(const Arguments& args, const NameSettings& name, JobPlan* plan, std::vector<std::string>* problems)
{
    Job& job = plan->job;
    std::vector<std::string> missing;
    std::vector<std::string> options;
    int64_t width = 0;
    int64_t height = 0;
    if (!optionElseName<int64_t>(args.width != 0, args.width, name.width, &width, &job.widthFrom)) {
        missing.push_back("width");
        options.push_back("--width");
    }
    if (!optionElseName<int64_t>(args.height != 0, args.height, name.height, &height, &job.heightFrom)) {
        missing.push_back("height");
        options.push_back("--height");
    }
    if (!missing.empty()) {
        std::string words = joinWords(missing, " and ") + " unknown: pass " + joinWords(options, " and ") +
                            ", or name the file with one <W>x<H> token";
        if (name.width.distinct > 1 || name.height.distinct > 1) {
            words += " (its name gives more than one)";
        }
        problems->push_back(words);
        plan->sizeUnknown = true;
        return;
    }
    const ValueRange widths = settingRange(Setting::Width, {job.frame.layout});
    const ValueRange heights = settingRange(Setting::Height, {});
    if (!widths.holds(width) || !heights.holds(height)) {
        const bool named = job.widthFrom == Source::Name || job.heightFrom == Source::Name;
        const bool layoutNarrows = widths.low > settingRange(Setting::Width, {}).low;
        problems->push_back(std::string(named ? "the name's geometry " : "the geometry ") +
                            dimensionText(width, height) + " is outside width " + std::to_string(widths.low) +
                            " to " + std::to_string(widths.high) + ", height " + std::to_string(heights.low) +
                            " to " + std::to_string(heights.high) +
                            (layoutNarrows ? std::string(" for ") + layoutName(job.frame.layout) : "") +
                            "; pass --width and --height");
        return;
    }
    job.frame.width = static_cast<int32_t>(width);
    job.frame.height = static_cast<int32_t>(height);
}

// The pattern from the option, else from the name's pattern token.
void choosePattern(const Arguments& args, const NameSettings& name, Job* job, std::vector<std::string>* problems)
{
    if (optionElseName(args.pattern != 0, args.pattern, name.pattern, &job->pattern, &job->patternFrom)) {
        return;
    }
    std::string words = "pattern unknown: pass --pattern, or name the file with one of " +
                        joinWords(patternNames(), ", ") + " as a whole token";
    if (name.pattern.distinct > 1) {
        words += " (its name gives more than one)";
    }
    problems->push_back(words);
}

// Stride and scanlines from the options, else the name, else the tightest
// packing; checked against the chosen width and height.
void chooseRows(const Arguments& args, const NameSettings& name, Job* job, std::vector<std::string>* problems)
{
    FrameGeometry& f = job->frame;
    const ValueRange strides = settingRange(Setting::Stride, {f.layout, f.width});
    const ValueRange scanlines = settingRange(Setting::Scanlines, {f.layout, f.width, f.height});
    if (!optionElseName(args.stride.has_value(), args.stride.value_or(0), name.stride, &f.stride,
                        &job->strideFrom)) {
        f.stride = strides.low;
    }
    if (!optionElseName(args.scanlines.has_value(), args.scanlines.value_or(0), name.scanlines, &f.scanlines,
                        &job->scanlinesFrom)) {
        f.scanlines = scanlines.low;
    }
    if (args.offset) {
        f.offset = *args.offset;
        job->offsetFrom = Source::Option;
    }
    if (!strides.holds(f.stride)) {
        problems->push_back("stride " + std::to_string(f.stride) + " is not from the " +
                            std::to_string(strides.low) + " bytes a row of " + std::to_string(f.width) + " " +
                            layoutName(f.layout) + " samples needs to " + std::to_string(strides.high));
    }
    if (!scanlines.holds(f.scanlines)) {
        problems->push_back("scanlines " + std::to_string(f.scanlines) + " is not from the height " +
                            std::to_string(scanlines.low) + " to " + std::to_string(scanlines.high));
    }
}

// What the development asks of the chosen layout and width.
void checkDevelopment(const Job& job, std::vector<std::string>* problems)
{
    const ValueRange widths = settingRange(Setting::Width, {std::nullopt, 0, 0, everySample(job.look, job.type)});
    if (job.frame.width != 0 && !widths.holds(job.frame.width)) {
        problems->push_back("width " + std::to_string(job.frame.width) + " is too narrow for " +
                            (job.look.full ? "--full" : "a DNG") + ", which needs at least " +
                            std::to_string(widths.low) + " samples a row");
    }
    const ValueRange blacks = settingRange(Setting::Black, {job.frame.layout});
    if (!blacks.holds(job.look.black)) {
        problems->push_back("black level " + std::to_string(job.look.black) + " is not below " +
                            layoutName(job.frame.layout) + "'s white level " + std::to_string(blacks.high + 1));
    }
}

}  // namespace

const char* sourceName(Source source)
{
    switch (source) {
    case Source::Option: return "option";
    case Source::Name: return "name";
    default: return "default";
    }
}

JobPlan planJob(const Arguments& args, const std::string& input)
{
    JobPlan plan;
    Job& job = plan.job;
    job.input = input;
    const NameSettings name = settingsFromName(input);

    std::vector<std::string> problems;
    if (!optionElseName(args.layout.has_value(), args.layout.value_or(kDefaultLayout), name.layout,
                        &job.frame.layout, &job.layoutFrom)) {
        job.frame.layout = kDefaultLayout;
    }
    chooseSize(args, name, &plan, &problems);
    choosePattern(args, name, &job, &problems);
    if (problems.empty()) {
        chooseRows(args, name, &job, &problems);
    }
    if (args.frame) {
        job.frames = *args.frame;
        job.framesFrom = Source::Option;
    }
    job.type = args.type;
    job.look = args.look;
    checkDevelopment(job, &problems);
    job.output = args.output.empty() ? withExtension(input, typeExtension(job.type)) : args.output;

    plan.ok = problems.empty();
    for (size_t i = 0; i < problems.size(); ++i) {
        plan.reason += (i > 0 ? "; " : "") + problems[i];
    }
    return plan;
}

std::string describeJob(const Job& job, int64_t fileBytes)
{
    const FrameGeometry& f = job.frame;
    const auto line = [](const char* what, const std::string& value, Source from) {
        return std::string("  ") + what + std::string(11 - std::char_traits<char>::length(what), ' ') + value +
               " (" + sourceName(from) + ")\n";
    };
    std::string text = job.input + "\n";
    text += line("layout", layoutName(f.layout), job.layoutFrom);
    text += line("width", std::to_string(f.width), job.widthFrom);
    text += line("height", std::to_string(f.height), job.heightFrom);
    text += line("pattern", patternName(job.pattern), job.patternFrom);
    text += line("stride", std::to_string(f.stride) + " bytes", job.strideFrom);
    text += line("offset", std::to_string(f.offset) + " bytes", job.offsetFrom);
    text += line("scanlines", std::to_string(f.scanlines), job.scanlinesFrom);
    const int64_t held = fileBytes < 0 ? 0 : framesHeld(f, fileBytes);
    std::string frames = (fileBytes < 0 ? std::string("unknown, the file cannot be read")
                                        : std::to_string(held) + " in " + std::to_string(fileBytes) + " bytes") +
                         "; converting " +
                         (job.frames.all ? std::string("all") : "frame " + std::to_string(job.frames.index));
    text += line("frames", frames, job.framesFrom);
    if (!job.frames.all) {
        text += "  output     " + job.output + "\n";
    } else if (held > 0) {
        text += "  output     " + frameOutputName(job.output, 0) +
                (held > 1 ? " to " + frameOutputName(job.output, held - 1) : "") + "\n";
    }
    return text;
}

namespace {

class FileSource : public PackedSource {
public:
    explicit FileSource(const InputFile& file) : file_(file) {}
    const uint8_t* rows(uint64_t offset, size_t bytes, uint8_t* scratch,
                        std::string* reason) const override
    {
        return file_.readAt(offset, scratch, bytes, reason) ? scratch : nullptr;
    }

private:
    const InputFile& file_;
};

JobResult failure(JobResult r, std::string reason)
{
    r.ok = false;
    r.reason = std::move(reason);
    return r;
}

// A pipe or device gives its bytes once and in order, but pictures want rows
// in any order: such inputs are read whole, up to `limit` bytes.
bool readStream(InputFile& file, int64_t limit, std::vector<uint8_t>* bytes, std::string* reason)
{
    constexpr size_t kChunk = size_t{1} << 20;
    while (static_cast<int64_t>(bytes->size()) < limit) {
        const size_t have = bytes->size();
        const size_t want = static_cast<size_t>(std::min<int64_t>(kChunk, limit - static_cast<int64_t>(have)));
        bytes->resize(have + want);
        size_t got = 0;
        if (!file.readUpTo(bytes->data() + have, want, &got, reason)) {
            return false;
        }
        bytes->resize(have + got);
        if (got < want) {
            break;
        }
    }
    return true;
}

// Why a file of `has` bytes cannot give frame `frameIndex`: the bytes it needs.
std::string tooShortReason(const Job& job, int64_t has, int64_t frameIndex)
{
    const FrameGeometry& f = job.frame;
    return "too short (has " + std::to_string(has) + " bytes; " + std::to_string(f.width) + " x " +
           std::to_string(f.height) + (f.layout == kDefaultLayout ? "" : std::string(" ") + layoutName(f.layout)) +
           (frameIndex > 0 ? ", frame " + std::to_string(frameIndex) + "," : "") + " needs " +
           std::to_string(frameEnd(f, frameIndex)) + ")";
}

// One frame to its own file.
bool writeFrame(const Job& job, const PackedSource& source, int64_t frameIndex, const std::string& output,
                const std::vector<FileIdentity>& inputs, std::string* reason)
{
    if (const auto target = fileIdentity(output.c_str())) {
        if (std::find(inputs.begin(), inputs.end(), *target) != inputs.end()) {
            *reason = "output " + output + " is an input file; refusing to overwrite it (pass --output)";
            return false;
        }
    }
    ReplacingFile out(output);
    if (!out.open()) {
        *reason = "output " + output + " not writable (" + out.reason() + ")";
        return false;
    }
    std::string why;
    BandFailure failed = BandFailure::None;
    const CellLayout cell = cellLayoutFor(job.pattern);
    const bool written =
        needsSamples(job.type, job.look)
            ? writePictureInBands(out, source, job.frame, frameIndex, cell, job.type, job.look, &why, &failed)
            : writeBmpInBands(out, source, job.frame, frameIndex, cell, planBands(job.frame), &why, &failed);
    if (!written) {
        switch (failed) {
        case BandFailure::Read: *reason = "cannot read (" + why + ")"; break;
        case BandFailure::Memory: *reason = "not enough memory to convert it"; break;
        default: *reason = "output " + output + " not writable (" + why + ")"; break;
        }
        return false;
    }
    if (!out.commit()) {
        *reason = "output " + output + " not writable (" + out.reason() + ")";
        return false;
    }
    return true;
}

JobResult convert(const Job& job, const std::vector<FileIdentity>& inputs)
{
    JobResult r;
    std::string reason;
    InputFile file;
    if (!file.open(job.input.c_str(), &reason)) {
        return failure(r, "cannot open (" + reason + ")");
    }
    const int64_t first = job.frames.all ? 0 : job.frames.index;
    std::vector<uint8_t> whole;
    auto available = static_cast<int64_t>(file.size());
    if (!file.seekable()) {
        if (!readStream(file, job.frames.all ? INT64_MAX : frameEnd(job.frame, first), &whole, &reason)) {
            return failure(r, "cannot read (" + reason + ")");
        }
        available = static_cast<int64_t>(whole.size());
    }
    const int64_t held = framesHeld(job.frame, available);
    if (held <= first) {
        return failure(r, tooShortReason(job, available, first));
    }
    const int64_t last = job.frames.all ? held - 1 : first;
    if (file.seekable()) {
        file.willRead(static_cast<uint64_t>(frameEnd(job.frame, last)));
    }

    const FileSource fromFile(file);
    const MemorySource fromMemory(whole.data());
    const PackedSource& source = file.seekable() ? static_cast<const PackedSource&>(fromFile) : fromMemory;
    for (int64_t frameIndex = first; frameIndex <= last; ++frameIndex) {
        const std::string output = job.frames.all ? frameOutputName(job.output, frameIndex) : job.output;
        if (!writeFrame(job, source, frameIndex, output, inputs, &reason)) {
            return failure(r, reason);
        }
        const PictureSize size = pictureSize(job.frame, job.type, job.look);
        r.written.push_back({output, size.width, size.height});
    }
    r.ok = true;
    return r;
}

}  // namespace

JobResult runJob(const Job& job, const std::vector<FileIdentity>& inputs)
{
    // Memory running out anywhere in one conversion fails that input alone;
    // the output's temporary is gone with the objects that held it.
    try {
        return convert(job, inputs);
    } catch (const std::bad_alloc&) {
        return failure(JobResult{}, "not enough memory to convert it");
    }
}
