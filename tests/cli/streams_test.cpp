// The converter's inputs as they arrive and its batches side by side: a pipe's
// frames are the file's, an interrupt leaves only whole files, a file cut
// while it converts is reported, and a batch prints in input order.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/arguments.h"
#include "cli/convert_job.h"
#include "converter_run.h"
#include "support/child_limits.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

// A batch's first input takes longest, so the later ones finish first when
// they convert side by side: the lines still come in input order, the one
// failure among them after the lines before it, and every other file is made.
TEST(Batches, SideBySideInputsPrintInInputOrderAroundAFailedOne)
{
    TempDir dir;
    std::vector<std::vector<uint8_t>> bmps{writeDump(dir.file("big_1200x800_RGGB.raw"), 1200, 800, "RGGB")};
    Args inputs{"big_1200x800_RGGB.raw"};
    std::string lines = "big_1200x800_RGGB.raw -> big_1200x800_RGGB.bmp 600x400\n";
    for (uint32_t i = 1; i < 9; ++i) {
        const std::string name = "s" + std::to_string(i) + "_12x4_GRBG";
        bmps.push_back(writeDump(dir.file(name + ".raw"), 12, 4, "GRBG", i));
        inputs.push_back(name + ".raw");
        if (i != 4) {
            lines += name + ".raw -> ";
            lines += name + ".bmp 6x2\n";
        }
    }
    writeFile(dir.file("s4_12x4_GRBG.raw"), std::vector<uint8_t>(63, 0));
    EXPECT_EQ(runConverter(inputs, dir.path()),
              (ConverterRun{1, lines, failed("s4_12x4_GRBG.raw", "too short (has 63 bytes; 12 x 4 needs 64)") +
                                          "pixmora-convert: 1 of 9 inputs failed\n"}));
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string output = fs::path(inputs[i]).replace_extension(".bmp").string();
        EXPECT_TRUE(readFile(dir.file(output)) == (i == 4 ? std::vector<uint8_t>{} : bmps[i])) << output;
    }
}

#if !defined(_WIN32)
std::vector<uint8_t> randomBytes(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& byte : bytes) {
        byte = static_cast<uint8_t>(random());
    }
    return bytes;
}

// Files of the folder whose names hold `part`, counted while another process
// may be renaming them.
size_t filesNamed(const TempDir& dir, const std::string& part)
{
    size_t count = 0;
    std::error_code error;
    for (fs::directory_iterator at(dir.path(), error), end; !error && at != end; at.increment(error)) {
        count += at->path().filename().string().find(part) != std::string::npos ? 1u : 0u;
    }
    return count;
}

// Waits until the file at `path` holds `bytes` or more, or at most a minute.
bool waitForBytes(const std::string& path, uintmax_t bytes)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    std::error_code error;
    while ((fs::file_size(path, error) < bytes || error) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return !error && fs::file_size(path, error) >= bytes;
}

// A file cut to nothing by another thread while its frames convert in bands
// on several threads: a read error, never a crash, and no temporary left.
TEST(Streams, AFileCutWhileItConvertsFailsWithAReadError)
{
    TempDir dir;
    const std::string input = dir.file("cut_7399x4999_RGGB.raw");
    ASSERT_TRUE(makeSparseFile(input, 3 * int64_t{49350128}));
    const JobPlan plan = planJob(parseArguments({"--frame", "all", "--output", dir.file("cut.bmp"), input}), input);
    ASSERT_TRUE(plan.ok) << plan.reason;
    std::thread cutter([&] {
        EXPECT_TRUE(waitForBytes(dir.file("cut-0000.bm~"), 1u << 20));
        fs::resize_file(input, 0);
    });
    const JobResult result = runJob(plan.job, {});
    cutter.join();
    EXPECT_EQ(result.reason, "cannot read (the file became shorter while it was read)");
    EXPECT_EQ(dir.contents().size(), 1u);
}

// Frames 12 x 4 apart by 5 rows of 16 bytes after 10 bytes, the last one cut:
// from a pipe every frame, one frame and a frame past the end give the files
// and lines the regular file gives.
TEST(Streams, APipesFramesAreTheFilesFrames)
{
    TempDir dir;
    writeFile(dir.file("f.raw"), randomBytes(10 + 3 * 80 + 60, 7));
    for (const std::string frames : {"all", "2", "3"}) {
        const Args args{"--width=12", "--height=4", "--pattern=GBRG", "--offset=10", "--scanlines=5", "--frame", frames, "--output"};
        Args fromFile = args, fromPipe = args;
        fromFile.insert(fromFile.end(), {"file.bmp", "f.raw"});
        fromPipe.insert(fromPipe.end(), {"pipe.bmp", "/dev/stdin"});
        auto [fileStatus, fileOut, fileErr] = runConverter(fromFile, dir.path());
        auto [pipeStatus, pipeOut, pipeErr] = runConverter(fromPipe, dir.path(), dir.file("f.raw"));
        EXPECT_EQ(pipeStatus, fileStatus);
        for (auto [text, input, output] : {std::tuple{&fileOut, "f.raw", "file"}, {&fileErr, "f.raw", "file"}, {&pipeOut, "/dev/stdin", "pipe"},
                                           {&pipeErr, "/dev/stdin", "pipe"}}) {
            for (const std::string& word : {std::string(input), std::string(output)}) {
                for (size_t at = text->find(word); at != std::string::npos; at = text->find(word)) {
                    text->replace(at, word.size(), "X");
                }
            }
        }
        EXPECT_EQ(pipeOut, fileOut);
        EXPECT_EQ(pipeErr, fileErr);
        EXPECT_EQ(fileStatus, frames == "3" ? 1 : 0) << fileErr;
    }
    for (const std::string name : {"-0000.bmp", "-0001.bmp", "-0002.bmp", ".bmp"}) {
        EXPECT_TRUE(readFile(dir.file("pipe" + name)) == readFile(dir.file("file" + name))) << name;
        EXPECT_FALSE(readFile(dir.file("pipe" + name)).empty()) << name;
    }
    EXPECT_EQ(filesNamed(dir, ".bmp"), 8u);
}

// Runs the converter in `dir` on `args` with `input` as its stdin and its
// stdout to the file "out"; returns its process.
pid_t startConverter(const TempDir& dir, const Args& args, int input)
{
    std::vector<std::string> words{PIXMORA_CONVERT_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const std::string out = dir.file("out");
    const pid_t child = fork();
    if (child == 0) {
        const int stdoutFile = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (chdir(dir.path().c_str()) != 0 || dup2(input, 0) < 0 || dup2(stdoutFile, 1) < 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// Waits until the folder holds `count` files whose names hold `part`, or at
// most a minute.
bool waitForFiles(const TempDir& dir, const std::string& part, size_t count)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (filesNamed(dir, part) < count && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return filesNamed(dir, part) >= count;
}

// The signal that ended the process, or -1; a process still running after
// half a minute is killed and fails.
int endingSignal(pid_t child)
{
    int status = 0;
    for (int wait = 0; wait < 3000 && waitpid(child, &status, WNOHANG) == 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (waitpid(child, &status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return -1;
    }
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

// An endless stream converts until interrupted; the interrupt leaves every
// file it made whole and its lines printed, the one being written gone, and
// ends the converter by its signal: SIGINT waiting on a quiet pipe, SIGTERM
// while the first of /dev/zero's large frames is written.
TEST(Streams, AnInterruptLeavesOnlyWholeFilesAndEndsByItsSignal)
{
    TempDir dir;
    const Args small{"--width=12", "--height=4", "--pattern=GRBG", "--frame=all", "--output"};
    writeFile(dir.file("f.raw"), randomBytes(2 * 64 + 30, 3));
    Args fromFile = small;
    fromFile.insert(fromFile.end(), {"f.bmp", "f.raw"});
    ASSERT_EQ(std::get<0>(runConverter(fromFile, dir.path())), 0);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    Args fromPipe = small;
    fromPipe.insert(fromPipe.end(), {"p.bmp", "/dev/stdin"});
    const pid_t quiet = startConverter(dir, fromPipe, pipeEnds[0]);
    const std::vector<uint8_t> frames = readFile(dir.file("f.raw"));
    ASSERT_EQ(write(pipeEnds[1], frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    EXPECT_TRUE(waitForFiles(dir, "p-0001.bmp", 1));
    kill(quiet, SIGINT);
    EXPECT_EQ(endingSignal(quiet), SIGINT);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    const std::string lines = "/dev/stdin -> p-0000.bmp 6x2\n/dev/stdin -> p-0001.bmp 6x2\n";
    EXPECT_EQ(readFile(dir.file("out")), std::vector<uint8_t>(lines.begin(), lines.end()));
    EXPECT_EQ(filesNamed(dir, "p-"), 2u);
    EXPECT_TRUE(readFile(dir.file("p-0001.bmp")) == readFile(dir.file("f-0001.bmp")));

    const int zeros = open("/dev/zero", O_RDONLY);
    const pid_t busy = startConverter(dir, {"-q", "--width=7399", "--height=4999", "--pattern=RGGB", "--full", "--frame=all", "--output", "z.bmp", "/dev/stdin"}, zeros);
    EXPECT_TRUE(waitForBytes(dir.file("z-0000.bm~"), 1u << 20));
    kill(busy, SIGTERM);
    EXPECT_EQ(endingSignal(busy), SIGTERM);
    close(zeros);
    EXPECT_EQ(filesNamed(dir, "z-"), 0u);
}
#endif

}  // namespace
