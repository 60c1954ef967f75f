#include "cli/arguments.h"

#include <cmath>
#include <cstdlib>

#include "cli/output_names.h"
#include "raw/cell_layout.h"
#include "raw/raw_frame.h"
#include "text/ascii.h"
#include "text/decimal.h"

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

std::string rangeText(int64_t low, int64_t high)
{
    return std::to_string(low) + " to " + std::to_string(high);
}

// A whole number option within [low, high], or the usage error's words.
bool takeNumber(const std::string& name, const std::string& value, int64_t low, int64_t high,
                int64_t* out, std::string* error)
{
    if (!readDecimalInRange(value, low, high, out)) {
        *error = name + " '" + value + "' is not a whole number from " + rangeText(low, high);
        return false;
    }
    return true;
}

// Largest white balance gain: a colour a hundred times too dark is no longer
// a matter of balance.
constexpr double kMaxGain = 100.0;

// A gain: digits with an optional fraction ("2", "1.75", ".5"), above 0.
bool parseGain(const std::string& text, double* gain)
{
    size_t digits = 0;
    size_t dots = 0;
    for (char c : text) {
        digits += c >= '0' && c <= '9' ? 1 : 0;
        dots += c == '.' ? 1 : 0;
    }
    if (digits == 0 || dots > 1 || digits + dots != text.size()) {
        return false;
    }
    *gain = std::strtod(text.c_str(), nullptr);
    return *gain > 0 && *gain <= kMaxGain;
}

// "R,G,B" gains or "auto".
bool takeBalance(const std::string& value, Look* look)
{
    if (value == "auto") {
        look->balance = Balance::Auto;
        return true;
    }
    size_t start = 0;
    for (int c = 0; c < 3; ++c) {
        const size_t comma = value.find(',', start);
        const bool lastPart = c == 2;
        if (lastPart != (comma == std::string::npos) ||
            !parseGain(value.substr(start, lastPart ? std::string::npos : comma - start), &look->gains[c])) {
            return false;
        }
        start = comma + 1;
    }
    look->balance = Balance::Gains;
    return true;
}

bool typeByName(const std::string& name, OutputType* type)
{
    const std::pair<const char*, OutputType> names[] = {
        {"bmp", OutputType::Bmp}, {"png", OutputType::Png}, {"png16", OutputType::Png16}, {"dng", OutputType::Dng}};
    for (const auto& [text, t] : names) {
        if (name == text) {
            *type = t;
            return true;
        }
    }
    return false;
}

// The type an output name's extension asks for: .bmp, .png or .dng in any case.
bool typeByExtension(const std::string& output, OutputType* type)
{
    const size_t dot = extensionDot(output);
    if (dot == std::string::npos) {
        return false;
    }
    std::string extension = output.substr(dot + 1);
    for (char& c : extension) {
        c = asciiLower(c);
    }
    return extension != "png16" && typeByName(extension, type);
}

// Stores one output option's value; false with the usage error's words.
bool takeLookValue(Arguments& a, const std::string& name, const std::string& value, std::string* error)
{
    int64_t n = 0;
    if (name == "--black") {
        if (!takeNumber(name, value, 0, 65534, &n, error)) {
            return false;
        }
        a.look.black = n;
    } else if (name == "--wb") {
        if (!takeBalance(value, &a.look)) {
            *error = "--wb '" + value + "' is neither auto nor three gains R,G,B above 0 and up to 100";
            return false;
        }
    } else if (name == "--gamma") {
        if (value != "srgb" && value != "linear") {
            *error = "--gamma '" + value + "' is neither srgb nor linear";
            return false;
        }
        a.look.srgb = value == "srgb";
    }
    return true;
}

// Stores one option's value; false with the usage error's words.
bool takeValue(Arguments& a, const std::string& name, const std::string& value, std::string* error)
{
    int64_t n = 0;
    if (name == "--black" || name == "--wb" || name == "--gamma") {
        return takeLookValue(a, name, value, error);
    }
    if (name == "--type") {
        if (!typeByName(value, &a.type)) {
            *error = "--type '" + value + "' is not one of bmp, png, png16, dng";
            return false;
        }
        return true;
    }
    if (name == "--width" || name == "--height") {
        const bool width = name == "--width";
        if (!takeNumber(name, value, width ? kMinWidth : kMinHeight, width ? kMaxWidth : kMaxHeight, &n, error)) {
            return false;
        }
        (width ? a.width : a.height) = static_cast<int32_t>(n);
    } else if (name == "--pattern") {
        a.pattern = patternByName(value);
        if (a.pattern == 0) {
            *error = "--pattern '" + value + "' is not one of RGGB, GRBG, BGGR, GBRG";
            return false;
        }
    } else if (name == "--layout") {
        a.layout = layoutByName(value);
        if (!a.layout) {
            *error = "--layout '" + value + "' is not one of qcom10, mipi10, mipi12, mipi14, plain10, "
                     "plain12, plain14, plain16, raw8";
            return false;
        }
    } else if (name == "--stride") {
        if (!takeNumber(name, value, 1, kMaxRowStride, &n, error)) {
            return false;
        }
        a.stride = n;
    } else if (name == "--offset") {
        if (!takeNumber(name, value, 0, kMaxFrameOffset, &n, error)) {
            return false;
        }
        a.offset = n;
    } else if (name == "--scanlines") {
        if (!takeNumber(name, value, kMinHeight, kMaxScanlines, &n, error)) {
            return false;
        }
        a.scanlines = n;
    } else if (name == "--frame") {
        if (value == "all") {
            a.frame = FrameChoice{true, 0};
        } else if (takeNumber(name, value, 0, kMaxFrameIndex - 1, &n, error)) {
            a.frame = FrameChoice{false, n};
        } else {
            *error = "--frame '" + value + "' is neither all nor a whole number from " +
                     rangeText(0, kMaxFrameIndex - 1);
            return false;
        }
    } else {  // --output
        if (value.empty()) {
            *error = "--output needs a file name";
            return false;
        }
        a.output = value;
    }
    return true;
}

bool isValueOption(const std::string& name)
{
    for (const char* option : {"--width", "--height", "--pattern", "--output", "--layout", "--stride",
                               "--offset", "--scanlines", "--frame", "--type", "--black", "--wb", "--gamma"}) {
        if (name == option) {
            return true;
        }
    }
    return false;
}

// What the options alone already rule out, before any name is read.
std::string conflictOf(const Arguments& a)
{
    if (a.inputs.empty()) {
        return "no input file given";
    }
    if (!a.output.empty() && a.inputs.size() > 1) {
        return "--output names the file for a single input, but " + std::to_string(a.inputs.size()) +
               " inputs were given";
    }
    if (a.layout && a.width != 0) {
        const char* name = layoutName(*a.layout);
        if (layoutPictureWidth(*a.layout, a.width) == 0) {
            return "--width " + std::to_string(a.width) + " is too narrow for " + name +
                   ", which needs at least 2 samples a row";
        }
        const int64_t least = minimumRowBytes(*a.layout, a.width);
        if (a.stride && *a.stride < least) {
            return "--stride " + std::to_string(*a.stride) + " is less than the " + std::to_string(least) +
                   " bytes a row of " + std::to_string(a.width) + " " + name + " samples needs";
        }
    }
    if (a.scanlines && a.height != 0 && *a.scanlines < a.height) {
        return "--scanlines " + std::to_string(*a.scanlines) + " is less than the height " +
               std::to_string(a.height);
    }
    if (a.layout && a.look.black >= (int64_t{1} << layoutInfo(*a.layout).sampleBits) - 1) {
        return "--black " + std::to_string(a.look.black) + " is not below " + layoutName(*a.layout) +
               "'s white level " + std::to_string((int64_t{1} << layoutInfo(*a.layout).sampleBits) - 1);
    }
    if (a.width == 1 && (a.look.full || a.type == OutputType::Dng)) {
        return std::string("--width 1 is too narrow for ") + (a.look.full ? "--full" : "a DNG") +
               ", which needs at least 2 samples a row";
    }
    if (a.type == OutputType::Dng && (a.look.full || a.look.srgb)) {
        return std::string(a.look.full ? "--full" : "--gamma srgb") +
               " makes no sense for a DNG, which holds the mosaic itself for a raw developer";
    }
    return {};
}

}  // namespace

Arguments parseArguments(const std::vector<std::string>& args)
{
    Arguments a;
    a.command = Command::Convert;
    bool optionsEnded = false;
    bool preview = false;  // what --wb and --gamma do not say themselves
    bool typeGiven = false;
    bool balanceGiven = false;
    bool gammaGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            a.inputs.push_back(arg);  // a lone "-" is a file name too
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            a.command = Command::Help;
            return a;
        } else if (arg == "--version" || arg == "-V") {
            a.command = Command::Version;
            return a;
        } else if (arg == "--quiet" || arg == "-q") {
            a.quiet = true;
        } else if (arg == "--dry-run") {
            a.dryRun = true;
        } else if (arg == "--full") {
            a.look.full = true;
        } else if (arg == "--preview") {
            preview = true;
        } else {
            const size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            if (!isValueOption(name)) {
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
            std::string error;
            if (!takeValue(a, name, value, &error)) {
                return usageError(error);
            }
            typeGiven = typeGiven || name == "--type";
            balanceGiven = balanceGiven || name == "--wb";
            gammaGiven = gammaGiven || name == "--gamma";
        }
    }
    if (preview && !balanceGiven) {
        a.look.balance = Balance::Auto;
    }
    if (preview && !gammaGiven) {
        a.look.srgb = true;
    }
    if (!typeGiven && !typeByExtension(a.output, &a.type)) {
        a.type = OutputType::Bmp;
    }
    if (const std::string conflict = conflictOf(a); !conflict.empty()) {
        return usageError(conflict);
    }
    return a;
}

const char* typeExtension(OutputType type)
{
    switch (type) {
    case OutputType::Png:
    case OutputType::Png16: return ".png";
    case OutputType::Dng: return ".dng";
    default: return ".bmp";
    }
}

std::string usageText()
{
    return "Usage: pixmora-convert [OPTIONS] RAW [RAW...]\n"
           "\n"
           "Converts raw Bayer dumps into pictures: by default a 24-bit BMP of half the\n"
           "width and height, one pixel per 2 x 2 cell, each sample's top 8 bits. Each\n"
           "picture is written next to its input, the input's extension replaced by the\n"
           "type's (frame.raw -> frame.bmp).\n"
           "\n"
           "Input:\n"
           "  --width W        raw width in samples, 1 to 16384 (from 2 but for qcom10)\n"
           "  --height H       raw height in rows, 2 to 16384\n"
           "  --pattern P      Bayer pattern: RGGB, GRBG, BGGR or GBRG\n"
           "  --layout NAME    how samples are packed (default qcom10):\n"
           "                     qcom10   10-bit, 6 samples in 8 bytes\n"
           "                     mipi10   10-bit, 4 samples in 5 bytes (MIPI RAW10)\n"
           "                     mipi12   12-bit, 2 samples in 3 bytes (MIPI RAW12)\n"
           "                     mipi14   14-bit, 4 samples in 7 bytes (MIPI RAW14)\n"
           "                     plain10, plain12, plain14, plain16\n"
           "                              one little-endian 16-bit word a sample\n"
           "                     raw8     one byte a sample\n"
           "  --stride BYTES   from one row's start to the next (default: the row's bytes)\n"
           "  --offset BYTES   header bytes before the first frame (default 0)\n"
           "  --scanlines ROWS rows from one frame's start to the next (default: height)\n"
           "  --frame K|all    convert frame K (from 0; default 0), or every frame, each\n"
           "                   to its own file with -0000, -0001, ... before the extension\n"
           "\n"
           "Output:\n"
           "  --type T         bmp, png (8-bit), png16 (every bit) or dng (the mosaic\n"
           "                   itself, for raw developers); default: from --output's\n"
           "                   extension, else bmp\n"
           "  --output FILE    the output's name (a single input only)\n"
           "  --full           a pixel a sample (bilinear demosaic), not a pixel a cell\n"
           "  --black LEVEL    subtract LEVEL from every sample, keeping white white\n"
           "  --wb R,G,B|auto  white balance gains, or grey world (DNG: AsShotNeutral)\n"
           "  --gamma srgb|linear\n"
           "                   the sRGB transfer curve, or none (default)\n"
           "  --preview        --wb auto --gamma srgb: the look a person expects\n"
           "\n"
           "Other:\n"
           "  --dry-run        print each input's settings and where they came from,\n"
           "                   its frames and output name; write nothing\n"
           "  -q, --quiet      print nothing for converted files\n"
           "  -h, --help       show this text and exit\n"
           "  -V, --version    show the version and exit\n"
           "  --               treat every later argument as a file name\n"
           "\n"
           "Without the options, each input's file name supplies them from whole tokens\n"
           "in any case: <W>x<H>, w[W], h[H], stride[S], scanline[R], a layout name\n"
           "alone or after raw (mipi10, RAWMIPI14, rawplain16, the extension too) and\n"
           "a pattern name, e.g. frame_4000x3000_RGGB.raw or\n"
           "IMG_w[4096]_h[3072]_stride[7168]_scanline[3072]_RGGB.RAWMIPI14.\n"
           "Options always win; a name giving two values for one setting gives none.\n"
           "\n"
           "Exit status: 0 all converted, 1 some input failed (the others are still\n"
           "converted), 2 usage error (nothing written).\n";
}
