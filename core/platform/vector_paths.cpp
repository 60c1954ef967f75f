#include "platform/vector_paths.h"

#include <atomic>

namespace {
// Read by decoding threads while a test may flip it between conversions.
std::atomic<bool> enabled{true};

bool processorHasSsse3()
{
#if defined(__wasm_simd128__) && defined(__SSSE3__)
    return true;
#elif defined(PIXMORA_SSE_KERNELS)
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
#else
    return false;
#endif
}

bool processorHasClmul()
{
#if defined(PIXMORA_CLMUL_KERNELS)
    static const bool have = __builtin_cpu_supports("pclmul");
    return have;
#else
    return false;
#endif
}

bool processorHasAvx2()
{
#if defined(PIXMORA_AVX2_KERNELS)
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
#else
    return false;
#endif
}
}  // namespace

bool vectorPathsEnabled()
{
    return enabled.load(std::memory_order_relaxed);
}

void setVectorPathsEnabled(bool on)
{
    enabled.store(on, std::memory_order_relaxed);
}

bool ssse3PathsEnabled()
{
    return vectorPathsEnabled() && processorHasSsse3();
}

bool clmulPathsEnabled()
{
    return vectorPathsEnabled() && processorHasClmul();
}

bool avx2PathsEnabled()
{
    return vectorPathsEnabled() && processorHasAvx2();
}
