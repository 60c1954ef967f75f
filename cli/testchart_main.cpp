// pixmora-testchart: writes the test chart as a packed 10-bit raw dump, for
// trying the window without a camera.
//
//   pixmora-testchart OUT.raw [WIDTH HEIGHT [PATTERN]]
//
// Defaults: 1000 x 600, RGGB.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "raw/cell_layout.h"
#include "chart/test_chart.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: pixmora-testchart OUT.raw [WIDTH HEIGHT [RGGB|GRBG|BGGR|GBRG]]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // An option such as --help is never taken for the file to write.
    if ((argc != 2 && argc != 4 && argc != 5) || argv[1][0] == '-') {
        return usage();
    }
    const char* out = argv[1];
    int32_t width = 1000;
    int32_t height = 600;
    int32_t pattern = patternByName("RGGB");
    if (argc >= 4) {
        width = static_cast<int32_t>(std::strtol(argv[2], nullptr, 10));
        height = static_cast<int32_t>(std::strtol(argv[3], nullptr, 10));
    }
    if (argc == 5) {
        pattern = patternByName(argv[4]);
    }
    const std::vector<uint8_t> raw = buildTestChartRaw(width, height, pattern);
    if (raw.empty()) {
        return usage();
    }
    std::FILE* file = std::fopen(out, "wb");
    if (file == nullptr) {
        std::perror(out);
        return 1;
    }
    const bool written = std::fwrite(raw.data(), 1, raw.size(), file) == raw.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "%s: could not write the chart\n", out);
        return 1;
    }
    return 0;
}
