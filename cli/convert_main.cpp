// pixmora-convert: converts raw Bayer dumps to pictures from the command line;
// a qcom10 dump's BMP is byte for byte the window's View and Save.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/convert_job.h"
#include "cli/platform_file.h"
#include "cli/size_guess.h"

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;

// Batches at least this long show a progress line when stderr is a terminal.
constexpr size_t kProgressFromInputs = 8;

// A single line on stderr, rewritten in place; erased before anything else is
// printed so that it never mixes with the per-file lines.
class Progress {
public:
    explicit Progress(bool enabled) : enabled_(enabled) {}

    void show(size_t done, size_t total, const std::string& input)
    {
        // Small dumps convert faster than a terminal can usefully redraw.
        const auto now = std::chrono::steady_clock::now();
        if (!enabled_ || (drawnOnce_ && now - drawn_ < std::chrono::milliseconds(100))) {
            return;
        }
        drawnOnce_ = true;
        drawn_ = now;
        erase();
        std::string line = "[" + std::to_string(done + 1) + "/" + std::to_string(total) + "] " + input;
        if (line.size() > 79) {
            line.replace(76, std::string::npos, "...");
        }
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        shown_ = line.size();
    }

    void erase()
    {
        if (shown_ > 0) {
            std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown_), "");
            std::fflush(stderr);
            shown_ = 0;
        }
    }

private:
    bool enabled_;
    size_t shown_ = 0;
    bool drawnOnce_ = false;
    std::chrono::steady_clock::time_point drawn_;
};

// The size of a regular file, or -1.
int64_t fileBytes(const std::string& path)
{
    InputFile file;
    std::string reason;
    return file.open(path.c_str(), &reason) && file.seekable() ? static_cast<int64_t>(file.size()) : -1;
}

// For an input whose size is unknown: what its file's size fits.
std::string sizeHint(const JobPlan& plan)
{
    if (!plan.sizeUnknown) {
        return {};
    }
    const int64_t bytes = fileBytes(plan.job.input);
    if (bytes < 0) {
        return {};
    }
    const std::optional<RawLayout> layout =
        plan.job.layoutFrom == Source::Default ? std::nullopt : std::optional<RawLayout>(plan.job.frame.layout);
    const std::string fits = sizeFits(bytes, layout);
    return "; its " + std::to_string(bytes) + " bytes fit " +
           (fits.empty() ? std::string("none of the common sensor geometries") : fits);
}

void reportFailure(Progress& progress, const std::string& input, const std::string& reason)
{
    progress.erase();
    std::fprintf(stderr, "pixmora-convert: %s: %s\n", input.c_str(), reason.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    const Utf8Console console;
    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Arguments args = parseArguments(words);
    switch (args.command) {
    case Command::Help:
        std::fputs(usageText().c_str(), stdout);
        return kExitConverted;
    case Command::Version:
        // One line, so that scripts reading the version take the first word after the name.
        std::puts("pixmora-convert " PIXMORA_VERSION " (MIT licence, Copyright (c) 2026 the Pixmora developers)");
        return kExitConverted;
    case Command::UsageError:
        std::fprintf(stderr, "pixmora-convert: %s\nTry 'pixmora-convert --help' for usage.\n",
                     args.error.c_str());
        return kExitUsage;
    case Command::Convert:
        break;
    }

    std::vector<FileIdentity> inputIdentities;
    for (const auto& input : args.inputs) {
        if (const auto identity = fileIdentity(input.c_str())) {
            inputIdentities.push_back(*identity);
        }
    }

    Progress progress(args.inputs.size() >= kProgressFromInputs && !args.dryRun && isTerminal(stderr));
    size_t failures = 0;
    for (size_t i = 0; i < args.inputs.size(); ++i) {
        const std::string& input = args.inputs[i];
        progress.show(i, args.inputs.size(), input);
        const JobPlan plan = planJob(args, input);
        if (!plan.ok) {
            reportFailure(progress, input, plan.reason + sizeHint(plan));
            ++failures;
            continue;
        }
        if (args.dryRun) {
            std::fputs(describeJob(plan.job, fileBytes(input)).c_str(), stdout);
            continue;
        }
        const JobResult result = runJob(plan.job, inputIdentities);
        if (!args.quiet) {
            progress.erase();
            for (const FramePicture& picture : result.written) {
                std::printf("%s -> %s %dx%d\n", input.c_str(), picture.output.c_str(), picture.width,
                            picture.height);
            }
        }
        if (!result.ok) {
            reportFailure(progress, input, result.reason);
            ++failures;
        }
    }
    progress.erase();
    if (failures > 0 && args.inputs.size() > 1) {
        std::fprintf(stderr, "pixmora-convert: %zu of %zu inputs failed\n", failures,
                     args.inputs.size());
    }
    return failures == 0 ? kExitConverted : kExitSomeFailed;
}
