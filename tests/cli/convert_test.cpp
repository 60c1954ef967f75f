// The converter: its command line and file-name rules and its banded writer in
// process, one input's failures through runJob, and the built executable as
// scripts see it: its files, its output and its exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "cli/arguments.h"
#include "cli/bmp_stream.h"
#include "support/child_limits.h"
#include "converter_run.h"
#include "cli/convert_job.h"
#include "platform/file_replace.h"
#include "cli/name_geometry.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string describe(const Arguments& a)
{
    switch (a.command) {
    case Command::Help: return "help";
    case Command::Version: return "version";
    case Command::UsageError: return "error: " + a.error;
    case Command::Convert: break;
    }
    std::string text = std::to_string(a.width) + "x" + std::to_string(a.height) + " pattern " + std::to_string(a.pattern) +
                       (a.quiet ? " quiet" : "") + (a.output.empty() ? "" : " -> " + a.output) + ":";
    for (const std::string& input : a.inputs) {
        text += " " + input;
    }
    return text;
}

TEST(Arguments, ParseIntoSettingsAndInputsOrOneUsageError)
{
    const std::string number = " is not a whole number from ";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"-"}, "0x0 pattern 0: -"},  // a lone "-" names a file
        {{"--width", "12", "--", "--width", "-q"}, "12x0 pattern 0: --width -q"},
        {{"a", "--width=16384", "--height", "2", "--pattern", "gbRg", "-q", "--output", "o.bmp"},
         "16384x2 pattern 4 quiet -> o.bmp: a"},
        {{"--width=5", "--width", "1", "--height=16384", "a", "b"}, "1x16384 pattern 0: a b"},
        {{"a", "--help", "--bogus"}, "help"},
        {{"a", "-V"}, "version"},
        {{"a", "--colour\n"}, "error: unknown option '--colour?'"},
        {{"a", "--width"}, "error: --width needs a value"},
        {{"--output=", "a"}, "error: --output needs a file name"},
        {{"--width", "12x", "a"}, "error: --width '12x'" + number + "1 to 16384"},
        {{"--width", "4294967308", "a"}, "error: --width '4294967308'" + number + "1 to 16384"},  // not 12
        {{"--width=0", "a"}, "error: --width '0'" + number + "1 to 16384"},
        {{"--width=16385", "a"}, "error: --width '16385'" + number + "1 to 16384"},
        {{"--width=+5", "a"}, "error: --width '+5'" + number + "1 to 16384"},
        {{"--height", "1", "a"}, "error: --height '1'" + number + "2 to 16384"},
        {{"--height", "16385", "a"}, "error: --height '16385'" + number + "2 to 16384"},
        {{"--pattern", "RGB", "a"}, "error: --pattern 'RGB' is not one of RGGB, GRBG, BGGR, GBRG"},
        {{"--output", "o.bmp", "a", "b"}, "error: --output names the file for a single input, but 2 inputs were given"},
        {{"-q"}, "error: no input file given"},
        {{"--layout", "mipi10", "--stride", "9", "--width", "8", "a"},
         "error: --stride 9 is less than the 10 bytes a row of 8 mipi10 samples needs"},
        {{"--layout", "raw8", "--width", "1", "a"}, "error: --width 1 is too narrow for raw8, which needs at least 2 samples a row"},
        // A whole qcom10 group makes a half-size picture of a 1-sample row, but no full-size one.
        {{"--width", "1", "--type", "dng", "a"}, "error: --width 1 is too narrow for a DNG, which needs at least 2 samples a row"},
        {{"--scanlines", "3", "--height", "4", "a"}, "error: --scanlines 3 is less than the height 4"},
        {{"--layout", "mipi16", "a"}, "error: --layout 'mipi16' is not one of qcom10, mipi10, mipi12, mipi14, plain10, plain12, plain14, plain16, raw8"},
        {{"--frame", "-1", "a"}, "error: --frame '-1' is neither all nor a whole number from 0 to 1048575"},
        {{"--full", "--output", "a.dng", "a"}, "error: --full makes no sense for a DNG, which holds the mosaic itself for a raw developer"},
        {{"--wb", "1,0,1", "a"}, "error: --wb '1,0,1' is neither auto nor three gains R,G,B above 0 and up to 100"},
    };
    for (const auto& [args, parsed] : rows) {
        EXPECT_EQ(describe(parseArguments(args)), parsed) << ::testing::PrintToString(args);
    }
}

// A value is taken from whole tokens of the file's own name whose mentions all
// agree: '-' none, '?' two different ones.
TEST(Arguments, NamesGiveSettingsFromWholeTokensThatAgree)
{
    const auto value = [](const NameValue& v) { return v.given() ? std::to_string(v.value) : v.distinct == 0 ? "-" : "?"; };
    for (const auto& [name, settings] : std::initializer_list<std::pair<const char*, const char*>>{
             {"frame_4000x3000_RGGB.raw", "4000x3000 s- r- l- p1"},
             {"b-30X6-gbrg.raw10", "30x6 s- r- l- p4"},
             {"d_2x2_4x4_RGGB_bggr.raw", "?x? s- r- l- p?"},
             {"e_4294967297x00004_GRBG.raw", "4294967297x4 s- r- l- p2"},  // never wrapped
             {"IMG_w[16]_16x6_h[6]_stride[30]_scanline[8].RAWMIPI14", "16x6 s30 r8 l3 p-"},
             {"w[20]_w[22]_H[4]_Stride[]_rawplain16.bin", "?x4 s- r- l7 p-"},
             // Folders' tokens, "x" inside a word, and patterns glued to letters or digits do not count.
             {"12x4_GRBG/box2x_xRGGB_RGGB10_mipi10x.raw", "-x- s- r- l- p-"},
             {"12x4_GRBG\\frame.raw", "-x- s- r- l- p-"},
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

// Band boundaries are where a streamed picture can go wrong: a band taken from
// the wrong raw rows, written out of order, or a last short band.
TEST(Converter, BandsGiveTheWholePictureForAnyBandSizeAndThreadCount)
{
    TempDir dir;
    const RawFrame frame = randomFrame(29, 23, 7);  // odd: padded columns, unpaired last row
    const std::vector<uint8_t> packed = packFrame(frame);
    for (int32_t rows : {1, 2, 3, 5, 11, 12}) {
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            ReplacingFile out(dir.file("banded.bmp"));
            std::string reason;
            BandFailure failed = BandFailure::None;
            const FrameGeometry geometry = qcom10Job("", "", frame.width, frame.height).frame;
            ASSERT_TRUE(out.open() &&
                        writeBmpInBands(out, MemorySource(packed.data()), geometry, 0, cellLayoutFor(3),
                                        BandPlan{rows, threads}, &reason, &failed) &&
                        out.commit())
                << reason << out.reason();
            EXPECT_TRUE(readFile(dir.file("banded.bmp")) == expectedBmp(frame, "BGGR")) << rows << " rows, " << threads << " threads";
        }
    }
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
        if (cut) {
            expected["shot.raw"] = {};
        }
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

// Every pattern, padded widths, an odd height, bytes past the frame (which the
// window ignores and so must the converter), a dump big enough for several
// threads, and each bound of the geometry.
TEST(Converter, GivesTheSamplesBmp)
{
    TempDir dir;
    int32_t pattern = 0;
    for (const auto& [width, height, extraBytes, picture] :
         {std::tuple{1000, 600, 0, "501x300"}, {7, 5, 3, "6x2"}, {3000, 2001, 0, "1500x1000"}, {1, 2, 0, "3x1"},
          {16384, 2, 0, "8193x1"}, {1, 16384, 0, "3x8192"}}) {
        pattern = pattern % 4 + 1;
        const RawFrame frame = randomFrame(width, height, static_cast<uint32_t>(pattern));
        std::vector<uint8_t> raw = packFrame(frame);
        raw.resize(raw.size() + static_cast<size_t>(extraBytes), 0xA5);
        writeFile(dir.file("in.raw"), raw);
        const std::string w = std::to_string(width), h = std::to_string(height);
        EXPECT_EQ(runConverter({"--width", w, "--height", h, "--pattern", patternName(pattern), "in.raw"}, dir.path()),
                  (ConverterRun{0, "in.raw -> in.bmp " + std::string(picture) + "\n", ""}));
        EXPECT_TRUE(readFile(dir.file("in.bmp")) == expectedBmp(frame, patternName(pattern))) << w << "x" << h;
    }
}

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
    for (const char* name : {"ab", "blocked_12x4_RGGB.raw", "blocked_12x4_RGGB.bmp/inside", "a_12x4_RGGB.raw",
                             "a_12x4_RGGB.bmp", "first_12x4_RGGB.bm~", "c_12x4.raw", "d_2x2_4x4_RGGB_bggr.raw",
                             "e_4294967297x4_RGGB.raw"}) {
        writeFile(dir.file(name), whole);
    }
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
    const std::string overwrite = " is an input file; refusing to overwrite it (pass --output)";
    const std::string more = " (its name gives more than one)", fits = "; its 64 bytes fit none of the common sensor geometries";
    EXPECT_EQ(runConverter({"first_12x4_RGGB.raw", "missing_12x4_RGGB.raw", "byte_12x4_RGGB.raw",
                            "folder_12x4_RGGB.raw", "ab", "blocked_12x4_RGGB.raw", "a_12x4_RGGB.raw", "./a_12x4_RGGB.bmp",
                            "c_12x4.raw", "d_2x2_4x4_RGGB_bggr.raw", "e_4294967297x4_RGGB.raw", "last-30X6-gbrg.raw10"},
                           dir.path()),
              (ConverterRun{1, "first_12x4_RGGB.raw -> first_12x4_RGGB.bmp 6x2\nlast-30X6-gbrg.raw10 -> last-30X6-gbrg.bmp 15x3\n",
                   failed("missing_12x4_RGGB.raw", "cannot open (" + std::string(std::strerror(ENOENT)) + ")") +
                       failed("byte_12x4_RGGB.raw", "too short (has 63 bytes; 12 x 4 needs 64)") +
                       failed("folder_12x4_RGGB.raw", "cannot open (" + std::string(std::strerror(folderError)) + ")") +
                       failed("ab", size + "; " + pattern + fits) +
                       failed("blocked_12x4_RGGB.raw", "output blocked_12x4_RGGB.bmp not writable (" +
                                                          std::string(std::strerror(EISDIR)) + ")") +
                       failed("a_12x4_RGGB.raw", "output a_12x4_RGGB.bmp" + overwrite) +
                       failed("./a_12x4_RGGB.bmp", "output ./a_12x4_RGGB.bmp" + overwrite) + failed("c_12x4.raw", pattern) +
                       failed("d_2x2_4x4_RGGB_bggr.raw", size + more + "; " + pattern + more + fits) +
                       failed("e_4294967297x4_RGGB.raw", "the name's geometry 4294967297x4 is outside width 1 to 16384, "
                                                         "height 2 to 16384; pass --width and --height") +
                       "pixmora-convert: 10 of 12 inputs failed\n"}));
    expected["first_12x4_RGGB.bmp"] = first;
    expected["last-30X6-gbrg.bmp"] = last;
    EXPECT_TRUE(dir.contents() == expected);

    // A given option applies to every input, over its name's, and to that
    // setting alone. Random frames are drawn row by row: the first two rows of
    // a frame are the two-row frame of the same seed. One failure still counts.
    EXPECT_EQ(runConverter({"-q", "--pattern", "BGGR", "--height", "2", "first_12x4_RGGB.raw", "ab", "last-30X6-gbrg.raw10"},
                           dir.path()),
              (ConverterRun{1, "", failed("ab", "width unknown: pass --width, or name the file with one <W>x<H> token" + fits) +
                                       "pixmora-convert: 1 of 3 inputs failed\n"}));
    EXPECT_TRUE(readFile(dir.file("first_12x4_RGGB.bmp")) == expectedBmp(randomFrame(12, 2, 1), "BGGR"));
    EXPECT_TRUE(readFile(dir.file("last-30X6-gbrg.bmp")) == expectedBmp(randomFrame(30, 2, 1), "BGGR"));
    EXPECT_EQ(runConverter({"--width", "12", "--height", "4", "--pattern", "RGGB", "--output", "no/a.bmp", "ab"}, dir.path()),
              (ConverterRun{1, "", failed("ab", "output no/a.bmp not writable (" + std::string(std::strerror(ENOENT)) + ")")}));
}

// Help and version on stdout; a bad command line refused with status 2 and its
// reason on stderr; none of them writes a file.
TEST(Converter, AnswersHelpVersionAndUsageErrorsWithoutWritingAFile)
{
    TempDir dir;
    writeDump(dir.file("ok.raw"), 12, 4, "RGGB");
    const auto before = dir.contents();
    const auto [status, out, err] = runConverter({"ok.raw", "--help"}, dir.path());
    EXPECT_EQ(std::tuple(status, out.substr(0, 46), err), std::tuple(0, "Usage: pixmora-convert [OPTIONS] RAW [RAW...]\n", ""));
    EXPECT_EQ(runConverter({"ok.raw", "--version"}, dir.path()), (ConverterRun{0, "pixmora-convert " PIXMORA_VERSION " (MIT licence, Copyright (c) 2026 the Pixmora developers)\n", ""}));
    EXPECT_EQ(runConverter({"--width=0", "ok.raw"}, dir.path()),
              (ConverterRun{2, "", "pixmora-convert: --width '0' is not a whole number from 1 to 16384\n"
                          "Try 'pixmora-convert --help' for usage.\n"}));
    EXPECT_TRUE(dir.contents() == before);
}

#if !defined(_WIN32)
// A pipe has no size to ask for and gives its bytes once: it is read whole.
TEST(Converter, ReadsADumpFromAPipe)
{
    TempDir dir;
    const auto bmp = writeDump(dir.file("in.raw"), 60, 20, "RGGB");
    EXPECT_EQ(runConverter({"--width=60", "--height=20", "--pattern=RGGB", "--output", "p.bmp", "/dev/stdin"}, dir.path(), "in.raw"),
              (ConverterRun{0, "/dev/stdin -> p.bmp 30x10\n", ""}));
    EXPECT_TRUE(readFile(dir.file("p.bmp")) == bmp);
}
#endif

}  // namespace
