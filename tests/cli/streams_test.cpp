// The converter's inputs as they arrive and its batches side by side: a pipe's
// frames are the file's, an interrupt leaves only whole files, and a batch
// prints in input order.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "converter_run.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

#if !defined(_WIN32)
#include <csignal>
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;

// The first input takes longest, so the others finish first side by side: the
// lines still come in input order, the failure after the lines before it.
TEST(Batches, SideBySideInputsPrintInInputOrderAroundAFailedOne)
{
    TempDir dir;
    std::vector<std::string> inputs{"big_3000x2000_RGGB.raw"};
    writeDump(dir.file(inputs[0]), 3000, 2000, "RGGB");
    std::string lines = "big_3000x2000_RGGB.raw -> big_3000x2000_RGGB.bmp 1500x1000\n";
    for (uint32_t i = 1; i < 9; ++i) {
        inputs.push_back("s" + std::to_string(i) + "_12x4_GRBG.raw");
        writeDump(dir.file(inputs[i]), 12, i == 4 ? 3 : 4, "GRBG", i);
        lines.append(i == 4 ? "" : inputs[i] + " -> " + inputs[i].substr(0, 12) + ".bmp 6x2\n");
    }
    EXPECT_EQ(runConverter(inputs, dir.path()), (ConverterRun{1, lines, failed(inputs[4], "too short (has 48 bytes; 12 x 4 needs 64)") +
                                                                            "pixmora-convert: 1 of 9 inputs failed\n"}));
    EXPECT_EQ(dir.contents().size(), 17u);
}

#if !defined(_WIN32)
// Whether the file at `path` came to hold `bytes` or more within a minute.
bool waitForBytes(const std::string& path, uintmax_t bytes)
{
    std::error_code error;
    for (int wait = 0; wait < 60000 && (fs::file_size(path, error) < bytes || error); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return fs::file_size(path, error) >= bytes && !error;
}

// 12 x 4 frames 5 rows of 16 bytes apart after 10 bytes, the fourth cut: from
// a pipe every frame, one frame and a frame past the end give the file's files,
// lines and status.
TEST(Streams, APipesFramesAreTheFilesFrames)
{
    TempDir file, pipe;
    writeFile(file.file("f.raw"), packFrame(randomFrame(12, 19, 7)));
    fs::create_symlink("/dev/stdin", pipe.file("f.raw"));
    for (const std::string frames : {"all", "2", "3"}) {
        const std::vector<std::string> args{"--width=12", "--height=4", "--pattern=GBRG", "--offset=10", "--scanlines=5", "--frame=" + frames, "--output=p.bmp", "f.raw"};
        const ConverterRun fromFile = runConverter(args, file.path());
        EXPECT_EQ(runConverter(args, pipe.path(), file.file("f.raw")), fromFile);
        EXPECT_EQ(std::get<0>(fromFile), frames == "3" ? 1 : 0);
    }
    fs::remove(pipe.file("f.raw"));
    writeFile(pipe.file("f.raw"), readFile(file.file("f.raw")));
    EXPECT_TRUE(file.contents() == pipe.contents());
}

// Runs the converter in `dir` on `args` after --frame=all with `input` on a
// pipe kept open as its stdin, and sends it `signal` once `path` holds
// `bytes`; true when the signal ended it.
bool endsBySignal(const TempDir& dir, const std::string& args, const std::vector<uint8_t>& input, const std::string& path, uintmax_t bytes,
                  int signal)
{
    std::FILE* converter = popen(("cd '" + dir.path() + "' && echo $$ >pid && exec '" PIXMORA_CONVERT_PATH "' -q --frame=all " + args).c_str(), "w");
    const bool seen = std::fwrite(input.data(), 1, input.size(), converter) == input.size() && std::fflush(converter) == 0 && waitForBytes(dir.file(path), bytes);
    const std::vector<uint8_t> pid = readFile(dir.file("pid"));
    const pid_t child = std::stoi(std::string(pid.begin(), pid.end()));
    kill(child, seen ? signal : SIGKILL);
    int status = 0;
    for (int wait = 0; wait < 10000 && waitpid(child, &status, WNOHANG) == 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    pclose(converter);  // only now does the pipe close, which would end a read still waiting on it
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

// A stream converts until interrupted; the interrupt leaves every file it made
// whole, the one being written gone, and ends the converter by its signal:
// SIGINT waiting on a quiet pipe, SIGTERM while a large frame is written. (The
// pipe bounds what a converter left running by a failed test can write.)
TEST(Streams, AnInterruptLeavesOnlyWholeFilesAndEndsByItsSignal)
{
    TempDir dir;
    EXPECT_TRUE(endsBySignal(dir, "--width=12 --height=4 --pattern=GRBG --output=p.bmp /dev/stdin", packFrame(randomFrame(12, 9, 3)), "p-0001.bmp", 1, SIGINT));
    EXPECT_TRUE(readFile(dir.file("p-0000.bmp")) == expectedBmp(randomFrame(12, 4, 3), "GRBG"));
    EXPECT_TRUE(endsBySignal(dir, "--width=7399 --height=4999 --pattern=RGGB --full --output=z.bmp /dev/stdin", std::vector<uint8_t>(49350128), "z-0000.bm~", 1u << 20, SIGTERM));
    EXPECT_EQ(dir.contents().size(), 3u);  // pid, p-0000.bmp, p-0001.bmp
}
#endif

}  // namespace
