#include "replacing_file.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "file_replace.h"
#include "platform_file.h"

namespace {

std::string errnoText()
{
    return std::strerror(errno != 0 ? errno : EIO);
}

}  // namespace

ReplacingFile::ReplacingFile(std::string target)
    : target_(std::move(target)), temporary_(target_ + ".pixmora-tmp")
{
}

ReplacingFile::~ReplacingFile()
{
    discard();
}

bool ReplacingFile::open()
{
    errno = 0;
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) {
        reason_ = errnoText();
        return false;
    }
    created_ = true;
    return true;
}

bool ReplacingFile::write(const void* data, size_t size)
{
    errno = 0;
    if (file_ == nullptr || fileReplaceWrite(data, size, file_) != size) {
        reason_ = errnoText();
        return false;
    }
    return true;
}

bool ReplacingFile::commit()
{
    if (file_ == nullptr) {
        reason_ = std::strerror(EBADF);
        return false;
    }
    errno = 0;
    // Buffered bytes can still fail to reach the disk here: a full disk often
    // shows only now.
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) {
        reason_ = errnoText();
        discard();
        return false;
    }
    if (!moveReplacing(temporary_.c_str(), target_.c_str(), &reason_)) {
        discard();
        return false;
    }
    created_ = false;
    return true;
}

void ReplacingFile::discard()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (created_) {
        std::remove(temporary_.c_str());
        created_ = false;
    }
}
