#include "memory_cap.h"

#if defined(PIXMORA_HAVE_MEMORY_CAP)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

int exitStatusUnderMemoryCap(uint64_t headroom, const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
        const rlimit limit{cap, cap};
        _exit(setrlimit(RLIMIT_AS, &limit) == 0 ? body() : 125);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

bool makeSparseFile(const std::string& path, int64_t bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return truncate(path.c_str(), bytes) == 0;
}
#endif
