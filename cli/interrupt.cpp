#include "cli/interrupt.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/file_replace.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// The signal that arrived, 0 before any. Set by a handler, so lock-free.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

size_t writeUnlessInterrupted(const void* data, size_t size, std::FILE* file)
{
    if (interrupted()) {
        errno = EINTR;
        return 0;
    }
    return std::fwrite(data, 1, size, file);
}

#if defined(_WIN32)
// Windows ends the process soon after this returns for a closing console, so
// the handler's thread waits here while the converter removes its temporary
// and exits, which ends this thread too.
constexpr DWORD kCloseGraceMs = 4000;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    g_signal = SIGINT;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        Sleep(kCloseGraceMs);
    }
    return TRUE;
}
#else
extern "C" void onSignal(int signal)
{
    g_signal = signal;
}
#endif

}  // namespace

void catchInterrupts()
{
    fileReplaceWrite = writeUnlessInterrupted;
#if defined(_WIN32)
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    // Without SA_RESTART, so that a read waiting on a quiet pipe returns. A
    // signal ignored from the start (a shell's background job, nohup) stays
    // ignored.
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
#endif
}

bool interrupted()
{
    return g_signal != 0;
}

void endInterrupted()
{
    std::fflush(stdout);
#if defined(_WIN32)
    std::_Exit(130);
#else
    const int signal = g_signal;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
#endif
}
