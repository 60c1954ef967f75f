// Running the built pixmora-convert as a separate process, as scripts do, and
// capturing what it prints.
#pragma once

#include <string>
#include <vector>

struct ConverterRun {
    int exitCode = -1;
    std::string out;  // stdout, line ends as "\n"
    std::string err;  // stderr, line ends as "\n"
};

// Runs the converter in the folder `workingDir`. The arguments must not hold
// quotes: on Windows they are joined into one command line.
ConverterRun runConverter(const std::vector<std::string>& args, const std::string& workingDir);
