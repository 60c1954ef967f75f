#include "convert_job.h"

#include <algorithm>
#include <memory>
#include <new>

#include "cell_layout.h"
#include "bmp_stream.h"
#include "bmp_format.h"
#include "raw_geometry.h"
#include "name_geometry.h"
#include "file_replace.h"

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

std::string dimensionText(int32_t width, int32_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

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

JobResult failure(std::string reason)
{
    JobResult r;
    r.reason = std::move(reason);
    return r;
}

}  // namespace

namespace {

// Width and height from the options, else from the name's one <W>x<H> token;
// what is missing or out of range goes to `problems`.
void settleSize(const NameSettings& name, Job* job, std::vector<std::string>* problems)
{
    std::vector<std::string> missing;
    std::vector<std::string> options;
    if (job->width == 0) {
        missing.push_back("width");
        options.push_back("--width");
    }
    if (job->height == 0) {
        missing.push_back("height");
        options.push_back("--height");
    }
    if (missing.empty()) {
        return;
    }
    const std::string advice = "pass " + joinAlternatives(options);
    if (name.sizeTokens != 1) {
        std::string words = joinAlternatives(missing) + " unknown: " + advice +
                            ", or name the file with one <W>x<H> token";
        if (name.sizeTokens > 1) {
            words += " (it has " + std::to_string(name.sizeTokens) + ")";
        }
        problems->push_back(words);
        return;
    }
    const int32_t w = job->width != 0 ? job->width : name.width;
    const int32_t h = job->height != 0 ? job->height : name.height;
    if (w < kMinWidth || w > kMaxWidth || h < kMinHeight || h > kMaxHeight) {
        problems->push_back("the name's geometry " + dimensionText(name.width, name.height) +
                            " is outside width " + std::to_string(kMinWidth) + " to " +
                            std::to_string(kMaxWidth) + ", height " + std::to_string(kMinHeight) +
                            " to " + std::to_string(kMaxHeight) + "; " + advice);
        return;
    }
    job->width = w;
    job->height = h;
}

// The pattern from the option, else from the name's one pattern token.
void settlePattern(const NameSettings& name, Job* job, std::vector<std::string>* problems)
{
    if (job->pattern != 0) {
        return;
    }
    if (name.patternTokens == 1) {
        job->pattern = name.pattern;
        return;
    }
    std::string words = "pattern unknown: pass --pattern, or name the file with one of RGGB, GRBG, "
                        "BGGR, GBRG as a whole token";
    if (name.patternTokens > 1) {
        words += " (it has " + std::to_string(name.patternTokens) + ")";
    }
    problems->push_back(words);
}

}  // namespace

JobPlan planJob(const Arguments& args, const std::string& input)
{
    JobPlan plan;
    Job& job = plan.job;
    job.input = input;
    job.width = args.width;
    job.height = args.height;
    job.pattern = args.pattern;

    std::vector<std::string> problems;
    const NameSettings name = settingsFromName(input);
    settleSize(name, &job, &problems);
    settlePattern(name, &job, &problems);

    job.output = args.output.empty() ? bmpNameFor(input) : args.output;
    if (job.output.empty()) {
        problems.push_back("the name is too short to make the BMP's name from; pass --output");
    }

    plan.ok = problems.empty();
    for (size_t i = 0; i < problems.size(); ++i) {
        plan.reason += (i > 0 ? "; " : "") + problems[i];
    }
    return plan;
}

namespace {

JobResult convert(const Job& job, const std::vector<FileIdentity>& inputs)
{
    if (const auto target = fileIdentity(job.output.c_str())) {
        if (std::find(inputs.begin(), inputs.end(), *target) != inputs.end()) {
            return failure("output " + job.output +
                           " is an input file; refusing to overwrite it (pass --output)");
        }
    }

    const RawGeometry g = rawGeometry(job.width, job.height);
    const auto needed = static_cast<size_t>(g.inputBytes);
    std::string reason;
    InputFile file;
    if (!file.open(job.input.c_str(), &reason)) {
        return failure("cannot open (" + reason + ")");
    }

    // A pipe or device gives its bytes once and in order, but the BMP wants
    // the last rows first: those inputs are read whole.
    std::unique_ptr<uint8_t[]> whole;
    uint64_t available = file.size();
    if (!file.seekable()) {
        whole.reset(new (std::nothrow) uint8_t[needed]);
        if (!whole) {
            return failure("not enough memory to read " + std::to_string(needed) + " bytes");
        }
        size_t got = 0;
        if (!file.readUpTo(whole.get(), needed, &got, &reason)) {
            return failure("cannot read (" + reason + ")");
        }
        available = got;
    }
    if (available < needed) {
        return failure("too short (has " + std::to_string(available) + " bytes; " +
                       std::to_string(job.width) + " x " + std::to_string(job.height) +
                       " needs " + std::to_string(needed) + ")");
    }

    if (file.seekable()) {
        file.willRead(needed);
    }
    const FileSource fromFile(file);
    const MemorySource fromMemory(whole.get());
    const PackedSource& source = whole ? static_cast<const PackedSource&>(fromMemory) : fromFile;
    ReplacingFile out(job.output);
    BandFailure failed = BandFailure::None;
    if (!out.open()) {
        return failure("output " + job.output + " not writable (" + out.reason() + ")");
    }
    if (!writeBmpInBands(out, source, job.width, job.height, cellLayoutFor(job.pattern),
                         planBands(job.width, job.height), &reason, &failed)) {
        switch (failed) {
        case BandFailure::Read: return failure("cannot read (" + reason + ")");
        case BandFailure::Memory: return failure("not enough memory to convert it");
        default: return failure("output " + job.output + " not writable (" + reason + ")");
        }
    }
    if (!out.commit()) {
        return failure("output " + job.output + " not writable (" + out.reason() + ")");
    }
    JobResult r;
    r.ok = true;
    r.pictureWidth = g.pictureWidth;
    r.pictureHeight = g.pictureHeight;
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
        return failure("not enough memory to convert it");
    }
}
