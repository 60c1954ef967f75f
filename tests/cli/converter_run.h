// Running the built pixmora-convert as scripts do, and the files it must make.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

// What one run of the executable gave: its exit status, stdout and stderr
// (line ends as "\n"). Runs compare whole, so that a failure shows all of it.
using ConverterRun = std::tuple<int, std::string, std::string>;

// Runs the converter in `workingDir` through the system's shell, with the file
// `piped` (POSIX only) on its stdin through a pipe. The arguments must not
// hold quotes.
ConverterRun runConverter(const std::vector<std::string>& args, const std::string& workingDir,
                          const std::string& piped = "");

// Writes a random dump to `path` and returns the BMP it must give.
std::vector<uint8_t> writeDump(const std::string& path, int32_t width, int32_t height, const std::string& pattern,
                               uint32_t seed = 1);

// The line a failed input gives on stderr.
std::string failed(const std::string& input, const std::string& reason);

// A usage error's two lines on stderr, with exit status 2 and nothing on stdout.
ConverterRun usageError(const std::string& why);
