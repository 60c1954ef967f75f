// The converter as scripts see it: a process, its files, its output and its
// exit status.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "bayer_pattern.h"
#include "bmp_writer.h"
#include "conversion_settings.h"
#include "converter_process.h"
#include "expected_bmp.h"
#include "image_buffer.h"
#include "raw_builder.h"
#include "raw_file.h"
#include "temp_dir.h"

#if !defined(_WIN32)
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const char* const kUsageHint = "Try 'pixmora-convert --help' for usage.\n";

std::set<std::string> filesIn(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Writes frame_<name> and returns the BMP it must give.
std::vector<uint8_t> writeDump(const TempDir& dir, const std::string& name, int32_t width,
                               int32_t height, const std::string& pattern, uint32_t seed)
{
    const RawFrame frame = randomFrame(width, height, seed);
    writeFile(dir.file(name), packFrame(frame));
    return expectedBmp(frame, pattern);
}

TEST(Converter, WritesTheExpectedBmpForEveryPatternAndAwkwardSizes)
{
    const struct {
        int32_t width;
        int32_t height;
    } sizes[] = {{1000, 6}, {7, 5}, {1, 2}, {36, 10}};
    TempDir dir;
    uint32_t seed = 1;
    for (const std::string pattern : {"RGGB", "GRBG", "BGGR", "GBRG"}) {
        for (const auto& s : sizes) {
            const auto expected = writeDump(dir, "in.raw", s.width, s.height, pattern, seed++);
            const ConverterRun run =
                runConverter({"--width", std::to_string(s.width), "--height", std::to_string(s.height),
                              "--pattern", pattern, "in.raw"},
                             dir.path());
            const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height) + " " + pattern;
            EXPECT_EQ(run.exitCode, 0) << size << run.err;
            EXPECT_EQ(run.err, "") << size;
            const int32_t aligned = (s.width + 5) / 6 * 6;
            EXPECT_EQ(run.out, "in.raw -> in.bmp " + std::to_string(aligned / 2) + "x" +
                                   std::to_string(s.height / 2) + "\n");
            EXPECT_EQ(readFile(dir.file("in.bmp")), expected) << size;
        }
    }
}

TEST(Converter, GivesTheWindowsViewAndSaveBytes)
{
    TempDir dir;
    const struct {
        int32_t width;
        int32_t height;
        int32_t pattern;
        size_t extraBytes;  // the window ignores bytes past N; so must the converter
    } cases[] = {{1000, 600, 1, 0}, {333, 77, 2, 5}, {6, 2, 3, 8},
                 {3000, 2001, 4, 0}};  // 8 MB: decoded on several threads
    for (const auto& c : cases) {
        std::vector<uint8_t> raw = packFrame(randomFrame(c.width, c.height, 99));
        raw.resize(raw.size() + c.extraBytes, 0xA5);
        writeFile(dir.file("shot.raw"), raw);

        m_nWidth = c.width;
        m_nHeight = c.height;
        m_nBayerType = c.pattern;
        updateBayerType();
        ASSERT_EQ(CDIBBitmap_load(nullptr, dir.file("shot.raw").c_str()), 1);
        ASSERT_EQ(CDIBBitmap_save(dir.file("window.bmp").c_str()), 1);
        CDIBBitmap_clear();

        const ConverterRun run = runConverter({"-q", "--pattern", bayerTypeName(c.pattern), "--width",
                                               std::to_string(c.width), "--height",
                                               std::to_string(c.height), "shot.raw"},
                                              dir.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "") << "--quiet prints nothing for converted files";
        const std::vector<uint8_t> window = readFile(dir.file("window.bmp"));
        ASSERT_FALSE(window.empty());
        EXPECT_EQ(readFile(dir.file("shot.bmp")), window) << c.width << "x" << c.height;
    }
}

TEST(Converter, TakesEachInputsSettingsFromItsNameInOneMixedBatch)
{
    TempDir dir;
    const auto a = writeDump(dir, "a_24x8_RGGB.raw", 24, 8, "RGGB", 1);
    const auto b = writeDump(dir, "b-30x6-gbrg.raw", 30, 6, "GBRG", 2);
    const auto c = writeDump(dir, "c_12x4.raw", 12, 4, "BGGR", 3);
    const ConverterRun run =
        runConverter({"a_24x8_RGGB.raw", "b-30x6-gbrg.raw", "--pattern", "BGGR", "c_12x4.raw"}, dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "a_24x8_RGGB.raw -> a_24x8_RGGB.bmp 12x4\n"
              "b-30x6-gbrg.raw -> b-30x6-gbrg.bmp 15x3\n"
              "c_12x4.raw -> c_12x4.bmp 6x2\n");
    // --pattern applies to every input, over the names' own patterns.
    EXPECT_NE(readFile(dir.file("a_24x8_RGGB.bmp")), a);
    EXPECT_EQ(readFile(dir.file("c_12x4.bmp")), c);

    const ConverterRun own = runConverter({"a_24x8_RGGB.raw", "b-30x6-gbrg.raw"}, dir.path());
    EXPECT_EQ(own.exitCode, 0) << own.err;
    EXPECT_EQ(readFile(dir.file("a_24x8_RGGB.bmp")), a);
    EXPECT_EQ(readFile(dir.file("b-30x6-gbrg.bmp")), b);
}

TEST(Converter, ConvertsTheRestOfABatchAroundFailedInputs)
{
    TempDir dir;
    const auto first = writeDump(dir, "first.raw", 12, 4, "RGGB", 1);
    writeFile(dir.file("short.raw"), std::vector<uint8_t>(63, 0));  // 12 x 4 needs 64
    writeFile(dir.file("ab"), std::vector<uint8_t>(64, 0));
    writeDump(dir, "blocked.raw", 12, 4, "RGGB", 2);
    std::filesystem::create_directory(dir.file("blocked.bmp.pixmora-tmp"));
    const auto last = writeDump(dir, "last.raw", 12, 4, "RGGB", 3);
    const std::set<std::string> before = filesIn(dir.path());

    const ConverterRun run = runConverter({"--width", "12", "--height", "4", "--pattern", "RGGB", "first.raw",
                                           "missing.raw", "short.raw", "ab", "blocked.raw", "last.raw"},
                                          dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "first.raw -> first.bmp 6x2\nlast.raw -> last.bmp 6x2\n");
    const std::string lines[] = {
        "pixmora-convert: missing.raw: cannot open (" + std::string(std::strerror(ENOENT)) + ")\n",
        "pixmora-convert: short.raw: too short (has 63 bytes; 12 x 4 needs 64)\n",
        "pixmora-convert: ab: the name is too short to make the BMP's name from; pass --output\n",
        "pixmora-convert: blocked.raw: output blocked.bmp not writable (",
        ")\npixmora-convert: 4 of 6 inputs failed\n",
    };
    size_t at = 0;
    for (const auto& line : lines) {
        const size_t found = run.err.find(line, at);
        EXPECT_NE(found, std::string::npos) << "missing, or out of order: " << line << "\nin:\n" << run.err;
        at = found == std::string::npos ? at : found + line.size();
    }
    EXPECT_EQ(readFile(dir.file("first.bmp")), first);
    EXPECT_EQ(readFile(dir.file("last.bmp")), last);
    std::set<std::string> after = before;
    after.insert({"first.bmp", "last.bmp"});
    EXPECT_EQ(filesIn(dir.path()), after) << "a failed input leaves no file behind";
}

TEST(Converter, NamesAnOutputForAShortPathWhenAskedTo)
{
    TempDir dir;
    const auto expected = writeDump(dir, "ab", 12, 4, "GRBG", 4);
    const ConverterRun run =
        runConverter({"--width", "12", "--height", "4", "--pattern", "GRBG", "--output", "ab.bmp", "ab"},
                     dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "ab -> ab.bmp 6x2\n");
    EXPECT_EQ(readFile(dir.file("ab.bmp")), expected);
}

TEST(Converter, KeepsAnOlderBmpWhenTheNewOneCannotBeWritten)
{
    TempDir dir;
    writeDump(dir, "shot.raw", 600, 400, "RGGB", 5);
    const std::vector<uint8_t> older{'o', 'l', 'd', ' ', 'b', 'm', 'p'};
    writeFile(dir.file("shot.bmp"), older);
    std::filesystem::create_directory(dir.file("shot.bmp.pixmora-tmp"));

    const ConverterRun blocked =
        runConverter({"--width=600", "--height=400", "--pattern=RGGB", "shot.raw"}, dir.path());
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_EQ(blocked.out, "");
    EXPECT_EQ(blocked.err.rfind("pixmora-convert: shot.raw: output shot.bmp not writable (", 0), 0u)
        << blocked.err;
    EXPECT_EQ(readFile(dir.file("shot.bmp")), older);

    const ConverterRun noFolder = runConverter(
        {"--width=600", "--height=400", "--pattern=RGGB", "--output", "nowhere/shot.bmp", "shot.raw"},
        dir.path());
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_EQ(noFolder.err, "pixmora-convert: shot.raw: output nowhere/shot.bmp not writable (" +
                                std::string(std::strerror(ENOENT)) + ")\n");

#if !defined(_WIN32)
    // A write that fails part way, as on a full disk: 300 x 200 pixels need
    // 180,054 bytes, the limit lets 100,000 through.
    std::filesystem::remove(dir.file("shot.bmp.pixmora-tmp"));
    const ConverterRun full =
        runConverter({"--width=600", "--height=400", "--pattern=RGGB", "shot.raw"}, dir.path(), 100000);
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(full.err, "pixmora-convert: shot.raw: output shot.bmp not writable (" +
                            std::string(std::strerror(EFBIG)) + ")\n");
    EXPECT_EQ(readFile(dir.file("shot.bmp")), older);
    EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"shot.raw", "shot.bmp"}))
        << "the partial temporary is removed";
#endif
}

TEST(Converter, NeverOverwritesAnInput)
{
    TempDir dir;
    const std::vector<uint8_t> raw = packFrame(randomFrame(12, 4, 6));
    writeFile(dir.file("a.raw"), raw);
    writeFile(dir.file("a.bmp"), raw);  // a dump whose name ends in "bmp"
    const ConverterRun run =
        runConverter({"--width", "12", "--height", "4", "--pattern", "RGGB", "a.raw", "a.bmp"}, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "pixmora-convert: a.raw: output a.bmp is an input file; refusing to overwrite it (pass --output)\n"
              "pixmora-convert: a.bmp: output a.bmp is an input file; refusing to overwrite it (pass --output)\n"
              "pixmora-convert: 2 of 2 inputs failed\n");
    EXPECT_EQ(readFile(dir.file("a.raw")), raw);
    EXPECT_EQ(readFile(dir.file("a.bmp")), raw);

    const ConverterRun single =
        runConverter({"--width", "12", "--height", "4", "--pattern", "RGGB", "--output", "a.raw", "a.raw"},
                     dir.path());
    EXPECT_EQ(single.exitCode, 1);
    EXPECT_EQ(readFile(dir.file("a.raw")), raw);
}

TEST(Converter, RefusesBadCommandLinesWithStatus2AndWritesNothing)
{
    TempDir dir;
    writeDump(dir, "ok.raw", 12, 4, "RGGB", 7);
    const std::set<std::string> before = filesIn(dir.path());
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--width", "12", "--height", "4", "--pattern", "RGGB", "ok.raw", "--colour"},
         "unknown option '--colour'"},
        {{"--width", "12", "--height", "4", "--pattern", "RGGB", "ok.raw", "--width"}, "--width needs a value"},
        {{"--width", "12x", "--height", "4", "--pattern", "RGGB", "ok.raw"},
         "--width '12x' is not a whole number from 1 to 16384"},
        {{"--width", "12", "--height", "16385", "--pattern", "RGGB", "ok.raw"},
         "--height '16385' is not a whole number from 2 to 16384"},
        {{"--width", "12", "--height", "4", "--pattern", "RGB", "ok.raw"},
         "--pattern 'RGB' is not one of RGGB, GRBG, BGGR, GBRG"},
        {{"--width", "12", "--height", "4", "--pattern", "RGGB", "--output", "o.bmp", "ok.raw", "ok.raw"},
         "--output names the file for a single input, but 2 inputs were given"},
        {{}, "no input file given"},
    };
    for (const auto& c : cases) {
        const ConverterRun run = runConverter(c.args, dir.path());
        EXPECT_EQ(run.exitCode, 2) << c.reason;
        EXPECT_EQ(run.err, "pixmora-convert: " + std::string(c.reason) + "\n" + kUsageHint);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(filesIn(dir.path()), before) << c.reason;
    }
}

#if !defined(_WIN32)
// Writes `bytes` into the named pipe from another thread; the converter at the
// other end reads it.
class PipeFeeder {
public:
    PipeFeeder(const std::string& path, std::vector<uint8_t> bytes)
        : thread_([path, bytes = std::move(bytes)] {
              const int fd = open(path.c_str(), O_WRONLY);
              size_t done = 0;
              while (fd >= 0 && done < bytes.size()) {
                  const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
                  if (n <= 0) {
                      break;
                  }
                  done += static_cast<size_t>(n);
              }
              if (fd >= 0) {
                  close(fd);
              }
          })
    {
    }
    ~PipeFeeder() { thread_.join(); }

private:
    std::thread thread_;
};

TEST(Converter, ReadsADumpFromAPipe)
{
    TempDir dir;
    signal(SIGPIPE, SIG_IGN);  // a converter that stopped reading fails the test, not the run
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const RawFrame frame = randomFrame(60, 20, 8);
    {
        PipeFeeder feeder(dir.file("pipe"), packFrame(frame));
        const ConverterRun run = runConverter(
            {"--width", "60", "--height", "20", "--pattern", "GBRG", "--output", "piped.bmp", "pipe"},
            dir.path());
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }
    EXPECT_EQ(readFile(dir.file("piped.bmp")), expectedBmp(frame, "GBRG"));

    PipeFeeder feeder(dir.file("pipe"), std::vector<uint8_t>(100, 0));
    const ConverterRun run = runConverter(
        {"--width", "60", "--height", "20", "--pattern", "GBRG", "--output", "short.bmp", "pipe"}, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "pixmora-convert: pipe: too short (has 100 bytes; 60 x 20 needs 1600)\n");
    EXPECT_FALSE(fileExists(dir.file("short.bmp")));
}
#endif

TEST(Converter, PrintsHelpAndVersionOnStdout)
{
    TempDir dir;
    const ConverterRun help = runConverter({"--help"}, dir.path());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: pixmora-convert [OPTIONS] RAW [RAW...]\n", 0), 0u) << help.out;
    for (const char* option : {"--width W", "--height H", "--pattern P", "--output FILE", "--quiet",
                               "--version", "Exit status"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }

    const ConverterRun version = runConverter({"--version"}, dir.path());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "pixmora-convert " PIXMORA_VERSION "\n");
    EXPECT_EQ(version.err, "");
}

TEST(Converter, ShowsNoProgressLineWhenStderrIsNotATerminal)
{
    TempDir dir;
    std::vector<std::string> args{"--width", "6", "--height", "2", "--pattern", "RGGB", "--quiet"};
    for (int i = 0; i < 12; ++i) {
        const std::string name = "f" + std::to_string(i) + ".raw";
        writeDump(dir, name, 6, 2, "RGGB", static_cast<uint32_t>(i));
        args.push_back(name);
    }
    const ConverterRun run = runConverter(args, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "") << "a log file must not fill with progress lines";
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(fileExists(dir.file("f11.bmp")));
}

}  // namespace
