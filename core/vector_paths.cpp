#include "vector_paths.h"

#include <atomic>

namespace {
// Read by decoding threads while a test may flip it between conversions.
std::atomic<bool> enabled{true};
}  // namespace

bool vectorPathsEnabled()
{
    return enabled.load(std::memory_order_relaxed);
}

void setVectorPathsEnabled(bool on)
{
    enabled.store(on, std::memory_order_relaxed);
}
