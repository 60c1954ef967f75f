#include "cli/platform_file.h"

#include "cli/interrupt.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::string errnoText(int error)
{
    return std::strerror(error != 0 ? error : EIO);
}

#if defined(_WIN32)
std::string lastWindowsError()
{
    char text[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       GetLastError(), 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "system error " + std::to_string(GetLastError()) : reason;
}

int openReadOnly(const char* path)
{
    return _open(path, _O_RDONLY | _O_BINARY);
}

int closeFile(int fd)
{
    return _close(fd);
}

long long readSome(int fd, uint8_t* into, size_t bytes)
{
    const unsigned chunk = bytes > (1u << 30) ? (1u << 30) : static_cast<unsigned>(bytes);
    return _read(fd, into, chunk);
}
#else
int openReadOnly(const char* path)
{
    return ::open(path, O_RDONLY | O_CLOEXEC);
}

int closeFile(int fd)
{
    return ::close(fd);
}

long long readSome(int fd, uint8_t* into, size_t bytes)
{
    return ::read(fd, into, bytes);
}
#endif

}  // namespace

std::optional<FileIdentity> fileIdentity(const char* path)
{
#if defined(_WIN32)
    // st_ino is always 0 on Windows; the volume serial and file index are not.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!ok) {
        return std::nullopt;
    }
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
#else
    struct stat info {};
    if (stat(path, &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
#endif
}

InputFile::~InputFile()
{
    if (fd_ >= 0) {
        closeFile(fd_);
    }
}

bool InputFile::open(const char* path, std::string* reason)
{
    errno = 0;
    fd_ = openReadOnly(path);
    if (fd_ < 0) {
        *reason = errnoText(errno);
        return false;
    }
#if defined(_WIN32)
    struct _stat64 info {};
    const int statResult = _fstat64(fd_, &info);
    const bool directory = (info.st_mode & _S_IFMT) == _S_IFDIR;
    seekable_ = (info.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat info {};
    const int statResult = fstat(fd_, &info);
    const bool directory = S_ISDIR(info.st_mode);
    seekable_ = S_ISREG(info.st_mode);
#endif
    if (statResult != 0 || directory) {
        // A folder opens on POSIX but holds no bytes to convert.
        *reason = errnoText(statResult != 0 ? errno : EISDIR);
        return false;
    }
    size_ = static_cast<uint64_t>(info.st_size);
    return true;
}

void InputFile::willRead(uint64_t bytes) const
{
#if defined(_WIN32)
    (void)bytes;  // no such hint for a file handle: a cold dump is read band by band
#else
    (void)posix_fadvise(fd_, 0, static_cast<off_t>(bytes), POSIX_FADV_WILLNEED);
#endif
}

bool InputFile::readAt(uint64_t offset, uint8_t* into, size_t bytes, std::string* reason) const
{
    while (bytes > 0) {
#if defined(_WIN32)
        // A positioned ReadFile on the descriptor's handle: unlike _lseek and
        // _read it keeps no shared position between threads.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = bytes > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes);
        DWORD got = 0;
        HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
        if (!ReadFile(file, into, chunk, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                got = 0;
            } else {
                *reason = lastWindowsError();
                return false;
            }
        }
        const long long n = got;
#else
        errno = 0;
        const long long n = pread(fd_, into, bytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *reason = errnoText(errno);
            return false;
        }
#endif
        if (n == 0) {
            *reason = "the file became shorter while it was read";
            return false;
        }
        into += n;
        offset += static_cast<uint64_t>(n);
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

bool InputFile::readUpTo(uint8_t* into, size_t wanted, size_t* got, std::string* reason)
{
    *got = 0;
    while (*got < wanted) {
        errno = 0;
        const long long n = readSome(fd_, into + *got, wanted - *got);
        if (n < 0 && errno == EINTR && !interrupted()) {
            continue;
        }
        if (n < 0) {
            *reason = errnoText(errno);
            return false;
        }
        if (n == 0) {
            break;
        }
        *got += static_cast<size_t>(n);
    }
    return true;
}

bool isTerminal(std::FILE* stream)
{
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

Utf8Console::Utf8Console()
{
#if defined(_WIN32)
    // Without the manifest's code page (Windows older than 10 version 1903)
    // names are in the ANSI code page, and the console is left as it is.
    // Unbuffered stderr reaches the console a few bytes at a time; in UTF-8 it
    // joins a character's bytes across writes.
    DWORD mode = 0;
    if (GetACP() == CP_UTF8 &&
        (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) || GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode))) {
        previousCodePage_ = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
    }
#endif
}

Utf8Console::~Utf8Console()
{
#if defined(_WIN32)
    if (previousCodePage_ != 0) {
        // What is still buffered was written for UTF-8.
        std::fflush(stdout);
        std::fflush(stderr);
        SetConsoleOutputCP(previousCodePage_);
    }
#endif
}
