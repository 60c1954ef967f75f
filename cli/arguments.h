// The converter's command line, parsed without touching the file system, so
// that a usage error is known before anything is written. Every option is one
// row of the option table in arguments.cpp, which the parser and --help read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "raw/raw_layout.h"

// Wider than the window's panel on purpose: large sensors and small crops.
constexpr int32_t kMinWidth = 1;  // qcom10's half-size pictures; other layouts, --full and DNG need a cell, 2
constexpr int32_t kMaxWidth = 16384;
constexpr int32_t kMinHeight = 2;  // one row pair, the smallest picture
constexpr int32_t kMaxHeight = 16384;

// The layout of a dump that neither an option nor its name gives: the window's.
constexpr RawLayout kDefaultLayout = RawLayout::Qcom10;

enum class Command { Convert, Help, Version, UsageError };

// What each frame becomes.
enum class OutputType { Bmp, Png, Png16, Dng };

// The file name extension of a type, ".bmp" ...
const char* typeExtension(OutputType type);

// How colours are balanced: not at all, by the given gains, or by grey world.
enum class Balance { None, Gains, Auto };

// How samples are developed into the picture's values.
struct Development {
    bool full = false;        // W x H, demosaicked, instead of a pixel a cell
    int64_t black = 0;        // subtracted from every sample
    Balance balance = Balance::None;
    double gains[3] = {1.0, 1.0, 1.0};  // red, green, blue, for Balance::Gains
    bool srgb = false;        // the sRGB transfer curve; linear otherwise
};

// Which frames of each input to convert.
struct FrameChoice {
    bool all = false;   // every frame the file holds, each to its own file
    int64_t index = 0;  // the one frame, when !all
};

struct Arguments {
    Command command = Command::UsageError;
    std::string error;  // one line, when command is UsageError

    // Unset: from each input's name, else the default.
    std::optional<RawLayout> layout;
    int32_t width = 0;    // 0: from each input's name
    int32_t height = 0;   // 0: from each input's name
    int32_t pattern = 0;  // pattern 1..4 (cell_layout.h); 0: from each name
    std::optional<int64_t> stride;
    std::optional<int64_t> offset;
    std::optional<int64_t> scanlines;
    std::optional<FrameChoice> frame;

    OutputType type = OutputType::Bmp;  // --type, else --output's extension, else BMP
    Development look;     // --full, --black, --wb, --gamma and --preview
    std::string output;  // empty: derive from each input's path
    bool quiet = false;
    bool dryRun = false;
    std::vector<std::string> inputs;
};

// `args` excludes the program name. Options may come before, between or after
// the inputs; "--" ends the options. A value may follow as the next argument
// or after '=' (--width=4000). A repeated option takes its last value.
Arguments parseArguments(const std::vector<std::string>& args);

// The --help text.
std::string usageText();

// The settings whose values must lie in a range.
enum class Setting { Width, Height, Stride, Offset, Scanlines, Frame, Black };

// The settings a range depends on, as far as they are known: an unknown one
// (none, 0, false) leaves the range as wide as any value of it would.
struct KnownSettings {
    std::optional<RawLayout> layout;
    int64_t width = 0;
    int64_t height = 0;
    bool everySample = false;  // a picture of every sample (everySample below)
};

struct ValueRange {
    int64_t low;
    int64_t high;

    bool holds(int64_t value) const { return value >= low && value <= high; }
};

// The one check of each setting's range: options out of it are a usage error,
// values read from a name out of it fail that input.
ValueRange settingRange(Setting setting, const KnownSettings& known);

// Whether a picture has a pixel for every sample (--full, DNG), which takes
// a whole cell, 2 samples, a row.
bool everySample(const Development& development, OutputType type);

// "a, b and c": `words` joined by ", ", `last` before the last one.
std::string joinWords(const std::vector<std::string>& words, const char* last);

// The names of the core's patterns, RGGB first, and of its layouts, qcom10 first.
std::vector<std::string> patternNames();
std::vector<std::string> layoutNames();
