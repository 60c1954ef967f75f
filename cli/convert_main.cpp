// pixmora-convert: converts raw Bayer dumps to pictures from the command line;
// a qcom10 dump's BMP is byte for byte the window's View and Save.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/batch_order.h"
#include "cli/convert_job.h"
#include "cli/interrupt.h"
#include "cli/platform_file.h"
#include "cli/size_guess.h"
#include "text/ascii.h"

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

std::string failureLine(const std::string& input, const std::string& reason)
{
    return "pixmora-convert: " + input + ": " + reason + "\n";
}

// A path as a comparison sees it: "./" and ".." resolved and, on Windows,
// letter case ignored.
std::string comparable(const std::string& path)
{
    std::string text = std::filesystem::path(path).lexically_normal().generic_string();
#if defined(_WIN32)
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return asciiLower(c); });
#endif
    return text;
}

// Whether the batch's inputs may convert side by side and still leave every
// file as converting them in order does: each a regular file (a pipe or device
// is read as it arrives), and no output shared by two inputs or naming one.
// Numbered frames could take another input's output name, so --frame all
// converts in order.
bool sideBySide(const Arguments& args)
{
    if (args.frame && args.frame->all) {
        return false;
    }
    std::set<std::string> inputs;
    for (const std::string& input : args.inputs) {
        if (fileBytes(input) < 0) {
            return false;
        }
        inputs.insert(comparable(input));
    }
    std::set<std::string> outputs;
    for (const std::string& input : args.inputs) {
        const JobPlan plan = planJob(args, input);
        const std::string output = comparable(plan.job.output);
        if (plan.ok && (inputs.count(output) > 0 || !outputs.insert(output).second)) {
            return false;
        }
    }
    return true;
}

// Converts input `i` of the batch, its lines through `order`; true when it
// converted.
bool convertInput(const Arguments& args, size_t i, const std::vector<FileIdentity>& identities, BatchOrder& order)
{
    const std::string& input = args.inputs[i];
    const JobPlan plan = planJob(args, input);
    if (!plan.ok) {
        order.print(i, stderr, failureLine(input, plan.reason + sizeHint(plan)));
        return false;
    }
    if (args.dryRun) {
        order.print(i, stdout, describeJob(plan.job, fileBytes(input)));
        return true;
    }
    JobContext context{identities, {}};
    if (!args.quiet) {
        context.written = [&](const FramePicture& picture) {
            order.print(i, stdout,
                        input + " -> " + picture.output + " " + std::to_string(picture.width) + "x" +
                            std::to_string(picture.height) + "\n");
        };
    }
    const JobResult result = runJob(plan.job, context);
    // An interrupted conversion says nothing: the converter ends as the interrupt asks.
    if (!result.ok && !interrupted()) {
        order.print(i, stderr, failureLine(input, result.reason));
    }
    return result.ok;
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

    catchInterrupts();
    const size_t total = args.inputs.size();
    Progress progress(total >= kProgressFromInputs && !args.dryRun && isTerminal(stderr));
    BatchOrder order(
        total, [&](size_t i) { progress.show(i, total, args.inputs[i]); }, [&] { progress.erase(); });
    std::atomic<size_t> failures{0};
    const unsigned threads = args.dryRun || !sideBySide(args) ? 1 : batchThreads(total);
    runSideBySide(total, threads, [&](size_t i) {
        if (!interrupted() && !convertInput(args, i, inputIdentities, order)) {
            ++failures;
        }
        order.finish(i);
    });
    if (interrupted()) {
        progress.erase();
        endInterrupted();
    }
    progress.erase();
    if (failures > 0 && total > 1) {
        std::fprintf(stderr, "pixmora-convert: %zu of %zu inputs failed\n", failures.load(), total);
    }
    return failures == 0 ? kExitConverted : kExitSomeFailed;
}
