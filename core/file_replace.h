// Replacing a file's contents so that a failure never leaves a truncated file
// where an older one was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct ByteSpan {
    const void* data;
    size_t size;
};

// Writes the parts, in order, to a temporary file in the folder of `path`, then
// moves it over `path`. Returns 0 on success, else an errno value saying why;
// on failure the temporary is gone and whatever was at `path` is as it was.
int replaceFileWith(const char* path, const ByteSpan* parts, size_t count);

// The write that replaceFileWith uses, fwrite's contract. Tests swap it to
// inject write errors such as a full disk.
using FileWriteFunction = size_t (*)(const void* data, size_t size, std::FILE* file);
extern FileWriteFunction fileReplaceWrite;
