#include "support/child_limits.h"

#if defined(PIXMORA_HAVE_CHILD_LIMITS)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

int exitStatusUnderLimit(ChildLimit limit, uint64_t bytes, const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t cap = limit == ChildLimit::FileSize ? bytes : static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE)) + bytes;
        const rlimit limits{cap, cap};
        // Without this, growing a file past its cap ends the process.
        std::signal(SIGXFSZ, SIG_IGN);
        _exit(setrlimit(limit == ChildLimit::FileSize ? RLIMIT_FSIZE : RLIMIT_AS, &limits) == 0 ? body() : 125);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

bool makeSparseFile(const std::string& path, int64_t bytes)
{
    std::ofstream(path, std::ios::binary).close();
    return truncate(path.c_str(), bytes) == 0;
}
#endif
