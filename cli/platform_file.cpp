#include "platform_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/mman.h>
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

bool moveReplacing(const char* from, const char* to, std::string* reason)
{
#if defined(_WIN32)
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0) {
        return true;
    }
    *reason = lastWindowsError();
#else
    errno = 0;
    if (std::rename(from, to) == 0) {
        return true;
    }
    *reason = errnoText(errno);
#endif
    return false;
}

MappedFile::~MappedFile()
{
    release();
    if (fd_ >= 0) {
        closeFile(fd_);
    }
}

bool MappedFile::open(const char* path)
{
    errno = 0;
    fd_ = openReadOnly(path);
    if (fd_ < 0) {
        reason_ = errnoText(errno);
        return false;
    }
#if defined(_WIN32)
    struct _stat64 info {};
    const int statResult = _fstat64(fd_, &info);
    const bool directory = (info.st_mode & _S_IFMT) == _S_IFDIR;
    regular_ = (info.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat info {};
    const int statResult = fstat(fd_, &info);
    const bool directory = S_ISDIR(info.st_mode);
    regular_ = S_ISREG(info.st_mode);
#endif
    if (statResult != 0 || directory) {
        // A directory opens on POSIX but holds no bytes to convert.
        reason_ = errnoText(statResult != 0 ? errno : EISDIR);
        return false;
    }
    fileSize_ = static_cast<uint64_t>(info.st_size);
    return true;
}

bool MappedFile::load(size_t wanted)
{
    release();
    if (!regular_) {
        return loadByReading(wanted);
    }
    if (fileSize_ < wanted) {
        available_ = fileSize_;
        return true;
    }
#if defined(_WIN32)
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    HANDLE section = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (section == nullptr) {
        reason_ = lastWindowsError();
        return false;
    }
    void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, wanted);
    if (view == nullptr) {
        reason_ = lastWindowsError();
    }
    CloseHandle(section);  // the view keeps the section alive
    if (view == nullptr) {
        return false;
    }
#else
    // Populating at once costs one pass through the page tables instead of a
    // fault per page while decoding.
    void* view = mmap(nullptr, wanted, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd_, 0);
    if (view == MAP_FAILED) {
        reason_ = errnoText(errno);
        return false;
    }
#endif
    mapping_ = view;
    mappedBytes_ = wanted;
    data_ = static_cast<const uint8_t*>(view);
    available_ = wanted;
    return true;
}

bool MappedFile::loadByReading(size_t wanted)
{
    buffer_.reset(new (std::nothrow) uint8_t[wanted]);
    if (!buffer_) {
        reason_ = errnoText(ENOMEM);
        return false;
    }
    size_t got = 0;
    while (got < wanted) {
        errno = 0;
        const long long n = readSome(fd_, buffer_.get() + got, wanted - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            reason_ = errnoText(errno);
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    available_ = got;
    if (got == wanted) {
        data_ = buffer_.get();
    }
    return true;
}

void MappedFile::release()
{
    if (mapping_ != nullptr) {
#if defined(_WIN32)
        UnmapViewOfFile(mapping_);
#else
        munmap(mapping_, mappedBytes_);
#endif
    }
    mapping_ = nullptr;
    mappedBytes_ = 0;
    buffer_.reset();
    data_ = nullptr;
    available_ = 0;
}
