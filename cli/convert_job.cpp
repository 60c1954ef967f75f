#include "cli/convert_job.h"

#include <algorithm>
#include <memory>
#include <new>

#include "cli/frame_writer.h"
#include "raw/cell_layout.h"
#include "platform/file_replace.h"
#include "cli/name_geometry.h"
#include "cli/output_names.h"

namespace {

std::string joinAlternatives(const std::vector<std::string>& words)
{
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) {
            text += i + 1 == words.size() ? " and " : ", ";
        }
        text += words[i];
    }
    return text;
}

std::string dimensionText(int64_t width, int64_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// A setting from the option when given, else from the name when it gives one.
template <typename T>
bool settle(bool optionGiven, T option, const NameValue& name, T* value, Source* from)
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
void settleSize(const Arguments& args, const NameSettings& name, JobPlan* plan,
                std::vector<std::string>* problems)
{
    Job& job = plan->job;
    std::vector<std::string> missing;
    std::vector<std::string> options;
    int64_t width = 0;
    int64_t height = 0;
    if (!settle<int64_t>(args.width != 0, args.width, name.width, &width, &job.widthFrom)) {
        missing.push_back("width");
        options.push_back("--width");
    }
    if (!settle<int64_t>(args.height != 0, args.height, name.height, &height, &job.heightFrom)) {
        missing.push_back("height");
        options.push_back("--height");
    }
    const std::string advice = "pass " + joinAlternatives(options);
    if (!missing.empty()) {
        std::string words = joinAlternatives(missing) + " unknown: " + advice +
                            ", or name the file with one <W>x<H> token";
        if (name.width.distinct > 1 || name.height.distinct > 1) {
            words += " (its name gives more than one)";
        }
        problems->push_back(words);
        plan->sizeUnknown = true;
        return;
    }
    const int64_t leastWidth = job.frame.layout == RawLayout::Qcom10 ? kMinWidth : 2;
    if (width < leastWidth || width > kMaxWidth || height < kMinHeight || height > kMaxHeight) {
        const bool named = job.widthFrom == Source::Name || job.heightFrom == Source::Name;
        problems->push_back(std::string(named ? "the name's geometry " : "the geometry ") +
                            dimensionText(width, height) + " is outside width " +
                            std::to_string(leastWidth) + " to " + std::to_string(kMaxWidth) + ", height " +
                            std::to_string(kMinHeight) + " to " + std::to_string(kMaxHeight) +
                            (job.frame.layout == RawLayout::Qcom10 ? "" : std::string(" for ") +
                                                                              layoutName(job.frame.layout)) +
                            "; pass --width and --height");
        return;
    }
    job.frame.width = static_cast<int32_t>(width);
    job.frame.height = static_cast<int32_t>(height);
}

// The pattern from the option, else from the name's pattern token.
void settlePattern(const Arguments& args, const NameSettings& name, Job* job,
                   std::vector<std::string>* problems)
{
    if (settle(args.pattern != 0, args.pattern, name.pattern, &job->pattern, &job->patternFrom)) {
        return;
    }
    std::string words = "pattern unknown: pass --pattern, or name the file with one of RGGB, GRBG, "
                        "BGGR, GBRG as a whole token";
    if (name.pattern.distinct > 1) {
        words += " (its name gives more than one)";
    }
    problems->push_back(words);
}

// Stride and scanlines from the options, else the name, else the tightest
// packing; checked against the settled width and height.
void settleRows(const Arguments& args, const NameSettings& name, Job* job,
                std::vector<std::string>* problems)
{
    FrameGeometry& f = job->frame;
    const int64_t least = minimumRowBytes(f.layout, f.width);
    if (!settle(args.stride.has_value(), args.stride.value_or(0), name.stride, &f.stride, &job->strideFrom)) {
        f.stride = least;
    }
    if (!settle(args.scanlines.has_value(), args.scanlines.value_or(0), name.scanlines, &f.scanlines,
                &job->scanlinesFrom)) {
        f.scanlines = f.height;
    }
    if (args.offset) {
        f.offset = *args.offset;
        job->offsetFrom = Source::Option;
    }
    if (f.stride < least || f.stride > kMaxRowStride) {
        problems->push_back("stride " + std::to_string(f.stride) + " is not from the " + std::to_string(least) +
                            " bytes a row of " + std::to_string(f.width) + " " + layoutName(f.layout) +
                            " samples needs to " + std::to_string(kMaxRowStride));
    }
    if (f.scanlines < f.height || f.scanlines > kMaxScanlines) {
        problems->push_back("scanlines " + std::to_string(f.scanlines) + " is not from the height " +
                            std::to_string(f.height) + " to " + std::to_string(kMaxScanlines));
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
    if (!settle(args.layout.has_value(), args.layout.value_or(RawLayout::Qcom10), name.layout,
                &job.frame.layout, &job.layoutFrom)) {
        job.frame.layout = RawLayout::Qcom10;
    }
    settleSize(args, name, &plan, &problems);
    settlePattern(args, name, &job, &problems);
    if (problems.empty()) {
        settleRows(args, name, &job, &problems);
    }
    if (args.frame) {
        job.frames = *args.frame;
        job.framesFrom = Source::Option;
    }
    job.type = args.type;
    job.look = args.look;
    // Only the half-size pictures of qcom10 take a single sample a row: they
    // decode its whole first group.
    if (job.frame.width == 1 && (job.look.full || job.type == OutputType::Dng)) {
        problems.push_back(std::string("width 1 is too narrow for ") + (job.look.full ? "--full" : "a DNG") +
                           ", which needs at least 2 samples a row");
    }
    const int64_t white = (int64_t{1} << layoutInfo(job.frame.layout).sampleBits) - 1;
    if (job.look.black >= white) {
        problems.push_back("black level " + std::to_string(job.look.black) + " is not below " +
                           layoutName(job.frame.layout) + "'s white level " + std::to_string(white));
    }
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

std::string shortText(const Job& job, int64_t has, int64_t k)
{
    const FrameGeometry& f = job.frame;
    return "too short (has " + std::to_string(has) + " bytes; " + std::to_string(f.width) + " x " +
           std::to_string(f.height) +
           (f.layout == RawLayout::Qcom10 ? "" : std::string(" ") + layoutName(f.layout)) +
           (k > 0 ? ", frame " + std::to_string(k) + "," : "") + " needs " + std::to_string(frameEnd(f, k)) + ")";
}

// Frame k to its own BMP.
bool writeFrame(const Job& job, const PackedSource& source, int64_t k, const std::string& output,
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
    if (!writeFrameInBands(out, FrameRequest{source, job.frame, k, cell, job.type, job.look, {}}, &why, &failed)) {
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
        return failure(r, shortText(job, available, first));
    }
    const int64_t last = job.frames.all ? held - 1 : first;
    if (file.seekable()) {
        file.willRead(static_cast<uint64_t>(frameEnd(job.frame, last)));
    }

    const FileSource fromFile(file);
    const MemorySource fromMemory(whole.data());
    const PackedSource& source = file.seekable() ? static_cast<const PackedSource&>(fromFile) : fromMemory;
    for (int64_t k = first; k <= last; ++k) {
        const std::string output = job.frames.all ? frameOutputName(job.output, k) : job.output;
        if (!writeFrame(job, source, k, output, inputs, &reason)) {
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
