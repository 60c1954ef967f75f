#include "cli/arguments.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "cli/output_names.h"
#include "raw/cell_layout.h"
#include "raw/raw_frame.h"
#include "text/ascii.h"
#include "text/decimal.h"

namespace {

// Largest white balance gain: a colour a hundred times too dark is no longer
// a matter of balance.
constexpr int kMaxGain = 100;

// The most bits a sample of any layout holds: the widest white level.
constexpr int32_t widestSampleBits()
{
    int32_t bits = 0;
    for (const RawLayoutInfo& info : kRawLayouts) {
        bits = info.sampleBits > bits ? info.sampleBits : bits;
    }
    return bits;
}

const std::pair<const char*, OutputType> kTypeNames[] = {
    {"bmp", OutputType::Bmp}, {"png", OutputType::Png}, {"png16", OutputType::Png16}, {"dng", OutputType::Dng}};

bool typeByName(const std::string& name, OutputType* type)
{
    for (const auto& [text, t] : kTypeNames) {
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
bool takeBalance(const std::string& value, Development* development)
{
    if (value == "auto") {
        development->balance = Balance::Auto;
        return true;
    }
    size_t start = 0;
    for (int c = 0; c < 3; ++c) {
        const size_t comma = value.find(',', start);
        const bool lastPart = c == 2;
        if (lastPart != (comma == std::string::npos) ||
            !parseGain(value.substr(start, lastPart ? std::string::npos : comma - start), &development->gains[c])) {
            return false;
        }
        start = comma + 1;
    }
    development->balance = Balance::Gains;
    return true;
}

// One parse: the arguments so far and what the options alone do not say.
struct ParseState {
    Arguments a;
    bool optionsEnded = false;
    bool preview = false;  // what --wb and --gamma do not say themselves
    bool typeGiven = false;
    bool balanceGiven = false;
    bool gammaGiven = false;
};

// What follows an option.
enum class ValueKind {
    None,    // nothing: a flag
    Number,  // a whole number within its setting's range
    Word,    // a word the option's own rule reads
    Text,    // any text but an empty one
};

enum class Section { Input, Output, Other };

// One option: how it is written, what value it takes, its --help entry and
// where its value goes. Texts may hold tokens (see expanded) for what comes
// from the core's tables and the settings' ranges.
struct OptionSpec {
    const char* name;       // "--width"
    const char* shortName;  // "-q", or nullptr
    const char* valueName;  // "W" in --help; nullptr for a flag
    ValueKind kind;
    std::optional<Setting> setting;  // whose range a number lies in
    Section section;
    const char* help;     // --help's lines, '\n' between them
    const char* refusal;  // a usage error's words after the option and its value
    // Stores a value the kind accepts, the number for ValueKind::Number;
    // false when the option's own rule refuses it.
    bool (*take)(ParseState& state, const std::string& value, int64_t number);
};

constexpr const char* kNumberRefusal = "is not a whole number from {range}";

const OptionSpec kOptions[] = {
    {"--width", nullptr, "W", ValueKind::Number, Setting::Width, Section::Input,
     "raw width in samples, {range} (from 2 but for qcom10)", kNumberRefusal,
     [](ParseState& s, const std::string&, int64_t n) { s.a.width = static_cast<int32_t>(n); return true; }},
    {"--height", nullptr, "H", ValueKind::Number, Setting::Height, Section::Input, "raw height in rows, {range}",
     kNumberRefusal,
     [](ParseState& s, const std::string&, int64_t n) { s.a.height = static_cast<int32_t>(n); return true; }},
    {"--pattern", nullptr, "P", ValueKind::Word, std::nullopt, Section::Input, "Bayer pattern: {patterns or}",
     "is not one of {patterns}",
     [](ParseState& s, const std::string& value, int64_t) { return (s.a.pattern = patternByName(value)) != 0; }},
    {"--layout", nullptr, "NAME", ValueKind::Word, std::nullopt, Section::Input,
     "how samples are packed (default {default layout}):{layout table}", "is not one of {layouts}",
     [](ParseState& s, const std::string& value, int64_t) { return (s.a.layout = layoutByName(value)).has_value(); }},
    {"--stride", nullptr, "BYTES", ValueKind::Number, Setting::Stride, Section::Input,
     "from one row's start to the next (default: the row's bytes)", kNumberRefusal,
     [](ParseState& s, const std::string&, int64_t n) { s.a.stride = n; return true; }},
    {"--offset", nullptr, "BYTES", ValueKind::Number, Setting::Offset, Section::Input,
     "header bytes before the first frame (default 0)", kNumberRefusal,
     [](ParseState& s, const std::string&, int64_t n) { s.a.offset = n; return true; }},
    {"--scanlines", nullptr, "ROWS", ValueKind::Number, Setting::Scanlines, Section::Input,
     "rows from one frame's start to the next (default: height)", kNumberRefusal,
     [](ParseState& s, const std::string&, int64_t n) { s.a.scanlines = n; return true; }},
    {"--frame", nullptr, "K|all", ValueKind::Word, Setting::Frame, Section::Input,
     "convert frame K (from 0; default 0), or every frame, each\n"
     "to its own file with -0000, -0001, ... before the extension",
     "is neither all nor a whole number from {range}",
     [](ParseState& s, const std::string& value, int64_t) {
         const ValueRange range = settingRange(Setting::Frame, {});
         int64_t index = 0;
         if (value != "all" && !readDecimalInRange(value, range.low, range.high, &index)) {
             return false;
         }
         s.a.frame = FrameChoice{value == "all", index};
         return true;
     }},
    {"--type", nullptr, "T", ValueKind::Word, std::nullopt, Section::Output,
     "bmp, png (8-bit), png16 (every bit) or dng (the mosaic\n"
     "itself, for raw developers); default: from --output's\n"
     "extension, else bmp",
     "is not one of {types}",
     [](ParseState& s, const std::string& value, int64_t) { return s.typeGiven = typeByName(value, &s.a.type); }},
    {"--output", nullptr, "FILE", ValueKind::Text, std::nullopt, Section::Output,
     "the output's name (a single input only)", "needs a file name",
     [](ParseState& s, const std::string& value, int64_t) { s.a.output = value; return true; }},
    {"--full", nullptr, nullptr, ValueKind::None, std::nullopt, Section::Output,
     "a pixel a sample (bilinear demosaic), not a pixel a cell", nullptr,
     [](ParseState& s, const std::string&, int64_t) { return s.a.look.full = true; }},
    {"--black", nullptr, "LEVEL", ValueKind::Number, Setting::Black, Section::Output,
     "subtract LEVEL from every sample, keeping white white", kNumberRefusal,
     [](ParseState& s, const std::string&, int64_t n) { s.a.look.black = n; return true; }},
    {"--wb", nullptr, "R,G,B|auto", ValueKind::Word, std::nullopt, Section::Output,
     "white balance gains, or grey world (DNG: AsShotNeutral)",
     "is neither auto nor three gains R,G,B above 0 and up to {max gain}",
     [](ParseState& s, const std::string& value, int64_t) {
         return s.balanceGiven = takeBalance(value, &s.a.look);
     }},
    {"--gamma", nullptr, "srgb|linear", ValueKind::Word, std::nullopt, Section::Output,
     "the sRGB transfer curve, or none (default)", "is neither srgb nor linear",
     [](ParseState& s, const std::string& value, int64_t) {
         s.a.look.srgb = value == "srgb";
         return s.gammaGiven = value == "srgb" || value == "linear";
     }},
    {"--preview", nullptr, nullptr, ValueKind::None, std::nullopt, Section::Output,
     "--wb auto --gamma srgb: the look a person expects", nullptr,
     [](ParseState& s, const std::string&, int64_t) { return s.preview = true; }},
    {"--dry-run", nullptr, nullptr, ValueKind::None, std::nullopt, Section::Other,
     "print each input's settings and where they came from,\n"
     "its frames and output name; write nothing",
     nullptr, [](ParseState& s, const std::string&, int64_t) { return s.a.dryRun = true; }},
    {"--quiet", "-q", nullptr, ValueKind::None, std::nullopt, Section::Other, "print nothing for converted files",
     nullptr, [](ParseState& s, const std::string&, int64_t) { return s.a.quiet = true; }},
    {"--help", "-h", nullptr, ValueKind::None, std::nullopt, Section::Other, "show this text and exit", nullptr,
     [](ParseState& s, const std::string&, int64_t) { s.a.command = Command::Help; return true; }},
    {"--version", "-V", nullptr, ValueKind::None, std::nullopt, Section::Other, "show the version and exit", nullptr,
     [](ParseState& s, const std::string&, int64_t) { s.a.command = Command::Version; return true; }},
    {"--", nullptr, nullptr, ValueKind::None, std::nullopt, Section::Other,
     "treat every later argument as a file name", nullptr,
     [](ParseState& s, const std::string&, int64_t) { return s.optionsEnded = true; }},
};

std::string rangeText(const ValueRange& range)
{
    return std::to_string(range.low) + " to " + std::to_string(range.high);
}

// How a layout packs its samples, as --help lists it.
std::string packingText(const RawLayoutInfo& info)
{
    const std::string bits = std::to_string(info.sampleBits);
    if (info.groupSamples > 1) {
        const bool mipi = std::strncmp(info.name, "mipi", 4) == 0;
        return bits + "-bit, " + std::to_string(info.groupSamples) + " samples in " +
               std::to_string(info.groupBytes) + " bytes" + (mipi ? " (MIPI RAW" + bits + ")" : "");
    }
    return info.groupBytes == 1 ? std::string("one byte a sample")
                                : "one little-endian " + std::to_string(8 * info.groupBytes) + "-bit word a sample";
}

// A line a layout, "  qcom10   10-bit, 6 samples in 8 bytes", each line
// after a '\n'; layouts packed alike share one, their packing below it.
std::string layoutTable()
{
    constexpr size_t kNameColumns = 9;
    std::string table;
    for (int32_t l = 0; l < kRawLayoutCount;) {
        const std::string packing = packingText(kRawLayouts[l]);
        std::string names = kRawLayouts[l].name;
        for (++l; l < kRawLayoutCount && packingText(kRawLayouts[l]) == packing; ++l) {
            names += std::string(", ") + kRawLayouts[l].name;
        }
        table += "\n  " + (names.size() < kNameColumns
                               ? names + std::string(kNameColumns - names.size(), ' ')
                               : names + "\n" + std::string(kNameColumns + 2, ' '));
        table += packing;
    }
    return table;
}

// `text` with its tokens replaced: {range} by the range of `setting` before
// any other setting is known, and the rest by the names of the tables.
std::string expanded(std::string text, std::optional<Setting> setting)
{
    std::vector<std::string> types;
    for (const auto& type : kTypeNames) {
        types.emplace_back(type.first);
    }
    const std::pair<const char*, std::string> tokens[] = {
        {"{range}", setting ? rangeText(settingRange(*setting, {})) : std::string()},
        {"{patterns}", joinWords(patternNames(), ", ")},
        {"{patterns or}", joinWords(patternNames(), " or ")},
        {"{layouts}", joinWords(layoutNames(), ", ")},
        {"{default layout}", layoutName(kDefaultLayout)},
        {"{layout table}", layoutTable()},
        {"{types}", joinWords(types, ", ")},
        {"{max gain}", std::to_string(kMaxGain)},
    };
    for (const auto& [token, value] : tokens) {
        for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size())) {
            text.replace(at, std::strlen(token), value);
        }
    }
    return text;
}

// The option an argument names: a flag by the whole argument, an option that
// takes a value by what precedes any '='.
const OptionSpec* optionNamed(const std::string& arg)
{
    const std::string name = arg.substr(0, arg.find('='));
    for (const OptionSpec& option : kOptions) {
        const bool named = option.kind == ValueKind::None
                               ? arg == option.name || (option.shortName != nullptr && arg == option.shortName)
                               : name == option.name;
        if (named) {
            return &option;
        }
    }
    return nullptr;
}

// Stores an option's value; false with the usage error's words.
bool takeValue(ParseState& state, const OptionSpec& option, const std::string& value, std::string* error)
{
    int64_t number = 0;
    bool taken = false;
    if (option.kind == ValueKind::Number) {
        const ValueRange range = settingRange(*option.setting, {});
        taken = readDecimalInRange(value, range.low, range.high, &number) && option.take(state, value, number);
    } else {
        taken = (option.kind != ValueKind::Text || !value.empty()) && option.take(state, value, number);
    }
    if (!taken) {
        const std::string words = expanded(option.refusal, option.setting);
        *error = option.kind == ValueKind::Text ? std::string(option.name) + " " + words
                                                : std::string(option.name) + " '" + value + "' " + words;
    }
    return taken;
}

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
        const std::string name = layoutName(*a.layout);
        const ValueRange width = settingRange(Setting::Width, {a.layout});
        if (!width.holds(a.width)) {
            return "--width " + std::to_string(a.width) + " is too narrow for " + name + ", which needs at least " +
                   std::to_string(width.low) + " samples a row";
        }
        const ValueRange stride = settingRange(Setting::Stride, {a.layout, a.width});
        if (a.stride && !stride.holds(*a.stride)) {
            return "--stride " + std::to_string(*a.stride) + " is less than the " + std::to_string(stride.low) +
                   " bytes a row of " + std::to_string(a.width) + " " + name + " samples needs";
        }
    }
    if (a.scanlines && !settingRange(Setting::Scanlines, {std::nullopt, 0, a.height}).holds(*a.scanlines)) {
        return "--scanlines " + std::to_string(*a.scanlines) + " is less than the height " +
               std::to_string(a.height);
    }
    const ValueRange black = settingRange(Setting::Black, {a.layout});
    if (a.layout && !black.holds(a.look.black)) {
        return "--black " + std::to_string(a.look.black) + " is not below " + layoutName(*a.layout) +
               "'s white level " + std::to_string(black.high + 1);
    }
    const ValueRange width = settingRange(Setting::Width, {std::nullopt, 0, 0, everySample(a.look, a.type)});
    if (a.width != 0 && !width.holds(a.width)) {
        return "--width " + std::to_string(a.width) + " is too narrow for " + (a.look.full ? "--full" : "a DNG") +
               ", which needs at least " + std::to_string(width.low) + " samples a row";
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
    ParseState state;
    state.a.command = Command::Convert;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (state.optionsEnded || arg.size() < 2 || arg[0] != '-') {
            state.a.inputs.push_back(arg);  // a lone "-" is a file name too
            continue;
        }
        const OptionSpec* option = optionNamed(arg);
        if (option == nullptr) {
            return usageError("unknown option '" + arg + "'");
        }
        std::string value;
        if (option->kind != ValueKind::None) {
            const size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return usageError(std::string(option->name) + " needs a value");
            }
        }
        std::string error;
        if (!takeValue(state, *option, value, &error)) {
            return usageError(error);
        }
        if (state.a.command != Command::Convert) {
            return state.a;  // --help or --version
        }
    }
    Arguments& a = state.a;
    if (state.preview && !state.balanceGiven) {
        a.look.balance = Balance::Auto;
    }
    if (state.preview && !state.gammaGiven) {
        a.look.srgb = true;
    }
    if (!state.typeGiven && !typeByExtension(a.output, &a.type)) {
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
    // Where every option's help starts; a longer option starts it on its own line.
    constexpr size_t kHelpColumn = 19;
    const char* const sectionNames[] = {"Input", "Output", "Other"};
    std::string text =
        "Usage: pixmora-convert [OPTIONS] RAW [RAW...]\n"
        "\n"
        "Converts raw Bayer dumps into pictures: by default a 24-bit BMP of half the\n"
        "width and height, one pixel per 2 x 2 cell, each sample's top 8 bits. Each\n"
        "picture is written next to its input, the input's extension replaced by the\n"
        "type's (frame.raw -> frame.bmp).\n";
    for (size_t i = 0; i < std::size(kOptions); ++i) {
        const OptionSpec& option = kOptions[i];
        if (i == 0 || option.section != kOptions[i - 1].section) {
            text += std::string("\n") + sectionNames[static_cast<int>(option.section)] + ":\n";
        }
        std::string entry = std::string("  ") + (option.shortName ? std::string(option.shortName) + ", " : "") +
                            option.name + (option.valueName ? std::string(" ") + option.valueName : "");
        entry += entry.size() < kHelpColumn ? std::string(kHelpColumn - entry.size(), ' ')
                                            : "\n" + std::string(kHelpColumn, ' ');
        for (const char c : expanded(option.help, option.setting)) {
            entry += c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, c);
        }
        text += entry + "\n";
    }
    return text +
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

ValueRange settingRange(Setting setting, const KnownSettings& known)
{
    switch (setting) {
    case Setting::Width: {
        // A layout whose 1-sample row makes no picture needs a cell's 2.
        const bool cell = known.everySample || (known.layout && layoutPictureWidth(*known.layout, 1) == 0);
        return {cell ? 2 : kMinWidth, kMaxWidth};
    }
    case Setting::Height: return {kMinHeight, kMaxHeight};
    case Setting::Stride: {
        const bool rowKnown = known.layout && known.width > 0;
        return {rowKnown ? minimumRowBytes(*known.layout, static_cast<int32_t>(known.width)) : 1, kMaxRowStride};
    }
    case Setting::Offset: return {0, kMaxFrameOffset};
    case Setting::Scanlines: return {known.height > 0 ? known.height : kMinHeight, kMaxScanlines};
    case Setting::Frame: return {0, kMaxFrameIndex - 1};
    case Setting::Black: {
        // Black must stay below white, or no sample is left to show.
        const int32_t bits = known.layout ? layoutInfo(*known.layout).sampleBits : widestSampleBits();
        return {0, (int64_t{1} << bits) - 2};
    }
    }
    return {0, -1};
}

bool everySample(const Development& development, OutputType type)
{
    return development.full || type == OutputType::Dng;
}

std::string joinWords(const std::vector<std::string>& words, const char* last)
{
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == words.size() ? last : ", ") + words[i];
    }
    return text;
}

std::vector<std::string> patternNames()
{
    std::vector<std::string> names;
    for (int32_t pattern = 1; pattern <= kPatternCount; ++pattern) {
        names.emplace_back(patternName(pattern));
    }
    return names;
}

std::vector<std::string> layoutNames()
{
    std::vector<std::string> names;
    for (const RawLayoutInfo& info : kRawLayouts) {
        names.emplace_back(info.name);
    }
    return names;
}
