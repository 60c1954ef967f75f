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
#include "file_replace.h"
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

const std::vector<std::string> k12x4{"--width", "12", "--height", "4", "--pattern", "RGGB"};

std::vector<std::string> with(std::vector<std::string> options, const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

std::set<std::string> filesIn(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Writes a random dump and returns the BMP it must give.
std::vector<uint8_t> writeDump(const TempDir& dir, const std::string& name, int32_t width,
                               int32_t height, const std::string& pattern, uint32_t seed)
{
    const RawFrame frame = randomFrame(width, height, seed);
    writeFile(dir.file(name), packFrame(frame));
    return expectedBmp(frame, pattern);
}

std::string errnoText(int error)
{
    return std::strerror(error);
}

TEST(Converter, GivesTheKnownSamplesPictureAndTheWindowsSaveBytes)
{
    const struct {
        int32_t width;
        int32_t height;
        size_t extraBytes;  // the window ignores bytes past N; so must the converter
    } sizes[] = {{1000, 600, 0}, {7, 5, 3}, {1, 2, 0}, {3000, 2001, 0}};  // the last on several threads
    TempDir dir;
    for (int32_t p = 1; p <= 4; ++p) {
        const auto& s = sizes[p - 1];
        const RawFrame frame = randomFrame(s.width, s.height, static_cast<uint32_t>(p));
        std::vector<uint8_t> raw = packFrame(frame);
        raw.resize(raw.size() + s.extraBytes, 0xA5);
        writeFile(dir.file("in.raw"), raw);
        m_nWidth = s.width;
        m_nHeight = s.height;
        m_nBayerType = p;
        updateBayerType();
        ASSERT_EQ(CDIBBitmap_load(nullptr, dir.file("in.raw").c_str()), 1);
        ASSERT_EQ(CDIBBitmap_save(dir.file("window.bmp").c_str()), 1);
        CDIBBitmap_clear();

        const ConverterRun run = runConverter({"--width", std::to_string(s.width), "--height",
                                               std::to_string(s.height), "--pattern", bayerTypeName(p), "in.raw"},
                                              dir.path());
        const std::string what = std::to_string(s.width) + "x" + std::to_string(s.height) + " " + bayerTypeName(p);
        EXPECT_EQ(run.exitCode, 0) << what << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, "in.raw -> in.bmp " + std::to_string(frame.alignedWidth / 2) + "x" +
                               std::to_string(s.height / 2) + "\n");
        const std::vector<uint8_t> bmp = readFile(dir.file("in.bmp"));
        EXPECT_EQ(bmp, expectedBmp(frame, bayerTypeName(p))) << what;
        EXPECT_EQ(bmp, readFile(dir.file("window.bmp"))) << what;
    }
}

TEST(Converter, TakesEachInputsSettingsFromItsNameInOneMixedBatch)
{
    TempDir dir;
    const auto a = writeDump(dir, "a_24x8_RGGB.raw", 24, 8, "RGGB", 1);
    const auto b = writeDump(dir, "b-30x6-gbrg.raw", 30, 6, "GBRG", 2);
    const auto c = writeDump(dir, "c_12x4.raw", 12, 4, "BGGR", 3);
    const ConverterRun own = runConverter({"a_24x8_RGGB.raw", "b-30x6-gbrg.raw"}, dir.path());
    EXPECT_EQ(own.exitCode, 0) << own.err;
    EXPECT_EQ(own.out, "a_24x8_RGGB.raw -> a_24x8_RGGB.bmp 12x4\nb-30x6-gbrg.raw -> b-30x6-gbrg.bmp 15x3\n");
    EXPECT_EQ(readFile(dir.file("a_24x8_RGGB.bmp")), a);
    EXPECT_EQ(readFile(dir.file("b-30x6-gbrg.bmp")), b);

    // A given option applies to every input, over the names' own settings.
    const ConverterRun given = runConverter({"-q", "--pattern", "BGGR", "c_12x4.raw", "a_24x8_RGGB.raw"}, dir.path());
    EXPECT_EQ(given.exitCode, 0) << given.err;
    EXPECT_EQ(given.out, "");
    EXPECT_EQ(readFile(dir.file("c_12x4.bmp")), c);
    EXPECT_NE(readFile(dir.file("a_24x8_RGGB.bmp")), a);
}

TEST(Converter, ConvertsTheRestOfABatchAroundFailedInputsAndLeavesNoFileForThem)
{
    TempDir dir;
    const auto first = writeDump(dir, "first.raw", 12, 4, "RGGB", 1);
    writeFile(dir.file("short.raw"), std::vector<uint8_t>(63, 0));  // 12 x 4 needs 64
    writeFile(dir.file("ab"), std::vector<uint8_t>(64, 0));
    writeDump(dir, "blocked.raw", 12, 4, "RGGB", 2);
    std::filesystem::create_directory(dir.file("blocked.bmp"));  // a folder is never replaced
    writeDump(dir, "nameless.raw", 12, 4, "RGGB", 3);
    const auto last = writeDump(dir, "last.raw", 12, 4, "RGGB", 4);
    std::set<std::string> files = filesIn(dir.path());

    const ConverterRun run = runConverter(
        with(k12x4, {"first.raw", "missing.raw", "short.raw", "ab", "blocked.raw", "last.raw"}), dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "first.raw -> first.bmp 6x2\nlast.raw -> last.bmp 6x2\n");
    const std::string expected =
        "pixmora-convert: missing.raw: cannot open (" + errnoText(ENOENT) + ")\n"
        "pixmora-convert: short.raw: too short (has 63 bytes; 12 x 4 needs 64)\n"
        "pixmora-convert: ab: the name is too short to make the BMP's name from; pass --output\n"
        "pixmora-convert: blocked.raw: output blocked.bmp not writable (";
    EXPECT_EQ(run.err.substr(0, expected.size()), expected);
    EXPECT_EQ(run.err.substr(run.err.find(")\n", expected.size())), ")\npixmora-convert: 4 of 6 inputs failed\n");
    EXPECT_EQ(readFile(dir.file("first.bmp")), first);
    EXPECT_EQ(readFile(dir.file("last.bmp")), last);
    files.insert({"first.bmp", "last.bmp"});
    EXPECT_EQ(filesIn(dir.path()), files);

    const ConverterRun unknown = runConverter({"--width", "12", "nameless.raw"}, dir.path());
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err, "pixmora-convert: nameless.raw: height unknown: pass --height, or name the file "
                           "with one <W>x<H> token; pattern unknown: pass --pattern, or name the file with one "
                           "of RGGB, GRBG, BGGR, GBRG as a whole token\n");
    EXPECT_EQ(filesIn(dir.path()), files);

    const ConverterRun named = runConverter(with(k12x4, {"--output", "ab.bmp", "ab"}), dir.path());
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(named.out, "ab -> ab.bmp 6x2\n");
}

TEST(Converter, LeavesUsersFilesAndFoldersBesideTheBmpAlone)
{
    TempDir dir;
    writeDump(dir, "shot.raw", 12, 4, "RGGB", 5);
    const std::vector<uint8_t> older{'o', 'l', 'd'};
    writeFile(dir.file("shot.bmp"), older);
    // The usual temporary's name is a user's file: another free name is used.
    writeFile(dir.file(temporaryNameFor("shot.bmp")), older);
    const ConverterRun replaced = runConverter(with(k12x4, {"shot.raw"}), dir.path());
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(readFile(dir.file(temporaryNameFor("shot.bmp"))), older);
    EXPECT_EQ(readFile(dir.file("shot.bmp")).size(), 54u + 2 * 20);

    std::filesystem::create_directory(dir.file("folder.bmp"));
    writeFile(dir.file("folder.bmp/inside"), older);
    const ConverterRun blocked = runConverter(with(k12x4, {"--output", "folder.bmp", "shot.raw"}), dir.path());
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_EQ(blocked.err, "pixmora-convert: shot.raw: output folder.bmp not writable (" + errnoText(EISDIR) + ")\n");
    EXPECT_EQ(readFile(dir.file("folder.bmp/inside")), older);

    const ConverterRun noFolder = runConverter(with(k12x4, {"--output", "no/shot.bmp", "shot.raw"}), dir.path());
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_EQ(noFolder.err,
              "pixmora-convert: shot.raw: output no/shot.bmp not writable (" + errnoText(ENOENT) + ")\n");
}

TEST(Converter, NeverOverwritesAnInput)
{
    TempDir dir;
    const std::vector<uint8_t> raw = packFrame(randomFrame(12, 4, 6));
    writeFile(dir.file("a.raw"), raw);
    writeFile(dir.file("a.bmp"), raw);  // a dump whose name ends in "bmp"
    const ConverterRun run = runConverter(with(k12x4, {"a.raw", "a.bmp"}), dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    const std::string refusal = "output a.bmp is an input file; refusing to overwrite it (pass --output)\n";
    EXPECT_EQ(run.err, "pixmora-convert: a.raw: " + refusal + "pixmora-convert: a.bmp: " + refusal +
                           "pixmora-convert: 2 of 2 inputs failed\n");

    const ConverterRun single = runConverter(with(k12x4, {"--output", "./a.raw", "a.raw"}), dir.path());
    EXPECT_EQ(single.exitCode, 1) << "the same file under another spelling";
    EXPECT_EQ(readFile(dir.file("a.raw")), raw);
    EXPECT_EQ(readFile(dir.file("a.bmp")), raw);
}

TEST(Converter, RefusesBadCommandLinesWithStatus2AndWritesNothing)
{
    TempDir dir;
    writeDump(dir, "ok.raw", 12, 4, "RGGB", 7);
    const std::set<std::string> before = filesIn(dir.path());
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {with(k12x4, {"ok.raw", "--colour"}), "unknown option '--colour'"},
        {with(k12x4, {"ok.raw", "-w"}), "unknown option '-w'"},
        {with(k12x4, {"ok.raw", "--width"}), "--width needs a value"},
        {with(k12x4, {"--width", "12x", "ok.raw"}), "--width '12x' is not a whole number from 1 to 16384"},
        {with(k12x4, {"--width=0", "ok.raw"}), "--width '0' is not a whole number from 1 to 16384"},
        {with(k12x4, {"--height", "16385", "ok.raw"}), "--height '16385' is not a whole number from 2 to 16384"},
        {with(k12x4, {"--height", "1", "ok.raw"}), "--height '1' is not a whole number from 2 to 16384"},
        {with(k12x4, {"--pattern", "RGB", "ok.raw"}), "--pattern 'RGB' is not one of RGGB, GRBG, BGGR, GBRG"},
        {with(k12x4, {"--output", "o.bmp", "ok.raw", "ok.raw"}),
         "--output names the file for a single input, but 2 inputs were given"},
        {with(k12x4, {"--output=", "ok.raw"}), "--output needs a file name"},
        {k12x4, "no input file given"},
    };
    for (const auto& c : cases) {
        const ConverterRun run = runConverter(c.args, dir.path());
        EXPECT_EQ(run.exitCode, 2) << c.reason;
        EXPECT_EQ(run.err, "pixmora-convert: " + c.reason + "\nTry 'pixmora-convert --help' for usage.\n");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(filesIn(dir.path()), before) << c.reason;
    }
}

TEST(Converter, PrintsHelpAndVersionOnStdoutAndNoProgressIntoALog)
{
    TempDir dir;
    const ConverterRun help = runConverter({"ok.raw", "--help", "--bogus"}, dir.path());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: pixmora-convert [OPTIONS] RAW [RAW...]\n", 0), 0u) << help.out;
    const ConverterRun version = runConverter({"--version"}, dir.path());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "pixmora-convert " PIXMORA_VERSION "\n");

    // A long batch shows a progress line only on a terminal.
    std::vector<std::string> args = with(k12x4, {"--quiet"});
    for (int i = 0; i < 12; ++i) {
        args.push_back("f" + std::to_string(i) + ".raw");
        writeDump(dir, args.back(), 12, 4, "RGGB", static_cast<uint32_t>(i));
    }
    const ConverterRun batch = runConverter(args, dir.path());
    EXPECT_EQ(batch.exitCode, 0);
    EXPECT_EQ(batch.err + batch.out, "");
    EXPECT_TRUE(fileExists(dir.file("f11.bmp")));
}

#if !defined(_WIN32)
TEST(Converter, ReadsADumpFromAPipe)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    signal(SIGPIPE, SIG_IGN);  // a converter that stops reading fails the test, not the run
    auto feed = [&dir](const std::vector<uint8_t>& bytes) {
        return std::thread([&dir, bytes] {
            const int fd = open(dir.file("pipe").c_str(), O_WRONLY);
            const ssize_t written = write(fd, bytes.data(), bytes.size());
            EXPECT_EQ(written, static_cast<ssize_t>(bytes.size()));
            close(fd);
        });
    };
    const RawFrame frame = randomFrame(60, 20, 8);
    std::thread whole = feed(packFrame(frame));
    const ConverterRun run = runConverter(with(k12x4, {"--width=60", "--height=20", "--output", "p.bmp", "pipe"}),
                                          dir.path());
    whole.join();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readFile(dir.file("p.bmp")), expectedBmp(frame, "RGGB"));

    std::thread part = feed(std::vector<uint8_t>(100, 0));
    const ConverterRun cut = runConverter(with(k12x4, {"--width=60", "--height=20", "--output", "q.bmp", "pipe"}),
                                          dir.path());
    part.join();
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_EQ(cut.err, "pixmora-convert: pipe: too short (has 100 bytes; 60 x 20 needs 1600)\n");
    EXPECT_FALSE(fileExists(dir.file("q.bmp")));
}
#endif

}  // namespace
