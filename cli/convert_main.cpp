// pixmora-convert: converts packed 10-bit Bayer dumps to BMP files from the
// command line, byte for byte as the window's View and Save would.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "convert_job.h"
#include "platform_file.h"

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

void reportFailure(Progress& progress, const std::string& input, const std::string& reason)
{
    progress.erase();
    std::fprintf(stderr, "pixmora-convert: %s: %s\n", input.c_str(), reason.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Arguments args = parseArguments(words);
    switch (args.command) {
    case Command::Help:
        std::fputs(usageText().c_str(), stdout);
        return kExitConverted;
    case Command::Version:
        std::puts("pixmora-convert " PIXMORA_VERSION);
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

    Progress progress(args.inputs.size() >= kProgressFromInputs &&
                      isTerminal(stderr));
    size_t failures = 0;
    for (size_t i = 0; i < args.inputs.size(); ++i) {
        const std::string& input = args.inputs[i];
        progress.show(i, args.inputs.size(), input);
        const JobPlan plan = planJob(args, input);
        if (!plan.ok) {
            reportFailure(progress, input, plan.reason);
            ++failures;
            continue;
        }
        const JobResult result = runJob(plan.job, inputIdentities);
        if (!result.ok) {
            reportFailure(progress, input, result.reason);
            ++failures;
            continue;
        }
        if (!args.quiet) {
            progress.erase();
            std::printf("%s -> %s %dx%d\n", input.c_str(), plan.job.output.c_str(),
                        result.pictureWidth, result.pictureHeight);
        }
    }
    progress.erase();
    if (failures > 0 && args.inputs.size() > 1) {
        std::fprintf(stderr, "pixmora-convert: %zu of %zu inputs failed\n", failures,
                     args.inputs.size());
    }
    return failures == 0 ? kExitConverted : kExitSomeFailed;
}
