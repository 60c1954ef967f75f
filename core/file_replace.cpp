#include "file_replace.h"

#include <cerrno>
#include <string>

namespace {

size_t writeAll(const void* data, size_t size, std::FILE* file)
{
    return std::fwrite(data, 1, size, file);
}

int lastError()
{
    return errno != 0 ? errno : EIO;
}

// Moves `from` over `to`, replacing an existing file.
int moveOver(const std::string& from, const char* to)
{
    errno = 0;
    if (std::rename(from.c_str(), to) == 0) {
        return 0;
    }
    int error = lastError();
#if defined(_WIN32)
    // The Windows C runtime's rename never replaces: set the old file aside,
    // put the new one in place, and only then drop the old one.
    const std::string aside = std::string(to) + ".pixmora-old";
    (void)std::remove(aside.c_str());
    if (std::rename(to, aside.c_str()) == 0) {
        if (std::rename(from.c_str(), to) == 0) {
            (void)std::remove(aside.c_str());
            return 0;
        }
        error = lastError();
        (void)std::rename(aside.c_str(), to);
    }
#endif
    return error;
}

}  // namespace

FileWriteFunction fileReplaceWrite = writeAll;

int replaceFileWith(const char* path, const ByteSpan* parts, size_t count)
{
    // Beside the target, so the final move stays within one file system.
    const std::string temporary = std::string(path) + ".pixmora-tmp";
    errno = 0;
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return lastError();
    }
    int error = 0;
    for (size_t i = 0; i < count && error == 0; ++i) {
        errno = 0;
        if (fileReplaceWrite(parts[i].data, parts[i].size, file) != parts[i].size) {
            error = lastError();
        }
    }
    errno = 0;
    // Buffered data can still fail to reach the disk here.
    if (std::fclose(file) != 0 && error == 0) {
        error = lastError();
    }
    if (error == 0) {
        error = moveOver(temporary, path);
    }
    if (error != 0) {
        (void)std::remove(temporary.c_str());
    }
    return error;
}
