// The converter: its command line and file-name rules in process, one input's
// failures through runJob, and the built executable as scripts see it: its
// files, its output and its exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cli/arguments.h"
#include "cli/convert_job.h"
#include "cli/name_geometry.h"
#include "converter_run.h"
#include "platform/file_replace.h"
#include "support/child_limits.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

// Words split at single spaces, with a 12x4 RGGB qcom10 input added when
// `input` is set; "{taken|refused}" picks the part of a pair's line.
Args words(const std::string& line, bool refused = false, bool input = false)
{
    const size_t open = line.find('{'), bar = line.find('|'), close = line.find('}');
    std::istringstream text(open == std::string::npos ? line
                                                      : line.substr(0, open) + (refused ? line.substr(bar + 1, close - bar - 1) : line.substr(open + 1, bar - open - 1)) +
                                                            line.substr(close + 1));
    Args args;
    for (std::string word; std::getline(text, word, ' ');) {
        args.push_back(word);
    }
    return input ? (args.push_back("12x4_RGGB"), args) : args;
}

// A command line in process: its usage error, else the first input planning
// fails, else "ok" with the settings and inputs parsed.
std::string outcome(const Args& args)
{
    const Arguments a = parseArguments(args);
    if (a.command != Command::Convert) {
        return a.command == Command::Help ? "help" : a.command == Command::Version ? "version" : "error: " + a.error;
    }
    std::string text = "ok " + std::to_string(a.width) + "x" + std::to_string(a.height) + " pattern " + std::to_string(a.pattern) +
                       (a.quiet ? " quiet" : "") + (a.output.empty() ? "" : " -> " + a.output) + ":";
    for (const std::string& input : a.inputs) {
        if (const JobPlan plan = planJob(a, input); !plan.ok) {
            return "fails: " + plan.reason;
        }
        text += " " + input;
    }
    return text;
}

TEST(Arguments, ParseIntoSettingsAndInputsOrOneUsageError)
{
    for (const auto& [line, parsed] : std::initializer_list<std::pair<std::string, std::string>>{
             {"--width 12 --height 4 --pattern RGGB -", "ok 12x4 pattern 1: -"}, {"-- -q_12x4_RGGB", "ok 0x0 pattern 0: -q_12x4_RGGB"},
             {"a --width=16384 --height 2 --pattern gbRg -q --output o.bmp", "ok 16384x2 pattern 4 quiet -> o.bmp: a"},
             {"--width=5 --width 1 --height=16384 a_RGGB b_RGGB", "ok 1x16384 pattern 0: a_RGGB b_RGGB"},
             {"a --help --bogus", "help"}, {"a -V", "version"}, {"-q", "error: no input file given"}, {"a --width", "error: --width needs a value"},
             {"--output o.bmp a b", "error: --output names the file for a single input, but 2 inputs were given"}}) {
        EXPECT_EQ(outcome(words(line)), parsed) << line;
    }
}

// Every value an option or a name gives is read whole and within its range:
// the lowest and highest value are taken, one past either refused, an option
// as a usage error, a value from a name by failing that input.
// Expected messages read best as one expression each; their temporaries cost nothing here.
// NOLINTBEGIN(performance-inefficient-string-concatenation)
TEST(Arguments, OptionsAndNamesTakeTheirRangesBoundsAndRefuseOnePastThem)
{
    const std::string number = " is not a whole number from ";
    for (const auto& [option, low, high, refusal] :
         {std::tuple<std::string, int64_t, int64_t, std::string>{"--width", 1, 16384, number}, {"--height", 2, 16384, number},
          {"--stride", 1, 1 << 20, number}, {"--offset", 0, int64_t{1} << 40, number}, {"--scanlines", 2, 1 << 16, number},
          {"--black", 0, 65534, number}, {"--frame", 0, (1 << 20) - 1, " is neither all nor a whole number from "}}) {
        for (const int64_t value : {low - 1, low, high, high + 1}) {
            const std::string range = refusal + std::to_string(low) + " to " + std::to_string(high);
            EXPECT_EQ(parseArguments({option, std::to_string(value), "a"}).error,
                      value < low || value > high ? option + " '" + std::to_string(value) + "'" + range : "");
        }
    }
    const auto geometry = [](const std::string& size, const std::string& widths = "1 to 16384", const std::string& layout = "") {
        return "fails: the name's geometry " + size + " is outside width " + widths + ", height 2 to 16384" + layout + "; pass --width and --height";
    };
    const auto width = [&number](const std::string& value) { return "error: --width '" + value + "'" + number + "1 to 16384"; };
    const std::string wide = ", which needs at least 2 samples a row", dng = " makes no sense for a DNG, which holds the mosaic itself for a raw developer";
    const std::string stride = "fails: stride ", row = " bytes a row of 12 qcom10 samples needs to 1048576", scanlines = "fails: scanlines ";
    const std::string gains = "' is neither auto nor three gains R,G,B above 0 and up to 100", narrow = "error: --width 1 is too narrow for ";
    for (const auto& [line, refusal] : std::initializer_list<std::pair<std::string, std::string>>{
             {"--width {12|12x}", width("12x")}, {"--width {12|4294967308}", width("4294967308")}, {"--width {5|+5}", width("+5")},
             {"{--full|--colour\n}", "error: unknown option '--colour?'"}, {"{--full|--full=1}", "error: unknown option '--full=1'"},
             {"--output={o.bmp|}", "error: --output needs a file name"},
             {"--pattern {gbRg|RGB}", "error: --pattern 'RGB' is not one of RGGB, GRBG, BGGR, GBRG"},
             {"--layout {MIPI10|mipi16}", "error: --layout 'mipi16' is not one of qcom10, mipi10, mipi12, mipi14, plain10, plain12, plain14, plain16, raw8"},
             {"--type {png16|tiff}", "error: --type 'tiff' is not one of bmp, png, png16, dng"},
             {"--full --output a.{png|dng}", "error: --full" + dng}, {"--type dng --gamma {linear|srgb}", "error: --gamma srgb" + dng},
             {"--wb {0.001|0},1,1", "error: --wb '0,1,1" + gains}, {"--wb 1,1,{100|100.001}", "error: --wb '1,1,100.001" + gains},
             // A whole qcom10 group makes a half-size picture of a 1-sample row, but no full-size one.
             {"--layout raw8 --width {2|1}", narrow + "raw8" + wide}, {"--full --width {2|1}", narrow + "--full" + wide},
             {"--type dng --width {2|1}", narrow + "a DNG" + wide},
             {"--layout mipi10 --width 8 --stride {10|9}", "error: --stride 9 is less than the 10 bytes a row of 8 mipi10 samples needs"},
             {"--height 4 --scanlines {4|3}", "error: --scanlines 3 is less than the height 4"},
             {"--layout qcom10 --black {1022|1023}", "error: --black 1023 is not below qcom10's white level 1023"},
             {"{1|0}x4_RGGB", geometry("0x4")}, {"{16384|16385}x4_RGGB", geometry("16385x4")}, {"12x{2|1}_RGGB", geometry("12x1")},
             {"12x{16384|16385}_RGGB", geometry("12x16385")},
             {"{16|18446744073709551632}x4_RGGB", geometry("9223372036854775807x4")},  // 2^64 + 16, not 16
             {"{2|1}x4_RGGB_raw8", geometry("1x4", "2 to 16384", " for raw8")},
             {"--full {2|1}x4_RGGB", "fails: width 1 is too narrow for --full" + wide}, {"--type dng {2|1}x4_RGGB", "fails: width 1 is too narrow for a DNG" + wide},
             {"w[12]_h[4]_stride[{16|15}]_RGGB", stride + "15 is not from the 16" + row},
             {"w[12]_h[4]_stride[{1048576|1048577}]_RGGB", stride + "1048577 is not from the 16" + row},
             {"w[12]_h[4]_scanline[{4|3}]_RGGB", scanlines + "3 is not from the height 4 to 65536"},
             {"w[12]_h[4]_scanline[{65536|65537}]_RGGB", scanlines + "65537 is not from the height 4 to 65536"},
             {"12x4_RGGB_raw8 --black {254|255}", "fails: black level 255 is not below raw8's white level 255"}}) {
        EXPECT_EQ(outcome(words(line, false, true)).substr(0, 3), "ok ") << line;
        EXPECT_EQ(outcome(words(line, true, true)), refusal) << line;
    }
}
// NOLINTEND(performance-inefficient-string-concatenation)

// A value is taken from whole tokens of the file's own name whose mentions all
// agree: '-' none, '?' two different ones.
TEST(Arguments, NamesGiveSettingsFromWholeTokensThatAgree)
{
    const auto value = [](const NameValue& v) { return v.given() ? std::to_string(v.value) : v.distinct == 0 ? "-" : "?"; };
    for (const auto& [name, settings] : std::initializer_list<std::pair<const char*, const char*>>{
             {"frame_4000x3000_RGGB.raw", "4000x3000 s- r- l- p1"}, {"b-30X6-gbrg.raw10", "30x6 s- r- l- p4"},
             {"d_2x2_4x4_RGGB_bggr.raw", "?x? s- r- l- p?"}, {"e_4294967297x00004_GRBG.raw", "4294967297x4 s- r- l- p2"},
             {"IMG_w[16]_16x6_h[6]_stride[30]_scanline[8].RAWMIPI14", "16x6 s30 r8 l3 p-"},
             {"w[20]_w[22]_H[4]_Stride[]_rawplain16.bin", "?x4 s- r- l7 p-"},
             // Folders' tokens, "x" inside a word, and patterns glued to letters or digits do not count.
             {"12x4_GRBG/box2x_xRGGB_RGGB10_mipi10x.raw", "-x- s- r- l- p-"}, {"12x4_GRBG\\frame.raw", "-x- s- r- l- p-"},
             {"a_x4_12x_4X.raw", "-x- s- r- l- p-"}}) {
        const NameSettings s = settingsFromName(name);
        EXPECT_EQ(value(s.width) + "x" + value(s.height) + " s" + value(s.stride) + " r" + value(s.scanlines) + " l" +
                      value(s.layout) + " p" + value(s.pattern),
                  settings)
            << name;
    }
}

// A job as planning makes it for a tightly packed qcom10 dump in RGGB.
Job qcom10Job(const std::string& input, const std::string& output, int32_t width, int32_t height)
{
    Job job;
    job.input = input;
    job.output = output;
    job.frame = {RawLayout::Qcom10, width, height, minimumRowBytes(RawLayout::Qcom10, width), 0, height};
    job.pattern = 1;
    return job;
}

size_t writeBudget = 0;  // bytes let through before the disk is full
std::string inputToCut;  // emptied at the first write: after the size check, before any band is read

size_t failingWrite(const void* data, size_t size, std::FILE* file)
{
    if (!inputToCut.empty()) {
        fs::resize_file(inputToCut, 0);
        inputToCut.clear();
    }
    const size_t allowed = std::min(size, writeBudget);
    writeBudget -= allowed;
    const size_t written = std::fwrite(data, 1, allowed, file);
    errno = written < size ? ENOSPC : errno;
    return written;
}

// A full disk or a file cut while it is read: each reported, the older BMP
// left as it was and no temporary behind.
TEST(Converter, AFailedReadOrWriteLeavesTheOlderBmpAndNoTemporary)
{
    TempDir dir;
    writeFile(dir.file("shot.raw"), packFrame(randomFrame(600, 400, 3)));
    writeFile(dir.file("shot.bmp"), {'o', 'l', 'd'});
    auto expected = dir.contents();
    const Job job = qcom10Job(dir.file("shot.raw"), dir.file("shot.bmp"), 600, 400);
    const std::string full = "output " + job.output + " not writable (" + std::strerror(ENOSPC) + ")";
    const FileWriteFunction saved = fileReplaceWrite;
    fileReplaceWrite = failingWrite;
    for (const auto& [budget, cut, reason] : {std::tuple{size_t{0}, false, full}, {54, false, full}, {100000, false, full},
                                              {SIZE_MAX, true, "cannot read (the file became shorter while it was read)"}}) {
        writeBudget = budget;
        inputToCut = cut ? job.input : "";
        EXPECT_EQ(runJob(job, {}).reason, reason);
        expected["shot.raw"] = cut ? std::vector<uint8_t>{} : expected["shot.raw"];
        EXPECT_TRUE(dir.contents() == expected) << "after " << reason;
    }
    fileReplaceWrite = saved;
}

#if defined(PIXMORA_HAVE_MEMORY_CAP)
// The largest panel geometry converted with the address space capped just
// above what the process already uses.
TEST(Converter, MemoryRunningOutIsReportedNotCrashed)
{
    TempDir dir;
    ASSERT_TRUE(makeSparseFile(dir.file("big.raw"), 49350128));
    const int status = exitStatusUnderLimit(ChildLimit::Memory, 64u << 10, [&] {
        const JobResult result = runJob(qcom10Job(dir.file("big.raw"), dir.file("big.bmp"), 7399, 4999), {});
        return !result.ok && result.reason == "not enough memory to convert it" ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << (status < 0 ? "the conversion crashed" : "no memory reason");
    EXPECT_EQ(dir.contents().size(), 1u);
}
#endif


// One batch of mixed sizes from the names and of every failure: the others
// still convert, no file is made or touched for a failure, and each failure
// says what to pass. Over eight inputs a terminal would show a progress line:
// stderr captured to a file holds the failures alone.
TEST(Converter, ABatchConvertsTheRestAroundFailedInputsAndLeavesNoFileForThem)
{
    TempDir dir;
    const auto first = writeDump(dir.file("first_12x4_RGGB.raw"), 12, 4, "RGGB");
    const auto last = writeDump(dir.file("last-30X6-gbrg.raw10"), 30, 6, "GBRG");
    const std::vector<uint8_t> whole = readFile(dir.file("first_12x4_RGGB.raw"));  // 64 bytes
    writeFile(dir.file("byte_12x4_RGGB.raw"), std::vector<uint8_t>(whole.begin(), whole.end() - 1));
    fs::create_directory(dir.file("folder_12x4_RGGB.raw"));
    fs::create_directory(dir.file("blocked_12x4_RGGB.bmp"));  // a folder is never replaced
    // first's usual temporary name is a user's file; a_12x4_RGGB.bmp is a dump
    // whose name ends in "bmp".
    for (const char* name : {"blocked_12x4_RGGB.raw", "blocked_12x4_RGGB.bmp/inside", "a_12x4_RGGB.raw", "a_12x4_RGGB.bmp",
                             "first_12x4_RGGB.bm~", "c_12x4.raw", "d_2x2_4x4_RGGB_bggr.raw"}) {
        writeFile(dir.file(name), whole);
    }
    writeFile(dir.file("ab"), std::vector<uint8_t>(410880, 1));  // qcom10 640x480, and no other
    writeFile(dir.file("first_12x4_RGGB.bmp"), {'o', 'l', 'd'});
    auto expected = dir.contents();

    // The system's own words: Windows refuses to open a folder as a file.
#if defined(_WIN32)
    const int folderError = EACCES;
#else
    const int folderError = EISDIR;
#endif
    const std::string size = "width and height unknown: pass --width and --height, or name the file with one <W>x<H> token";
    const std::string pattern = "pattern unknown: pass --pattern, or name the file with one of RGGB, GRBG, BGGR, GBRG as a whole token";
    const std::string overwrite = " is an input file; refusing to overwrite it (pass --output)", fits = "; its 410880 bytes fit qcom10 640x480";
    const std::string more = " (its name gives more than one)", none = "; its 64 bytes fit none of the common sensor geometries";
    EXPECT_EQ(runConverter({"first_12x4_RGGB.raw", "missing_12x4_RGGB.raw", "byte_12x4_RGGB.raw", "folder_12x4_RGGB.raw", "ab", "blocked_12x4_RGGB.raw",
                            "a_12x4_RGGB.raw", "./a_12x4_RGGB.bmp", "c_12x4.raw", "d_2x2_4x4_RGGB_bggr.raw", "last-30X6-gbrg.raw10"},
                           dir.path()),
              (ConverterRun{1, "first_12x4_RGGB.raw -> first_12x4_RGGB.bmp 6x2\nlast-30X6-gbrg.raw10 -> last-30X6-gbrg.bmp 15x3\n",
                   failed("missing_12x4_RGGB.raw", "cannot open (" + std::string(std::strerror(ENOENT)) + ")") +
                       failed("byte_12x4_RGGB.raw", "too short (has 63 bytes; 12 x 4 needs 64)") +
                       failed("folder_12x4_RGGB.raw", "cannot open (" + std::string(std::strerror(folderError)) + ")") +
                       failed("ab", size + "; " + pattern + fits) +
                       failed("blocked_12x4_RGGB.raw", "output blocked_12x4_RGGB.bmp not writable (" + std::string(std::strerror(EISDIR)) + ")") +
                       failed("a_12x4_RGGB.raw", "output a_12x4_RGGB.bmp" + overwrite) +
                       failed("./a_12x4_RGGB.bmp", "output ./a_12x4_RGGB.bmp" + overwrite) + failed("c_12x4.raw", pattern) +
                       failed("d_2x2_4x4_RGGB_bggr.raw", size + more + "; " + pattern + more + none) +
                       "pixmora-convert: 9 of 11 inputs failed\n"}));
    // Help and version on stdout, a bad command line refused with status 2: none writes a file.
    EXPECT_EQ(runConverter({"ab", "--help"}, dir.path()), (ConverterRun{0, usageText(), ""}));
    EXPECT_EQ(runConverter({"ab", "--version"}, dir.path()), (ConverterRun{0, "pixmora-convert " PIXMORA_VERSION " (MIT licence, Copyright (c) 2026 the Pixmora developers)\n", ""}));
    EXPECT_EQ(runConverter({"--width=0", "ab"}, dir.path()), usageError("--width '0' is not a whole number from 1 to 16384"));
    expected["first_12x4_RGGB.bmp"] = first;
    expected["last-30X6-gbrg.bmp"] = last;
    EXPECT_TRUE(dir.contents() == expected);

    // A given option applies to every input, over its name's, and to that
    // setting alone. Random frames are drawn row by row: the first two rows of
    // a frame are the two-row frame of the same seed. One failure still counts.
    EXPECT_EQ(runConverter({"-q", "--pattern", "BGGR", "--height", "2", "first_12x4_RGGB.raw", "ab", "last-30X6-gbrg.raw10"}, dir.path()),
              (ConverterRun{1, "", failed("ab", "width unknown: pass --width, or name the file with one <W>x<H> token" + fits) +
                                       "pixmora-convert: 1 of 3 inputs failed\n"}));
    EXPECT_TRUE(readFile(dir.file("first_12x4_RGGB.bmp")) == expectedBmp(randomFrame(12, 2, 1), "BGGR"));
    EXPECT_TRUE(readFile(dir.file("last-30X6-gbrg.bmp")) == expectedBmp(randomFrame(30, 2, 1), "BGGR"));
    EXPECT_EQ(runConverter({"--width", "12", "--height", "4", "--pattern", "RGGB", "--output", "no/a.bmp", "ab"}, dir.path()),
              (ConverterRun{1, "", failed("ab", "output no/a.bmp not writable (" + std::string(std::strerror(ENOENT)) + ")")}));
}

}  // namespace
