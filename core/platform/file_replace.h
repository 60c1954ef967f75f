// Replacing a file's contents so that a failure never leaves a truncated file
// where an older one was: the new contents go to a temporary file beside the
// target (same folder, so the final move stays within one file system), which
// is moved over the target only once complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The temporary's usual name: the target's with its last character replaced by
// '~' ('#' when it already is one), or the next such mark when a file of that
// name exists, which is never touched. The same length as the target, so any
// name the system accepts for the target it accepts for the temporary too,
// which a suffix would break near the 260-character limit of narrow Windows
// paths.
std::string temporaryNameFor(const std::string& target);

// The write every replacement uses, fwrite's contract. Tests swap it to inject
// write errors such as a full disk.
using FileWriteFunction = size_t (*)(const void* data, size_t size, std::FILE* file);
extern FileWriteFunction fileReplaceWrite;

// A file being written in place of `target`. Errors are errno values.
class ReplacingFile {
public:
    explicit ReplacingFile(std::string target);
    ~ReplacingFile();  // removes the temporary unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary.
    bool open();
    // Sets aside room for `bytes` of contents without changing the file's
    // size, where the system can (Linux): ext4 then writes the contents about
    // a third faster than when it allocates block by block as they arrive. A
    // hint, so it fails silently; a file written shorter keeps the room to its
    // end, so callers pass only a size they know exactly.
    void reserve(uint64_t bytes);
    // Appends bytes; false on a short write.
    bool write(const void* data, size_t size);
    // Closes the temporary and moves it over the target, which may be a file
    // but not a folder; on failure the temporary is gone and an older target is
    // as it was.
    bool commit();

    int error() const { return error_; }
    std::string reason() const;  // the system's words for error()

private:
    void discard();

    std::string target_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    bool created_ = false;
    int error_ = 0;
};

struct ByteSpan {
    const void* data;
    size_t size;
};

// Writes the parts, in order, in place of `path`. Returns 0 on success, else an
// errno value saying why.
int replaceFileWith(const char* path, const ByteSpan* parts, size_t count);
