// The converter's only platform code: the file operations the C and C++
// libraries do not offer.
//
// - Read-only access to the start of an input file without copying it: the
//   file is mapped into memory, so a dump already in the page cache is decoded
//   where it lies. Pipes and devices, which cannot be mapped, are read.
// - Telling whether two names reach the same file, so that no raw file is ever
//   overwritten by a picture.
// - Moving a finished file over an existing one in one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// What tells files apart whatever their names: links, "./" prefixes and, on
// Windows, letter case and short names all reach the same identity.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t file = 0;
    bool operator==(const FileIdentity& other) const
    {
        return device == other.device && file == other.file;
    }
};

// The identity of an existing file; none when it cannot be found or opened.
std::optional<FileIdentity> fileIdentity(const char* path);

// Renames `from` to `to`, replacing a file at `to` (which the Windows C
// runtime's rename refuses). False with the system's words in `reason`; an
// older file at `to` is then still there.
bool moveReplacing(const char* from, const char* to, std::string* reason);

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens `path` for reading (narrow name, the system's code page on
    // Windows, as the window opens it). False with reason() on failure.
    bool open(const char* path);

    // Makes the file's first `wanted` bytes readable at data(). Succeeds with
    // available() < wanted, and nothing readable, when the file is shorter.
    // False with reason() when the system cannot map or read it.
    bool load(size_t wanted);

    const uint8_t* data() const { return data_; }
    // The file's size for a regular file shorter than `wanted`, the bytes that
    // arrived for a pipe or device that ended early, else exactly `wanted`.
    uint64_t available() const { return available_; }
    // The system's words for the last failure.
    const std::string& reason() const { return reason_; }

private:
    bool loadByReading(size_t wanted);
    void release();

    int fd_ = -1;
    bool regular_ = false;
    uint64_t fileSize_ = 0;
    const uint8_t* data_ = nullptr;
    uint64_t available_ = 0;
    void* mapping_ = nullptr;  // the mapped view; null when data_ is buffer_
    size_t mappedBytes_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    std::string reason_;
};
