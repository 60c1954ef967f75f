// Running code with memory that runs out: POSIX only, and not under
// AddressSanitizer, whose shadow memory needs a vast address space.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
#define PIXMORA_HAVE_MEMORY_CAP 1

// Runs `body` in a child process whose address space is capped at what it
// already uses plus `headroom` bytes. Returns the child's exit status, or -1
// when it did not exit by itself (a crash).
int exitStatusUnderMemoryCap(uint64_t headroom, const std::function<int()>& body);

// A file of `bytes` zero bytes that takes no disk space.
bool makeSparseFile(const std::string& path, int64_t bytes);
#endif
