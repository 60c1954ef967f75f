// The converter's only platform code: the file operations the C and C++
// libraries do not offer.
//
// - Reading an input file by position, from several threads at once.
// - Telling whether two names reach the same file, so that no raw file is ever
//   overwritten by a picture.
// - Showing UTF-8 names on a Windows console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// An input dump, read by position so that bands of it can be read in any order
// and by several threads at once, each band into a small buffer that stays in
// the processor's cache. Mapping the file instead measured no faster (the
// decoders then read every byte from memory rather than from the cache), and
// a mapped file cut short by another program stops the process where a read
// only fails.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `path` for reading (a narrow name, on Windows in the process's code
    // page, UTF-8 through the manifest, as the window opens it). False with the
    // system's words in `reason`; a folder is refused here, not when read.
    bool open(const char* path, std::string* reason);

    // Regular files can be read at any position and their size is known;
    // pipes and devices can only be read from the start, once.
    bool seekable() const { return seekable_; }
    uint64_t size() const { return size_; }  // regular files only

    // Asks the system to start reading the first `bytes` of a regular file.
    // The bands are read last rows first, which defeats the system's own
    // read-ahead when the dump is not in the page cache yet.
    void willRead(uint64_t bytes) const;

    // Reads exactly `bytes` at `offset` of a regular file; safe to call from
    // several threads at once. False with the reason, also when the file has
    // become shorter since it was opened.
    bool readAt(uint64_t offset, uint8_t* into, size_t bytes, std::string* reason) const;

    // Reads from the current position until `wanted` bytes or the end of the
    // data; `got` says how many arrived. False with the reason on an error or
    // an interrupt.
    bool readUpTo(uint8_t* into, size_t wanted, size_t* got, std::string* reason);

private:
    int fd_ = -1;
    bool seekable_ = false;
    uint64_t size_ = 0;
};

// Whether the stream is a terminal, where a progress line may be redrawn.
bool isTerminal(std::FILE* stream);

// While it lives, a Windows console that stdout or stderr reaches shows what
// they print as UTF-8 when that is the process's code page (the manifest's,
// from Windows 10 version 1903 on); the console's own code page comes back at
// the end. Pipes and files get the same bytes either way, and POSIX terminals
// take them as they are.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    [[maybe_unused]] unsigned previousCodePage_ = 0;  // 0: no console was changed (always on POSIX)
};
