// An output file that replaces its target only once it is complete: written
// under a temporary name beside the target (same folder, so the final move
// stays within one file system), then moved over it. A failed or abandoned
// write removes the temporary and leaves an older file at the target intact.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class ReplacingFile {
public:
    explicit ReplacingFile(std::string target);
    ~ReplacingFile();  // removes the temporary unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary. False with reason() when it cannot.
    bool open();
    // Appends bytes through the core's fileReplaceWrite, the write that tests
    // swap to inject errors. False with reason() on a short write.
    bool write(const void* data, size_t size);
    // Closes the temporary and moves it over the target. False with reason()
    // when either fails; the temporary is then gone.
    bool commit();

    const std::string& reason() const { return reason_; }
    // The name written to before the commit: the target plus ".pixmora-tmp",
    // the name the window's Save uses too.
    const std::string& temporary() const { return temporary_; }

private:
    void discard();

    std::string target_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    bool created_ = false;
    std::string reason_;
};
