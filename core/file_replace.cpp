#include "file_replace.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

size_t writeAll(const void* data, size_t size, std::FILE* file)
{
    return std::fwrite(data, 1, size, file);
}

int lastError()
{
    return errno != 0 ? errno : EIO;
}

std::string withLastCharacter(const std::string& path, char mark)
{
    std::string name = path;
    if (!name.empty()) {
        name.back() = name.back() == mark ? '#' : mark;
    }
    return name;
}

// Moves `from` over `to`, replacing an existing file. Returns 0 or errno.
int moveOver(const std::string& from, const std::string& to)
{
    errno = 0;
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return 0;
    }
    int error = lastError();
#if defined(_WIN32)
    // The Windows C runtime's rename never replaces: set the old file aside,
    // put the new one in place, and only then drop the old one; if the second
    // move fails, the old file goes back.
    const std::string aside = withLastCharacter(to, '!');
    (void)std::remove(aside.c_str());
    if (std::rename(to.c_str(), aside.c_str()) == 0) {
        if (std::rename(from.c_str(), to.c_str()) == 0) {
            (void)std::remove(aside.c_str());
            return 0;
        }
        error = lastError();
        (void)std::rename(aside.c_str(), to.c_str());
    }
#endif
    return error;
}

}  // namespace

FileWriteFunction fileReplaceWrite = writeAll;

std::string temporaryNameFor(const std::string& target)
{
    return withLastCharacter(target, '~');
}

ReplacingFile::ReplacingFile(std::string target)
    : target_(std::move(target)), temporary_(temporaryNameFor(target_))
{
}

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
    errno = 0;
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) {
        error_ = lastError();
        return false;
    }
    created_ = true;
    return true;
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
