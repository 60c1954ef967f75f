#include "platform/file_replace.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

size_t writeAll(const void* data, size_t size, std::FILE* file)
{
    return std::fwrite(data, 1, size, file);
}

int lastError()
{
    return errno != 0 ? errno : EIO;
}

// Temporary and set-aside names are the target's with its last character
// replaced by one of these, the first whose name is free: the same length as
// the target, and never a file that is already there.
constexpr char kMarks[] = {'~', '#', '!', '$', '%', '&', '+', '='};

std::string withLastCharacter(const std::string& path, char mark)
{
    std::string name = path;
    if (!name.empty()) {
        name.back() = mark;
    }
    return name;
}

// Creates `path` for writing only if nothing has that name yet.
std::FILE* createNew(const std::string& path)
{
#if defined(_WIN32)
    const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && file == nullptr) {
        _close(fd);
    }
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && file == nullptr) {
        ::close(fd);
    }
#endif
    return file;
}

// Moves `from` over `to`, replacing an existing file but never a folder.
// Returns 0 or errno.
int moveOver(const std::string& from, const std::string& to)
{
    errno = 0;
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return 0;
    }
    int error = lastError();
#if defined(_WIN32)
    // The Windows C runtime's rename never replaces: set the old file aside
    // under a free name, put the new one in place, and only then drop the old
    // one; if the second move fails, the old file goes back.
    struct stat target {};
    if (stat(to.c_str(), &target) != 0 || (target.st_mode & S_IFMT) != S_IFREG) {
        return (target.st_mode & S_IFMT) == S_IFDIR ? EISDIR : error;
    }
    for (char mark : kMarks) {
        const std::string aside = withLastCharacter(to, mark);
        if (aside == to || aside == from) {
            continue;
        }
        struct stat taken {};
        if (stat(aside.c_str(), &taken) == 0) {
            continue;
        }
        if (std::rename(to.c_str(), aside.c_str()) != 0) {
            return lastError();
        }
        if (std::rename(from.c_str(), to.c_str()) == 0) {
            (void)std::remove(aside.c_str());
            return 0;
        }
        error = lastError();
        (void)std::rename(aside.c_str(), to.c_str());
        return error;
    }
#endif
    return error;
}

}  // namespace

FileWriteFunction fileReplaceWrite = writeAll;

std::string temporaryNameFor(const std::string& target)
{
    return withLastCharacter(target, target.empty() || target.back() != kMarks[0] ? kMarks[0] : kMarks[1]);
}

ReplacingFile::ReplacingFile(std::string target) : target_(std::move(target)) {}

ReplacingFile::~ReplacingFile()
{
    discard();
}

std::string ReplacingFile::reason() const
{
    return std::strerror(error_);
}

bool ReplacingFile::open()
{
#if defined(_WIN32)
    // Narrow Windows file calls stop at 260 characters, but not all alike:
    // past it the temporary can be created and then neither moved nor
    // removed. Such a name is refused before anything is made.
    constexpr size_t kNarrowPathLimit = 260;
    if (target_.size() >= kNarrowPathLimit) {
        error_ = ENAMETOOLONG;
        return false;
    }
#endif
    error_ = EEXIST;  // every name taken
    for (char mark : kMarks) {
        temporary_ = withLastCharacter(target_, mark);
        if (temporary_ == target_) {
            continue;
        }
        errno = 0;
        file_ = createNew(temporary_);
        if (file_ != nullptr) {
            created_ = true;
            return true;
        }
        error_ = lastError();
        if (error_ != EEXIST) {
            return false;
        }
    }
    return false;
}

void ReplacingFile::reserve([[maybe_unused]] uint64_t bytes)
{
#if defined(__linux__)
    if (file_ != nullptr && bytes > 0 && bytes <= static_cast<uint64_t>(INT64_MAX)) {
        (void)fallocate(fileno(file_), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes));
    }
#endif
}

bool ReplacingFile::write(const void* data, size_t size)
{
    errno = 0;
    if (file_ == nullptr || fileReplaceWrite(data, size, file_) != size) {
        error_ = file_ == nullptr ? EBADF : lastError();
        return false;
    }
    return true;
}

bool ReplacingFile::commit()
{
    if (file_ == nullptr) {
        error_ = EBADF;
        return false;
    }
    errno = 0;
    // Buffered bytes can still fail to reach the disk here: a full disk often
    // shows only now.
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) {
        error_ = lastError();
    } else {
        error_ = moveOver(temporary_, target_);
    }
    if (error_ != 0) {
        discard();
        return false;
    }
    created_ = false;
    return true;
}

void ReplacingFile::discard()
{
    if (file_ != nullptr) {
        (void)std::fclose(file_);
        file_ = nullptr;
    }
    if (created_) {
        (void)std::remove(temporary_.c_str());
        created_ = false;
    }
}

int replaceFileWith(const char* path, const ByteSpan* parts, size_t count)
{
    ReplacingFile file(path);
    if (!file.open()) {
        return file.error();
    }
    for (size_t i = 0; i < count; ++i) {
        if (!file.write(parts[i].data, parts[i].size)) {
            return file.error();
        }
    }
    return file.commit() ? 0 : file.error();
}
