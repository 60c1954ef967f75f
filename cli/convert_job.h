// One input dump to its pictures, with a reason a user can act on when it fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/platform_file.h"
#include "raw/raw_frame.h"

// Where a setting of a job came from, as --dry-run tells it.
enum class Source { Option, Name, Default };

const char* sourceName(Source source);

// The settings and output name of one input: options first, then its name,
// then the defaults.
struct Job {
    std::string input;
    std::string output;  // the single frame's; --frame all numbers it
    FrameGeometry frame;
    int32_t pattern = 0;  // pattern 1..4 (cell_layout.h)
    FrameChoice frames;
    OutputType type = OutputType::Bmp;
    Development look;

    Source layoutFrom = Source::Default;
    Source widthFrom = Source::Default;
    Source heightFrom = Source::Default;
    Source strideFrom = Source::Default;
    Source offsetFrom = Source::Default;
    Source scanlinesFrom = Source::Default;
    Source patternFrom = Source::Default;
    Source framesFrom = Source::Default;
};

struct JobPlan {
    bool ok = false;
    bool sizeUnknown = false;  // width or height unknown: the file's size may tell
    Job job;
    std::string reason;  // when !ok: what is missing and what to pass
};

// Chooses one input's settings and output name without touching the file
// system.
JobPlan planJob(const Arguments& args, const std::string& input);

struct FramePicture {
    std::string output;
    int32_t width = 0;
    int32_t height = 0;
};

struct JobResult {
    bool ok = false;
    std::vector<FramePicture> written;  // in frame order, also before a failure
    std::string reason;                 // when !ok
};

// Converts with the core's decoders and BMP header, so a qcom10 BMP is byte for
// byte the window's Save after its View. `inputs` are the identities of every
// input of the batch: an output that names one of them is refused. A failed
// frame creates no file and leaves an older one at its name as it was.
JobResult runJob(const Job& job, const std::vector<FileIdentity>& inputs);

// The lines --dry-run prints for a planned job: its settings with their
// sources, the frames a file of `fileBytes` bytes holds (-1: unknown) and the
// outputs.
std::string describeJob(const Job& job, int64_t fileBytes);
