#include "cli/size_guess.h"

namespace {

struct Geometry {
    int32_t width;
    int32_t height;
};

// Sensor readouts and video frames that phone dumps commonly have, from VGA to
// 64 megapixels.
constexpr Geometry kCommonGeometries[] = {
    {640, 480},   {800, 600},   {1280, 720},  {1280, 800},  {1280, 960},  {1600, 1200},
    {1920, 1080}, {1920, 1200}, {2048, 1536}, {2560, 1440}, {2592, 1944}, {2688, 1520},
    {3264, 2448}, {3280, 2464}, {3840, 2160}, {4000, 3000}, {4032, 3024}, {4056, 3040},
    {4096, 2160}, {4096, 3072}, {4160, 3120}, {4208, 3120}, {4608, 3456}, {4624, 3472},
    {4656, 3496}, {5184, 3888}, {6016, 4512}, {6528, 4896}, {8000, 6000}, {8064, 6048},
    {8160, 6144}, {9248, 6944},
};

}  // namespace

std::string sizeFits(int64_t bytes, std::optional<RawLayout> layout)
{
    std::string fits;
    for (int32_t l = 0; l < kRawLayoutCount; ++l) {
        const auto candidate = static_cast<RawLayout>(l);
        if (layout && *layout != candidate) {
            continue;
        }
        for (const Geometry& g : kCommonGeometries) {
            if (minimumRowBytes(candidate, g.width) * g.height == bytes) {
                fits += (fits.empty() ? "" : ", ") + std::string(layoutName(candidate)) + " " +
                        std::to_string(g.width) + "x" + std::to_string(g.height);
            }
        }
    }
    return fits;
}
