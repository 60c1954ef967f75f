// The converter's argument parsing and file-name rules on any arguments: NUL
// bytes in the input separate the arguments. Whatever is given, a parse that
// says Convert, and every job planned from it, must hold only settings the
// converter can honour.
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "fuzz_target.h"
#include "raw/cell_layout.h"
#include "cli/convert_job.h"
#include "text/decimal.h"

namespace {

bool wholeDecimal(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }

    const Arguments parsed = parseArguments(args);
    switch (parsed.command) {
    case Command::Convert:
        FUZZ_CHECK(!parsed.inputs.empty());
        FUZZ_CHECK(parsed.width == 0 || settingRange(Setting::Width, {parsed.layout}).holds(parsed.width));
        FUZZ_CHECK(parsed.height == 0 || settingRange(Setting::Height, {}).holds(parsed.height));
        FUZZ_CHECK(settingRange(Setting::Black, {parsed.layout}).holds(parsed.look.black));
        FUZZ_CHECK(parsed.pattern >= 0 && parsed.pattern <= 4);
        FUZZ_CHECK(parsed.output.empty() || parsed.inputs.size() == 1);
        break;
    case Command::UsageError:
        FUZZ_CHECK(!parsed.error.empty());
        FUZZ_CHECK(parsed.error.find('\n') == std::string::npos);
        break;
    case Command::Help:
    case Command::Version:
        break;
    }

    for (const std::string& arg : args) {
        int64_t value = -1;
        if (readDecimalInRange(arg, kMinWidth, kMaxWidth, &value)) {
            FUZZ_CHECK(wholeDecimal(arg));
            FUZZ_CHECK(value >= kMinWidth && value <= kMaxWidth);
            FUZZ_CHECK(std::stoll(arg) == value);
        }
        // Whatever a name says, a job planned from it reads only frames that
        // can be read.
        if (parsed.command == Command::Convert) {
            const JobPlan plan = planJob(parsed, arg);
            if (plan.ok) {
                FUZZ_CHECK(isReadableFrame(plan.job.frame));
                FUZZ_CHECK(patternName(plan.job.pattern) != nullptr);
                FUZZ_CHECK(!plan.job.output.empty());
            }
        }
    }
    return 0;
}
