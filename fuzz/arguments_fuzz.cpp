// The converter's argument parsing and file-name rules on any arguments: NUL
// bytes in the input separate the arguments. Whatever is given, a parse that
// says Convert must hold only settings the converter can honour.
#include <string>
#include <vector>

#include "arguments.h"
#include "fuzz_target.h"
#include "name_geometry.h"

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
        FUZZ_CHECK(parsed.width == 0 || (parsed.width >= kMinWidth && parsed.width <= kMaxWidth));
        FUZZ_CHECK(parsed.height == 0 || (parsed.height >= kMinHeight && parsed.height <= kMaxHeight));
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
        int32_t value = -1;
        if (parseDecimal(arg, kMinWidth, kMaxWidth, &value)) {
            FUZZ_CHECK(wholeDecimal(arg));
            FUZZ_CHECK(value >= kMinWidth && value <= kMaxWidth);
            FUZZ_CHECK(std::stoll(arg) == value);
        }
        const NameSettings name = settingsFromName(arg);
        if (name.sizeTokens == 1) {
            FUZZ_CHECK(name.width >= 0 && name.height >= 0);
        }
        if (name.patternTokens == 1) {
            FUZZ_CHECK(name.pattern >= 1 && name.pattern <= 4);
        }
    }
    return 0;
}
