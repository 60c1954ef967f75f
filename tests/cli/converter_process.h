// Running the built pixmora-convert as a separate process, as scripts do, and
// what its files must then hold.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "raw_builder.h"
#include "temp_dir.h"

// What one run gave. Runs compare whole, so that a failure shows all of it.
struct ConverterRun {
    int exitCode = -1;
    std::string out;  // stdout, line ends as "\n"
    std::string err;  // stderr, line ends as "\n"

    bool operator==(const ConverterRun& o) const { return exitCode == o.exitCode && out == o.out && err == o.err; }
};

inline std::ostream& operator<<(std::ostream& os, const ConverterRun& r)
{
    return os << "exit " << r.exitCode << "\n--- stdout:\n" << r.out << "--- stderr:\n" << r.err;
}

// Runs the converter in the folder `workingDir`, with the file `piped` (POSIX
// only) fed to its stdin through a pipe. The arguments must not hold quotes:
// they are joined into one command line.
ConverterRun runConverter(const std::vector<std::string>& args, const std::string& workingDir,
                          const std::string& piped = "");

inline const std::vector<std::string> k12x4{"--width", "12", "--height", "4", "--pattern", "RGGB"};

inline std::vector<std::string> with(std::vector<std::string> options, const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

// The stderr line of an input that failed.
inline std::string failed(const std::string& input, const std::string& reason)
{
    return "pixmora-convert: " + input + ": " + reason + "\n";
}

inline std::string systemText(int error)
{
    return std::strerror(error);
}

// The BMP file a frame must give: the core's header for its picture size and
// the picture computed from the frame's samples, not through the decoder.
std::vector<uint8_t> expectedBmp(const RawFrame& frame, const std::string& pattern);

// Writes a random dump to `path` and returns the BMP it must give.
std::vector<uint8_t> writeDump(const std::string& path, int32_t width, int32_t height,
                               const std::string& pattern, uint32_t seed);

// Every file and folder under `dir`, as paths relative to it with '/'.
std::set<std::string> filesIn(const std::string& dir);
