#include "child_limits.h"

#if defined(PIXMORA_HAVE_CHILD_LIMITS)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>

namespace {

int exitStatusOfChild(const std::function<bool()>& limit, const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        _exit(limit() ? body() : 125);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace

int exitStatusUnderMemoryCap(uint64_t headroom, const std::function<int()>& body)
{
    return exitStatusOfChild([headroom] {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
        const rlimit limit{cap, cap};
        return setrlimit(RLIMIT_AS, &limit) == 0;
    }, body);
}

int exitStatusUnderFileSizeCap(uint64_t bytes, const std::function<int()>& body)
{
    return exitStatusOfChild([bytes] {
        // Without the signal, growing a file past the cap ends the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }, body);
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
