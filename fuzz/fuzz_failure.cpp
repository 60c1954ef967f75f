#include <cstdio>
#include <cstdlib>

#include "fuzz_target.h"

void fuzzFailure(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}
