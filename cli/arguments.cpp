#include "arguments.h"

#include "cell_layout.h"

namespace {

// The message quotes the offending argument, which may hold any byte: control
// characters become '?' so the reason stays on the one line scripts read.
Arguments usageError(std::string message)
{
    for (char& c : message) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    Arguments a;
    a.command = Command::UsageError;
    a.error = std::move(message);
    return a;
}

std::string rangeText(int32_t low, int32_t high)
{
    return std::to_string(low) + " to " + std::to_string(high);
}

}  // namespace

bool parseDecimal(const std::string& text, int32_t low, int32_t high, int32_t* value)
{
    if (text.empty()) {
        return false;
    }
    int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        n = n * 10 + (c - '0');
        if (n > high) {  // also stops the sum from overflowing on long inputs
            return false;
        }
    }
    if (n < low) {
        return false;
    }
    *value = static_cast<int32_t>(n);
    return true;
}


Arguments parseArguments(const std::vector<std::string>& args)
{
    Arguments a;
    a.command = Command::Convert;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            a.inputs.push_back(arg);  // a lone "-" is a file name too
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            a.command = Command::Help;
            return a;
        }
        if (arg == "--version" || arg == "-V") {
            a.command = Command::Version;
            return a;
        }
        if (arg == "--quiet" || arg == "-q") {
            a.quiet = true;
            continue;
        }

        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name != "--width" && name != "--height" && name != "--pattern" && name != "--output") {
            return usageError("unknown option '" + arg + "'");
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return usageError(name + " needs a value");
        }

        if (name == "--width") {
            if (!parseDecimal(value, kMinWidth, kMaxWidth, &a.width)) {
                return usageError("--width '" + value + "' is not a whole number from " +
                                  rangeText(kMinWidth, kMaxWidth));
            }
        } else if (name == "--height") {
            if (!parseDecimal(value, kMinHeight, kMaxHeight, &a.height)) {
                return usageError("--height '" + value + "' is not a whole number from " +
                                  rangeText(kMinHeight, kMaxHeight));
            }
        } else if (name == "--pattern") {
            a.pattern = patternByName(value);
            if (a.pattern == 0) {
                return usageError("--pattern '" + value + "' is not one of RGGB, GRBG, BGGR, GBRG");
            }
        } else {
            if (value.empty()) {
                return usageError("--output needs a file name");
            }
            a.output = value;
        }
    }

    if (a.inputs.empty()) {
        return usageError("no input file given");
    }
    if (!a.output.empty() && a.inputs.size() > 1) {
        return usageError("--output names the file for a single input, but " +
                          std::to_string(a.inputs.size()) + " inputs were given");
    }
    return a;
}

std::string usageText()
{
    return "Usage: pixmora-convert [OPTIONS] RAW [RAW...]\n"
           "\n"
           "Converts packed 10-bit Bayer dumps (six samples in every 8 bytes) into\n"
           "24-bit BMP pictures of half the width and height, one pixel per 2 x 2 cell.\n"
           "Each picture is written next to its input, the last three characters of\n"
           "the input's path replaced by \"bmp\" (frame.raw -> frame.bmp).\n"
           "\n"
           "Options:\n"
           "  --width W        raw width in samples, 1 to 16384\n"
           "  --height H       raw height in rows, 2 to 16384\n"
           "  --pattern P      Bayer pattern: RGGB, GRBG, BGGR or GBRG\n"
           "  --output FILE    the BMP's name (a single input only)\n"
           "  -q, --quiet      print nothing for converted files\n"
           "  -h, --help       show this text and exit\n"
           "  -V, --version    show the version and exit\n"
           "  --               treat every later argument as a file name\n"
           "\n"
           "Without --width/--height or --pattern, each input's file name supplies\n"
           "them when it carries exactly one <W>x<H> token and exactly one pattern\n"
           "name as whole tokens, e.g. frame_4000x3000_RGGB.raw. Options always win.\n"
           "\n"
           "Exit status: 0 all converted, 1 some input failed (the others are still\n"
           "converted), 2 usage error (nothing written).\n";
}
