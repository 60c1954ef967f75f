// One input dump to one BMP, with a reason a user can act on when it fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "arguments.h"
#include "platform_file.h"

// The settings and output name of one input, options first, then its name.
struct Job {
    std::string input;
    std::string output;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pattern = 0;  // pattern 1..4 (cell_layout.h)
};

struct JobPlan {
    bool ok = false;
    Job job;
    std::string reason;  // when !ok: what is missing and what to pass
};

// Settles one input's geometry, pattern and output name without touching the
// file system. The output is --output, or the input path with its last three
// characters replaced by "bmp", as the window names it.
JobPlan planJob(const Arguments& args, const std::string& input);

struct JobResult {
    bool ok = false;
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;
    std::string reason;  // when !ok
};

// Converts with the core's decoder and BMP header, so the BMP is byte for
// byte the window's Save after its View. `inputs` are the identities of every input of the batch: an output
// that names one of them is refused. On failure no BMP is created and an older
// one at the output path is left as it was.
JobResult runJob(const Job& job, const std::vector<FileIdentity>& inputs);
