// Running the built pixmora-convert as a separate process, as scripts do, and
// capturing what it prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ConverterRun {
    int exitCode = -1;
    std::string out;  // everything written to stdout
    std::string err;  // everything written to stderr
};

// Runs the converter with `args` in the folder `workingDir`. A positive
// `fileSizeLimit` caps the size of any file it writes (POSIX only), so that a
// write fails part way as on a full disk.
ConverterRun runConverter(const std::vector<std::string>& args, const std::string& workingDir,
                          int64_t fileSizeLimit = 0);
