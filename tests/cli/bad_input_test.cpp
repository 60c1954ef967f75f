// What the converter does with the inputs a capture session really produces:
// empty and cut dumps, folders, geometry at its limits, long and foreign names,
// and memory that runs out. Each row: the exact message, the exit status, and
// the files there before and after.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "conversion_settings.h"
#include "convert_job.h"
#include "converter_process.h"
#include "expected_bmp.h"
#include "file_replace.h"
#include "raw_builder.h"
#include "temp_dir.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#endif

namespace {

std::set<std::string> filesIn(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        names.insert(entry.path().generic_string());
    }
    return names;
}

TEST(BadInput, DumpsThatCannotBeConvertedLeaveNoFile)
{
    TempDir dir;
    const std::vector<uint8_t> whole = packFrame(randomFrame(12, 4, 1));  // 64 bytes, 16 a row
    writeFile(dir.file("empty.raw"), {});
    writeFile(dir.file("byte.raw"), std::vector<uint8_t>(whole.begin(), whole.end() - 1));
    writeFile(dir.file("row.raw"), std::vector<uint8_t>(whole.begin(), whole.end() - 16));
    std::filesystem::create_directory(dir.file("folder.raw"));
    const std::set<std::string> before = filesIn(dir.path());

    const struct {
        const char* name;
        std::string reason;
    } rows[] = {
        {"empty.raw", "too short (has 0 bytes; 12 x 4 needs 64)"},
        {"byte.raw", "too short (has 63 bytes; 12 x 4 needs 64)"},
        {"row.raw", "too short (has 48 bytes; 12 x 4 needs 64)"},
        // The system's own words: Windows refuses to open a folder as a file.
#if defined(_WIN32)
        {"folder.raw", "cannot open (" + std::string(std::strerror(EACCES)) + ")"},
#else
        {"folder.raw", "cannot open (" + std::string(std::strerror(EISDIR)) + ")"},
#endif
    };
    for (const auto& row : rows) {
        const ConverterRun run =
            runConverter({"--width", "12", "--height", "4", "--pattern", "RGGB", row.name}, dir.path());
        EXPECT_EQ(run.exitCode, 1) << row.name;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "pixmora-convert: " + std::string(row.name) + ": " + row.reason + "\n");
        EXPECT_EQ(filesIn(dir.path()), before) << row.name;
    }
}

TEST(BadInput, GeometryAtEachBoundConverts)
{
    TempDir dir;
    const int32_t bounds[][2] = {{1, 2}, {16384, 2}, {1, 16384}};
    for (const auto& b : bounds) {
        const RawFrame frame = randomFrame(b[0], b[1], static_cast<uint32_t>(b[0] + b[1]));
        writeFile(dir.file("edge.raw"), packFrame(frame));
        const ConverterRun run = runConverter({"-q", "--width", std::to_string(b[0]), "--height",
                                               std::to_string(b[1]), "--pattern", "GRBG", "edge.raw"},
                                              dir.path());
        EXPECT_EQ(run.exitCode, 0) << b[0] << "x" << b[1] << " " << run.err;
        EXPECT_EQ(readFile(dir.file("edge.bmp")), expectedBmp(frame, "GRBG")) << b[0] << "x" << b[1];
    }
}

// Relative names of 259, 260 and 300 characters, through folders so that no
// single name passes a file system's limit, and names with spaces and a
// character outside ASCII (0xE9, e acute in the Western code page, a valid
// name byte on Linux too). Narrow Windows paths hold at most 259 characters:
// there the longer BMP names are refused, which is reported, leaving no file.
TEST(BadInput, LongAndForeignNamesConvertNextToTheDump)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file(std::string(100, 'd') + "/" + std::string(100, 'e')));
    const std::string folders = std::string(100, 'd') + "/" + std::string(100, 'e') + "/";
    std::vector<std::string> names = {"caf\xE9 shot_12x4_RGGB.raw", "two  spaces_12x4_RGGB.raw"};
    for (size_t length : {259u, 260u, 300u}) {
        const std::string tail = "_12x4_RGGB.raw";
        names.push_back(folders + std::string(length - folders.size() - tail.size(), 'n') + tail);
    }
    for (const std::string& name : names) {
        const RawFrame frame = randomFrame(12, 4, static_cast<uint32_t>(name.size()));
        writeFile(dir.file(name), packFrame(frame));
        const ConverterRun run = runConverter({name}, dir.path());
        const std::string bmp = name.substr(0, name.size() - 3) + "bmp";
#if defined(_WIN32)
        if (name.size() >= 260) {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.err, "pixmora-convert: " + name + ": output " + bmp + " not writable (" +
                                   std::strerror(ENAMETOOLONG) + ")\n");
            EXPECT_FALSE(fileExists(dir.file(bmp)));
            EXPECT_FALSE(fileExists(dir.file(temporaryNameFor(bmp))));
            continue;
        }
#endif
        EXPECT_EQ(run.exitCode, 0) << name.size() << " " << run.err;
        EXPECT_EQ(run.out, name + " -> " + bmp + " 6x2\n");
        EXPECT_EQ(readFile(dir.file(bmp)), expectedBmp(frame, "RGGB")) << name.size();
    }
}

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
// Memory that runs out mid-batch fails that input with a reason, never a crash:
// a child converts the largest panel geometry with its address space capped
// just above what it already uses.
TEST(BadInput, MemoryRunningOutIsReportedNotCrashed)
{
    TempDir dir;
    const std::string raw = dir.file("big.raw");
    writeFile(raw, {});
    ASSERT_EQ(truncate(raw.c_str(), rawGeometry(7399, 4999).inputBytes), 0);  // sparse

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (64u << 10);
        const rlimit limit{cap, cap};
        if (setrlimit(RLIMIT_AS, &limit) != 0) {
            _exit(3);
        }
        const JobResult result = runJob(Job{raw, dir.file("big.bmp"), 7399, 4999, 1}, {});
        _exit(!result.ok && result.reason == "not enough memory to convert it" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the conversion crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fileExists(dir.file("big.bmp")));
    EXPECT_FALSE(fileExists(temporaryNameFor(dir.file("big.bmp"))));
}
#endif

}  // namespace
